// The master phase of an update: every master server is asked at once for
// its list of game servers, each up to three times, two seconds apart; a
// list on the web is fetched beside them.
#pragma once

#include <winsock2.h>

#include "engine/name_lookup.h"
#include "engine/web_list.h"
#include "settings/address_list.h"

const WORD MasterPort = DefaultMasterPort;
const int MasterReplyBufferSize = 65535;
const int MasterHeaderSize = 12;
// How a master's list opens.
const char MasterListHeader[] = "\xff\xff\xff\xffservers ";
const int MasterEntrySize = 6;
const int MasterAttempts = 3;
const DWORD MasterWaitMilliseconds = 2000;

enum MasterState {
    MasterResolving,
    MasterWaiting,
    MasterFetching,  // a web list, until its fetch ends
    MasterAnswered,
    MasterUnresolved,
    MasterSilent,
    MasterFailed
};

// How long a web list may take in all, its names included, before the
// update stops waiting for it.
const DWORD WebListWaitMilliseconds = WebListMilliseconds + NameLookupMilliseconds + 1000;

struct MasterServer {
    const wchar_t* name;  // as the player typed it, for the status line
    WORD port;
    NameLookup* lookup;
    WebList* web;   // for a list on the web, else null
    DWORD address;  // network byte order, once looked up
    MasterState state;
    int attempts;
    DWORD sentAt;
    unsigned char* reply;  // on the C heap once answered
    int replyLength;
};

// Fills in a master from its name, which must outlive it, and starts looking
// it up, or fetching it when it is a web list. A name that is no address is
// never found.
void PrepareMaster(MasterServer* master, const wchar_t* name);

// The master phase: every master asked on one socket; with several, each
// datagram is matched to its master by the sender's address and port. With
// one master the status line and the timing are those of the single master
// of old: the first datagram that arrives is its reply, whoever sent it.
struct MasterPhase {
    MasterServer* masters;
    int count;
    SOCKET socket;
    HANDLE readable;
    char* buffer;
    DWORD startedAt;  // the update's start, from which the lookups are bounded
};

// Opens the phase and says so on the status line.
void OpenMasterPhase(MasterPhase* phase, MasterServer* masters, int count, DWORD startedAt);

// Asks and waits until a master answers that had not when called, or every
// master has answered or given up; false on Abort, which ends the phase at
// once.
bool AwaitMasterAnswer(MasterPhase* phase);

// Whether a master's answer is a list of game servers: it opens as one does.
// Any other answer (a "print" from a busy master, say) is that master's
// error, and nothing in it is ever queried.
bool IsMasterList(const unsigned char* reply, int length);

// How many of these masters have answered with a list.
int CountAnsweredMasters(const MasterServer* masters, int count);

// Every master has answered or given up.
bool MastersSettled(const MasterPhase& phase);

void CloseMasterPhase(MasterPhase* phase);

// Frees the replies and lookups of the masters.
void ReleaseMasters(MasterServer* masters, int count);

// The status line's text for a master that gave up.
void DescribeMasterFailure(const MasterServer& master, wchar_t* text, int textSize);
