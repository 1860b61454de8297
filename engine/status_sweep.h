// The status query sweep: every server of the table is sent the status
// request at the configured rate, in up to three passes, while the receiver
// thread matches and parses the replies.
#pragma once

#include "engine/server_table.h"

const int SweepPasses = MaxRequests;
const DWORD PassPauseMilliseconds = 1000;
const int DatagramBufferSize = 4096;

// The Quake II connectionless status request.
const int StatusRequestSize = 12;
extern const char StatusRequest[StatusRequestSize];

// Milliseconds between two requests at the current PacketsPerSecond; a rate
// below 1 is taken as the default rate.
DWORD PacingInterval();

// The wait after a request on a schedule of one request every pacing
// interval, `nextRequestDue` being when the one just sent was due: a
// request that was held up is followed by the next one sooner, and the rate
// chosen is the rate kept; a hold-up of more than a tenth of a second is not
// made up, so requests never bunch up beyond that, and the wait is never
// less than half an interval.
DWORD PacingWait(DWORD* nextRequestDue);

// Sends one record the status request and notes the attempt. The caller holds
// the TableLock.
void SendStatusQuery(ServerRecord* record);

// Non-zero while a sweep sends its requests and takes its replies.
extern volatile LONG SweepRunning;

// How far the running sweep is: the servers that have answered or been sent
// their last request, out of all. False when no sweep runs. For the UI
// thread, which reads the table without the lock.
bool SweepProgress(int* done, int* total);

// What adds servers to a running sweep (masters that answer late): a
// function the sweep runs on a thread of its own, which adds them with
// AddSweepServers and returns once no more will come, or at once on Abort.
struct SweepFeed {
    LPTHREAD_START_ROUTINE run;
    void* context;
};

// Adds to the running sweep those of these servers the table does not hold
// yet, in their order, to be asked as the first ones are. For the feed.
void AddSweepServers(const ServerAddress* servers, int count);

// Runs a whole sweep over the current table in the calling thread, and with
// a feed over the servers it adds too: the sweep ends only after the feed
// has. With `searchLocalNetwork`, the servers that answer its broadcasts
// join it, and it ends no sooner than their search. The closing line ends
// with `note` when it is not empty; a feed may write it before it returns.
void StatusSweep(const wchar_t* note = L"", const SweepFeed* feed = nullptr, bool searchLocalNetwork = false);
