// An update: the master server's list of game servers, the rebuild of the
// server table from it, and the status sweep, all on the update worker
// thread; and the Update/Abort operation that starts or stops it.
#pragma once

#include <windows.h>

const WORD MasterPort = 27900;
const int MasterReplyBufferSize = 65535;
const int MasterHeaderSize = 12;
const int MasterEntrySize = 6;
const int MasterAttempts = 3;
const long MasterWaitSeconds = 2;

// The master server's host name, built into the program (master_host.cpp).
extern const wchar_t* MasterHostName;

// Manual-reset; set by Abort, reset when the worker ends. Created at start-up.
extern HANDLE AbortEvent;

// 1 while an update worker exists.
extern volatile LONG UpdateBusy;

// Starts an update, or asks the running one to stop. UI thread only.
void StartOrAbortUpdate();

DWORD WINAPI UpdateWorker(LPVOID);

// Replaces the server table by one zeroed record per distinct address and
// port of a master reply of `length` bytes, in reply order. The worker calls
// it with the count at 0, both lists empty and no receiver running.
bool RebuildServerTable(const unsigned char* reply, int length);
