// The refresh of one server: the status request sent to it alone, up to
// three times with a 1000 ms wait each, and its row shown afresh on a reply.
// It runs on a thread of its own, never beside an update.
#pragma once

#include <windows.h>

const int RefreshAttempts = 3;
const DWORD RefreshWaitMilliseconds = 1000;

// 1 while a refresh runs.
extern volatile LONG RefreshBusy;

// Why a server is refreshed: the player asked; it was just added as a
// favourite (one that does not answer is said to be kept as one); or a wait
// for a free place asks, which tells of the answers itself.
enum RefreshPurpose { RefreshAsked, RefreshAdded, RefreshForWait };

// Starts the refresh of the listed server at this record index; false when
// an update or another refresh runs, or no such record exists. UI thread
// only.
bool StartServerRefresh(int recordIndex, RefreshPurpose purpose = RefreshAsked);

// Asks a running refresh to stop at once, silently. UI thread only.
void CancelServerRefresh();

// The same, only for a refresh of this purpose. UI thread only.
void CancelServerRefreshFor(RefreshPurpose purpose);

// Returns once no refresh runs. For the update worker, before it replaces the
// table; never for the UI thread, which the refresh calls into.
void WaitForServerRefresh();
