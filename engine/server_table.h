// The server table: one record per game server of the last master list, the
// lock the engine's two threads share, and the count of unanswered servers.
#pragma once

#include <windows.h>

const int MaxPlayers = 64;
const int PlayerNameSize = 32;
const int LongTextSize = 256;
const int ShortTextSize = 64;
// Requests a server is sent in one sweep at the most.
const int MaxRequests = 3;

struct PlayerEntry {
    wchar_t name[PlayerNameSize];
    int ping;
    int score;
};

struct ServerRecord {
    DWORD address;  // network byte order, as the master list gives it
    WORD port;      // host byte order
    wchar_t hostName[LongTextSize];
    wchar_t mapName[LongTextSize];
    wchar_t version[LongTextSize];
    wchar_t gameDate[ShortTextSize];
    wchar_t gameName[ShortTextSize];
    int playerCount;
    int maxClients;
    DWORD sentAt;  // timeGetTime of the latest request; 0 while never sent
    // When each request of the sweep went out, in order: a reply is measured
    // from the latest one sent before it arrived.
    DWORD requestTimes[MaxRequests];
    DWORD ping;
    PlayerEntry players[MaxPlayers];
    int responded;
    int attempts;
    int antiCheat;
    int timeLimit;
    // The reply's "needpass": 1 when a player password is set, 2 when a
    // spectator password is; both bits may be set.
    int needPass;
    // Set on the UI thread once the record has been offered to the server
    // list; unlike `responded`, it never runs ahead of the offer.
    int offered;
    // One of the player's favourites: set when the table is built, and on
    // the UI thread as the player adds or removes it.
    int favourite;
    // The info string of the last reply, every key and value as the server
    // sent them, for the server's details; on the process heap, released
    // with the table. Null until the server answers.
    char* info;
    // Refreshes of the list in a row that it did not answer; written on the
    // UI thread, back to 0 with every answer.
    int silentRefreshes;
};

// After this many silent refreshes in a row a server's row goes.
const int SilentRefreshesBeforeHiding = 3;

// Two rules of "full", kept apart on purpose. The Full box hides a server
// that counts as full: its players reach its maximum, so one that reports
// no maximum counts as full even when empty. A join or a wait needs a known
// maximum that the players reach: only then is there no free place.
bool CountsAsFull(const ServerRecord& record);
bool HasNoFreePlace(const ServerRecord& record);

// The bits of a record's needPass.
const int NeedsPlayerPassword = 1;
const int NeedsSpectatorPassword = 2;

// A game server's address and port, as a master lists it.
struct ServerAddress {
    DWORD address;  // network byte order
    WORD port;      // host byte order
    WORD favourite;
};

// The one table of the process. The UI thread reads it without the lock, so
// `count` only ever covers records that are completely written; it is raised
// with interlocked writes, which also keep the record writes before it.
struct ServerTableState {
    ServerRecord* records;
    LONG count;
};

extern ServerTableState ServerTable;

// The most servers the table may hold: many times what any master lists, and
// about 650 MB of records, most of what a 32-bit program can have in one
// piece. A longer list is refused before anything is allocated, so it fails
// alike on every build, whatever memory the machine has.
extern int MaxTableServers;

// Serialises the update worker and the receiver. The UI thread never takes
// it: both engine threads call into the window while holding it.
extern CRITICAL_SECTION TableLock;

int CountUnanswered();

// Whether an index (a list row's item data, say) names a record of the table
// as it is now: every lookup through a row or a remembered index asks first.
bool IsRecordIndex(INT_PTR index);

// Neither an update nor a refresh runs: only then may the UI thread change
// the table (the array moves) or start a refresh.
bool TableAtRest();

// A copy of a reply's info string for a record, or null for none or when
// memory is short.
char* KeepStatusInfo(const char* info);

// Releases the info strings of the first `count` records.
void ReleaseStatusInfo(ServerRecord* records, int count);

// "a.b.c.d:port", as the IP Address column shows a server.
const int ServerAddressTextSize = 22;
void FormatServerAddress(DWORD address, WORD port, wchar_t* text, int textSize);

// Whether a text is a server as FormatServerAddress writes it: four numbers
// of 0 to 255 between dots, a colon and a port of 1 to 65535, nothing else.
bool IsServerAddressText(const wchar_t* text);

// Appends a zeroed record for each of these servers and returns the index
// of the first, or -1 when memory is short or the table would grow beyond
// its ceiling. UI thread only, as the array moves: while neither an update
// nor a refresh runs, or for the engine's AppendServers.
int AppendServerRecords(const ServerAddress* servers, int count);
int AppendServerRecord(DWORD address, WORD port);

// The index of the record of this address and port, or -1.
int FindServerRecord(DWORD address, WORD port);

// For a caller that already holds the TableLock.
int CountUnansweredLocked();
