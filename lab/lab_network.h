// The lab network: a Quake II master server and any number of game servers
// on loopback addresses, each described by data, for tests, benchmarks and
// demonstrations of the browser.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

struct LabPlayer {
    int score;
    int ping;
    std::string name;
};

struct LabServer {
    std::string address = "127.0.0.1";
    int port = 27910;
    // Info string pairs, in the order they are sent.
    std::vector<std::pair<std::string, std::string>> info;
    std::vector<LabPlayer> players;

    int replyDelay = 0;     // milliseconds before each reply
    int leaveEvery = 0;     // milliseconds: then, and after each such span, its last player leaves
    int joinEvery = 0;      // milliseconds: then, and after each such span, a player joins ("Newcomer 1", ...)
    int answerFrom = 1;     // the first request that is answered (1 = every one)
    bool silent = false;    // never answers
    bool wrongPort = false; // answers from another port of the same address
    bool twice = false;     // sends each reply twice
    bool oversized = false; // pads each reply beyond the browser's 4096 bytes
    bool listedTwice = false; // the master names it twice
    bool unlisted = false;  // serves, but the master does not name it
    bool chaos = false;     // answers with random and mutated replies
    bool hasRawReply = false;
    std::string rawReply;   // sent instead of the built reply
};

struct LabMaster {
    std::string address = "127.0.0.1";
    int port = 27900;
    bool silent = false;
    int replyDelay = 0;
    int answerFrom = 1;
    int replyLength = -1;   // when 0 or more, the reply is cut to this many bytes
    int trailingBytes = 0;  // bytes of a partial entry after the last one
    int phantomEntries = 0; // entries for 127.0.0.1:40000 and up, which nobody serves
    bool chaos = false;     // sends random and mutated lists
    // How its replies open: a master's list, unless a test has it answer as
    // a busy master does.
    std::string header = std::string("\xff\xff\xff\xffservers ");
    // Indexes of the servers it names, in this order; when empty, every
    // server that is not unlisted.
    std::vector<int> lists;
};

struct LabScenario {
    unsigned seed = 1;      // of the random and mutated replies
    bool hasMaster = false;
    LabMaster master;
    // Further masters, each on a port of its own, beside the first one.
    std::vector<LabMaster> otherMasters;
    std::vector<LabServer> servers;
};

struct LabNetwork;

// Binds every endpoint and starts serving; nullptr with a reason on failure.
LabNetwork* StartLab(const LabScenario& scenario, std::string* error);

// Serves the scenario with every port moved up by the same offset, the first
// at which every endpoint binds, and tells the offset: so the tools' labs run
// beside each other and beside the tests' labs, which keep their ports.
LabNetwork* StartLabOnFreePorts(const LabScenario& scenario, int* offset, std::string* error);
void StopLab(LabNetwork* lab);

// The status reply that a server sends, before any behaviour applies.
std::string BuildStatusReply(const LabServer& server);

// A master's reply: header and one 6-byte entry per server it names.
std::string BuildMasterReply(const LabScenario& scenario, const LabMaster& master);

// What the lab has seen: arrival times (timeGetTime) and the last request.
struct LabRequests {
    std::vector<DWORD> arrivals;
    std::string lastRequest;
};
LabRequests LabServerRequests(LabNetwork* lab, int serverIndex);
// Master 0 is the scenario's `master`, 1 and up its `otherMasters`.
LabRequests LabMasterRequests(LabNetwork* lab, int master = 0);
