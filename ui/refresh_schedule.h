// What keeps the list fresh while the window is open: every RefreshMinutes
// the servers of the table are refreshed in place, and every
// WatchAskInterval each watched server that nothing asked meanwhile is asked
// again. Both wait while an update, a refresh, a join, a join link or a
// wait for a free place runs; a refresh of the list asks the watched servers itself, first
// and then on their interval.
#pragma once

#include <windows.h>

const UINT_PTR RefreshScheduleTimerId = 7;

// A minute of RefreshMinutes and the schedule's look at the time (1 s), in
// milliseconds; tests shorten them, as they do the refresh's
// WatchAskInterval.
extern DWORD RefreshMinuteLength;
extern DWORD RefreshScheduleTick;

// Starts the schedule's timer; the first refresh of the list comes
// RefreshMinutes after the table has come to rest.
void StartRefreshSchedule();

// For RefreshScheduleTimerId's WM_TIMER.
void FollowRefreshSchedule();
