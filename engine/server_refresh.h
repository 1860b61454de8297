// The refresh of servers already in the table: each is sent the status
// request at the configured rate, and those that have not answered again
// 1000 ms after the last request of a round, three rounds at the most; each
// reply is parsed into a copy that the window puts in its record's place. It
// runs on a thread of its own, never beside an update or another refresh.
#pragma once

#include <windows.h>

const int RefreshAttempts = 3;
const DWORD RefreshWaitMilliseconds = 1000;

// 1 while a refresh runs.
extern volatile LONG RefreshBusy;

// Why servers are refreshed: the player asked for one; one was just added as
// a favourite (one that does not answer is said to be kept as one); a wait
// for a free place asks, which tells of the answers itself; the list's
// schedule asks every listed server, and tells how many answered; or the
// watched servers are asked, quietly.
enum RefreshPurpose { RefreshAsked, RefreshAdded, RefreshForWait, RefreshListed, RefreshWatched };

// Starts the refresh of the listed server at this record index; false when
// an update or another refresh runs, or no such record exists. UI thread
// only.
bool StartServerRefresh(int recordIndex, RefreshPurpose purpose = RefreshAsked);

// The same for these records, asked in this order; false also when none is
// given or memory is short. The first `watchedCount` are watched servers,
// asked again every WatchAskInterval while the refresh lasts. UI thread only.
bool StartServersRefresh(const int* recordIndexes, int count, RefreshPurpose purpose, int watchedCount = 0);

// How often a watched server is asked (30 s); tests shorten it.
extern DWORD WatchAskInterval;

// Why the running refresh, or the last one, was started. UI thread only.
RefreshPurpose LatestRefreshPurpose();

// Asks a running refresh to stop at once, silently. UI thread only.
void CancelServerRefresh();

// The same, only for a refresh of this purpose. UI thread only.
void CancelServerRefreshFor(RefreshPurpose purpose);

// The same for a refresh the player did not ask for (of the list, or of the
// watched servers): a join or a link comes first. UI thread only.
void CancelBackgroundRefresh();

// Returns once no refresh runs. For the update worker, before it replaces the
// table; never for the UI thread, which the refresh calls into.
void WaitForServerRefresh();
