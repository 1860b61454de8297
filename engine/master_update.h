// An update: the master servers' lists of game servers, merged with the
// player's favourites (or, when no master answers, the last list kept), the
// rebuild of the server table from them, and the status sweep, all on the
// update worker thread; and the Update/Abort operation that starts or stops it.
#pragma once

#include <windows.h>

#include "engine/server_table.h"

// The master server's host name, built into the program (master_host.cpp):
// asked alone while the player has chosen no masters.
extern const wchar_t* MasterHostName;

// Manual-reset; set by Abort, reset when the worker ends. Created at start-up.
extern HANDLE AbortEvent;

// 1 while an update worker exists.
extern volatile LONG UpdateBusy;

// Starts an update, or asks the running one to stop. UI thread only.
void StartOrAbortUpdate();

// The server a join link names, which every update asks right after the
// favourites, whatever the masters list; 0 for none. Set on the UI thread
// while the link is followed, read when an update builds its table.
void SetLinkedServer(DWORD address, WORD port);

DWORD WINAPI UpdateWorker(LPVOID);

// Replaces the server table by one zeroed record per distinct address and
// port of a master reply of `length` bytes, in reply order. The worker calls
// it with the count at 0, both lists empty and no receiver running;
// `previousCount` is the count the old table had, whose records' info
// strings are released with it.
bool RebuildServerTable(const unsigned char* reply, int length, int previousCount);

// The same from a list of distinct servers, in its order, with their
// favourite marks.
bool RebuildServerTable(const ServerAddress* servers, int count, int previousCount);
