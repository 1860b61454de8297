// The servers the player watches: each with the number of players that makes
// it worth a word, kept as "<address> <players>" lines ("10.0.0.5:27910 6").
#pragma once

#include <windows.h>

const int MaxWatchedServers = 64;

struct WatchedServer {
    DWORD address;  // network byte order
    WORD port;      // host byte order
    int players;    // 1 to 64: the player is told when this many are on
    // Told since the players last were fewer; not kept.
    bool told;
};

extern WatchedServer WatchedServers[MaxWatchedServers];
extern int WatchedServerCount;

// Replaces the list by the entries of `text`, `length` characters of lines
// or NUL-separated strings, read as far as they are good: the first line
// that is not an entry ends them. Repeats are skipped, and entries beyond
// MaxWatchedServers.
void ReadWatchedServers(const wchar_t* text, int length);

// The list as a multi-string on the C heap, its last entry followed by two
// NULs; `length` receives its characters without the final NUL. Null when
// memory is short.
wchar_t* JoinWatchedServers(int* length);

// The index of the server's entry, or -1.
int FindWatchedServer(DWORD address, WORD port);

// Watches the server for this many players, or changes its number; false
// when the list is full.
bool WatchServer(DWORD address, WORD port, int players);

// Keeps only the entries of these indexes, in this order; an index out of
// the list or named twice is passed over.
void KeepWatchedServers(const int* kept, int count);
