// The refresh of servers already in the table.
#include "engine/server_refresh.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/reply_queue.h"
#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_sweep.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"

volatile LONG RefreshBusy;
DWORD WatchAskInterval = 30000;

namespace {

// A refresh ends without a verdict when an update cancels it.
enum RefreshOutcome { RefreshFinished, RefreshCancelled, RefreshFailed };

// Copies handed to the window in one crossing at the most, and the pause
// between two crossings while more wait: the window takes the player's
// clicks and keys in it, as during an update.
const int BatchSize = 64;
const DWORD BatchPause = 5;

// One server being refreshed. Its record is known by index and checked by
// address and port before every use: an update cannot replace the table
// while a refresh runs, so this is only a guard.
struct RefreshTarget {
    int recordIndex;
    DWORD address;
    WORD port;
    int attempts;
    DWORD requestTimes[RefreshAttempts];
    bool answered;
    bool gone;
    DWORD lastAskedAt;
    // A watched server asked again during a long refresh, until its answer
    // comes.
    bool askedAgain;
};

// The running refresh; written on the UI thread before the worker starts,
// then the worker's alone.
struct RefreshJob {
    RefreshTarget* targets;  // in asking order
    int* byAddress;          // target numbers, by address and port
    int count;
    int watchedCount;        // the first targets, which are watched
    int answered;
    RefreshPurpose purpose;
    wchar_t firstAddress[ServerAddressTextSize];  // as the IP Address column shows it
    SOCKET querySocket;
    HANDLE socketEvent;
    HANDLE readerStopEvent;
    DWORD nextRequestDue;
    int unpacedRequests;
    // Parsed copies handed to the window in one crossing.
    ServerRecord* batch;
    int batchIndexes[BatchSize];
    int batchCount;
};

RefreshJob Job;
// The reader reads no further once stopped: a reply after the last wait
// comes too late.
volatile LONG ReadToTheEnd;
HANDLE CancelEvent;    // manual reset; created once
HANDLE RefreshThread;  // the latest worker, closed when the next one starts

int CompareTargets(const void* left, const void* right)
{
    const RefreshTarget& a = Job.targets[*static_cast<const int*>(left)];
    const RefreshTarget& b = Job.targets[*static_cast<const int*>(right)];
    if (a.address != b.address)
        return a.address < b.address ? -1 : 1;
    return a.port < b.port ? -1 : (a.port > b.port ? 1 : 0);
}

RefreshTarget* FindTarget(DWORD address, WORD port)
{
    int low = 0;
    int high = Job.count;
    while (low < high) {
        int middle = low + (high - low) / 2;
        const RefreshTarget& target = Job.targets[Job.byAddress[middle]];
        if (target.address == address && target.port == port)
            return &Job.targets[Job.byAddress[middle]];
        if (target.address < address || (target.address == address && target.port < port))
            low = middle + 1;
        else
            high = middle;
    }
    return nullptr;
}

// The target's record, or null once it is no longer the target's. The
// caller holds the TableLock.
ServerRecord* TargetRecord(RefreshTarget* target)
{
    int index = target->recordIndex;
    if (!target->gone && index < ServerTable.count && ServerTable.records[index].address == target->address &&
        ServerTable.records[index].port == target->port)
        return &ServerTable.records[index];
    target->gone = true;
    return nullptr;
}

// The request a reply answers: the latest one sent before it arrived.
DWORD RequestAnswered(const RefreshTarget& target, DWORD arrivedAt)
{
    for (int request = target.attempts - 1; request > 0; request--) {
        if (static_cast<LONG>(arrivedAt - target.requestTimes[request]) >= 0)
            return target.requestTimes[request];
    }
    return target.requestTimes[0];
}

// What a refreshed record keeps of the one it replaces: the server and its
// attempts; everything else comes from the reply, measured from the request
// it answers. A server that answers is offered, so one that never answered
// before gets its row. The favourite mark is the window's to keep, as the
// player may change it meanwhile.
void CarryOver(const ServerRecord& record, DWORD sentAt, ServerRecord* fresh)
{
    memset(fresh, 0, sizeof(*fresh));
    fresh->address = record.address;
    fresh->port = record.port;
    fresh->attempts = record.attempts;
    fresh->offered = 1;
    fresh->sentAt = sentAt;
}

// The caller holds the TableLock.
void HandOverBatch()
{
    if (Job.batchCount == 0)
        return;
    ReplaceServerRecords(Job.batchIndexes, Job.batch, Job.batchCount);
    ReleaseStatusInfo(Job.batch, Job.batchCount);
    Job.batchCount = 0;
}

// Parses the waiting replies of targets that await one (they have not
// answered, or were asked again) into copies of their records, which the
// window shows in batches; a cancel ends it between two.
void ShowReplies(ArrivedReply* replies)
{
    EnterCriticalSection(&TableLock);
    for (ArrivedReply* reply = replies; reply != nullptr; reply = reply->next) {
        if (Job.batchCount == BatchSize) {
            HandOverBatch();
            LeaveCriticalSection(&TableLock);
            if (WaitForSingleObject(CancelEvent, BatchPause) == WAIT_OBJECT_0)
                return;
            EnterCriticalSection(&TableLock);
        }
        RefreshTarget* target = FindTarget(reply->address, reply->port);
        if (target == nullptr || (target->answered && !target->askedAgain) || target->attempts == 0)
            continue;
        ServerRecord* record = TargetRecord(target);
        if (record == nullptr)
            continue;
        DWORD sentAt = target->askedAgain ? target->lastAskedAt : RequestAnswered(*target, reply->arrivedAt);
        ServerRecord* fresh = &Job.batch[Job.batchCount];
        CarryOver(*record, sentAt, fresh);
        ParseStatusFields(reply->datagram, reply->length, reply->arrivedAt, fresh);
        target->askedAgain = false;
        if (!target->answered)
            Job.answered++;
        target->answered = true;
        Job.batchIndexes[Job.batchCount++] = target->recordIndex;
    }
    HandOverBatch();
    LeaveCriticalSection(&TableLock);
}

bool AllAnswered()
{
    return Job.answered == Job.count;
}

// Waits this long, showing replies as they come; false on a cancel. With
// `untilAllAnswered` it ends as soon as every target has answered.
bool WaitShowingReplies(DWORD milliseconds, bool untilAllAnswered)
{
    HANDLE events[2] = {CancelEvent, RepliesQueuedEvent};
    DWORD start = timeGetTime();
    for (;;) {
        DWORD waited = timeGetTime() - start;
        DWORD left = waited < milliseconds ? milliseconds - waited : 0;
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, left);
        if (woken == WAIT_OBJECT_0)
            return false;
        if (woken != WAIT_OBJECT_0 + 1)
            return true;
        ArrivedReply* replies = TakeQueuedReplies();
        ShowReplies(replies);
        ReleaseReplies(replies);
        if (untilAllAnswered && AllAnswered())
            return true;
    }
}

const int UnpacedRequestsBetweenLooks = 8;

// The wait after a request; false on a cancel. At full speed it only looks
// for a cancel now and then: the replies wait in the queue, stamped as they
// arrived, until the round's last request is out, so that the window's work
// on them never holds up the requests.
bool PaceRequests()
{
    DWORD wait = PacingWait(&Job.nextRequestDue);
    if (wait == 0)
        return Job.unpacedRequests++ % UnpacedRequestsBetweenLooks != 0 ||
               WaitForSingleObject(CancelEvent, 0) != WAIT_OBJECT_0;
    return WaitShowingReplies(wait, false);
}

// Sends the target a request, its next one or, `again`, one more after it
// answered; false when its record is gone. The record's sentAt shows when
// it was last asked.
bool SendRequest(RefreshTarget* target, bool again = false)
{
    EnterCriticalSection(&TableLock);
    ServerRecord* record = TargetRecord(target);
    if (record != nullptr) {
        DWORD sentAt = timeGetTime();
        if (sentAt == 0)
            sentAt = 1;
        if (!again)
            target->requestTimes[target->attempts++] = sentAt;
        target->askedAgain = again;
        target->lastAskedAt = sentAt;
        record->sentAt = sentAt;
        sockaddr_in destination = {};
        destination.sin_family = AF_INET;
        destination.sin_addr.s_addr = target->address;
        destination.sin_port = htons(target->port);
        sendto(Job.querySocket, StatusRequest, StatusRequestSize, 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof(destination));
    }
    LeaveCriticalSection(&TableLock);
    return record != nullptr;
}

// A refresh of a long list at a low rate lasts many minutes: the watched
// servers, first in it, are asked again whenever nothing has asked them for
// the watch's interval, each request taking its turn in the pacing. False
// on a cancel.
bool AskWatchedAgain()
{
    DWORD now = timeGetTime();
    for (int number = 0; number < Job.watchedCount; number++) {
        RefreshTarget* target = &Job.targets[number];
        if (target->gone || target->attempts == 0)
            continue;
        if (now - target->lastAskedAt >= WatchAskInterval && SendRequest(target, true) && !PaceRequests())
            return false;
    }
    return true;
}

// One round: every target that has not answered is asked once more, then
// given the refresh wait; false on a cancel.
bool RunRound()
{
    Job.nextRequestDue = timeGetTime();
    for (int number = 0; number < Job.count; number++) {
        RefreshTarget* target = &Job.targets[number];
        if (!AskWatchedAgain())
            return false;
        if (target->answered || target->gone || !SendRequest(target))
            continue;
        if (!PaceRequests())
            return false;
    }
    return WaitShowingReplies(RefreshWaitMilliseconds, true);
}

RefreshOutcome AskTargets()
{
    for (int round = 0; round < RefreshAttempts && !AllAnswered(); round++) {
        if (!RunRound())
            return RefreshCancelled;
    }
    return RefreshFinished;
}

// The list's schedule keeps count of the servers that stopped answering.
void NoteSilentTargets()
{
    if (Job.purpose != RefreshListed)
        return;
    int* silent = static_cast<int*>(malloc(Job.count * sizeof(int)));
    if (silent == nullptr)
        return;
    int count = 0;
    EnterCriticalSection(&TableLock);
    for (int number = 0; number < Job.count; number++) {
        RefreshTarget* target = &Job.targets[number];
        if (!target->answered && TargetRecord(target) != nullptr)
            silent[count++] = target->recordIndex;
    }
    if (count > 0)
        NoteSilentServers(silent, count);
    LeaveCriticalSection(&TableLock);
    free(silent);
}

// A cancel comes from an update, whose own lines follow; a wait for a free
// place tells of its answers itself, and the watched servers are asked
// quietly.
void TellOutcome(RefreshOutcome outcome)
{
    if (outcome == RefreshCancelled || Job.purpose == RefreshWatched || Job.purpose == RefreshForWait)
        return;
    if (outcome == RefreshFailed) {
        StatusMessage(L"Couldn't refresh: no socket.");
        return;
    }
    switch (Job.purpose) {
    case RefreshListed:
        StatusMessage(L"Refreshed %d of %d servers.", Job.answered, Job.count);
        break;
    case RefreshAsked:
    case RefreshAdded:
        if (AllAnswered())
            StatusMessage(L"%s refreshed.", Job.firstAddress);
        else if (Job.purpose == RefreshAdded)
            StatusMessage(L"No reply from %s. It is kept as a favourite: Config lists it under Favourite Servers.",
                          Job.firstAddress);
        else
            StatusMessage(L"No reply from %s.", Job.firstAddress);
        break;
    default:
        break;
    }
}

void TellStart()
{
    if (Job.purpose == RefreshAsked || Job.purpose == RefreshAdded)
        StatusMessage(L"Refreshing %s...", Job.firstAddress);
    else if (Job.purpose == RefreshListed)
        StatusMessage(L"Refreshing %d servers...", Job.count);
}

bool OpenJobSocket()
{
    Job.querySocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    Job.socketEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Job.readerStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    return Job.querySocket != INVALID_SOCKET && Job.socketEvent != nullptr && Job.readerStopEvent != nullptr &&
           WSAEventSelect(Job.querySocket, Job.socketEvent, FD_READ) != SOCKET_ERROR && OpenReplyQueue();
}

void CloseJobSocket()
{
    if (Job.querySocket != INVALID_SOCKET)
        closesocket(Job.querySocket);
    Job.querySocket = INVALID_SOCKET;
    if (Job.socketEvent != nullptr)
        CloseHandle(Job.socketEvent);
    if (Job.readerStopEvent != nullptr)
        CloseHandle(Job.readerStopEvent);
    Job.socketEvent = Job.readerStopEvent = nullptr;
    CloseReplyQueue();
}

RefreshOutcome RunRefresh()
{
    if (!OpenJobSocket())
        return RefreshFailed;
    ReplyReading reading = {Job.querySocket, Job.socketEvent, Job.readerStopEvent, &ReadToTheEnd};
    HANDLE reader = CreateThread(nullptr, 0, ReplyReader, &reading, 0, nullptr);
    if (reader == nullptr)
        return RefreshFailed;
    RefreshOutcome outcome = AskTargets();
    SetEvent(Job.readerStopEvent);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    return outcome;
}

void ReleaseJob()
{
    free(Job.targets);
    free(Job.byAddress);
    free(Job.batch);
    Job.targets = nullptr;
    Job.byAddress = nullptr;
    Job.batch = nullptr;
}

DWORD WINAPI RefreshWorker(LPVOID)
{
    timeBeginPeriod(1);
    TellStart();
    RefreshOutcome outcome = RunRefresh();
    CloseJobSocket();
    if (outcome == RefreshFinished)
        NoteSilentTargets();
    TellOutcome(outcome);
    ReleaseJob();
    timeEndPeriod(1);
    InterlockedExchange(&RefreshBusy, 0);
    return 0;
}

// The job's targets for these records; false when memory is short.
bool TakeTargets(const int* recordIndexes, int count)
{
    Job.targets = static_cast<RefreshTarget*>(calloc(count, sizeof(RefreshTarget)));
    Job.byAddress = static_cast<int*>(malloc(count * sizeof(int)));
    Job.batch = static_cast<ServerRecord*>(malloc(BatchSize * sizeof(ServerRecord)));
    if (Job.targets == nullptr || Job.byAddress == nullptr || Job.batch == nullptr) {
        ReleaseJob();
        return false;
    }
    Job.count = 0;
    for (int number = 0; number < count; number++) {
        if (!IsRecordIndex(recordIndexes[number]))
            continue;
        const ServerRecord& record = ServerTable.records[recordIndexes[number]];
        RefreshTarget& target = Job.targets[Job.count];
        target.recordIndex = recordIndexes[number];
        target.address = record.address;
        target.port = record.port;
        Job.byAddress[Job.count] = Job.count;
        Job.count++;
    }
    qsort(Job.byAddress, Job.count, sizeof(int), CompareTargets);
    return Job.count > 0;
}

}  // namespace

bool StartServerRefresh(int recordIndex, RefreshPurpose purpose)
{
    return StartServersRefresh(&recordIndex, 1, purpose);
}

bool StartServersRefresh(const int* recordIndexes, int count, RefreshPurpose purpose, int watchedCount)
{
    if (!TableAtRest() || count < 1)
        return false;
    if (CancelEvent == nullptr)
        CancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (CancelEvent == nullptr || !TakeTargets(recordIndexes, count)) {
        ReleaseJob();
        return false;
    }
    ResetEvent(CancelEvent);
    Job.answered = 0;
    Job.watchedCount = watchedCount < Job.count ? watchedCount : Job.count;
    Job.batchCount = 0;
    Job.unpacedRequests = 0;
    Job.purpose = purpose;
    Job.querySocket = INVALID_SOCKET;
    FormatServerAddress(Job.targets[0].address, Job.targets[0].port, Job.firstAddress, ServerAddressTextSize);

    if (RefreshThread != nullptr)
        CloseHandle(RefreshThread);
    RefreshBusy = 1;
    RefreshThread = CreateThread(nullptr, 0, RefreshWorker, nullptr, 0, nullptr);
    if (RefreshThread == nullptr) {
        RefreshBusy = 0;
        ReleaseJob();
        return false;
    }
    return true;
}

RefreshPurpose LatestRefreshPurpose()
{
    return Job.purpose;
}

void CancelServerRefresh()
{
    if (RefreshBusy && CancelEvent != nullptr)
        SetEvent(CancelEvent);
}

void CancelServerRefreshFor(RefreshPurpose purpose)
{
    if (Job.purpose == purpose)
        CancelServerRefresh();
}

void CancelBackgroundRefresh()
{
    if (Job.purpose == RefreshListed || Job.purpose == RefreshWatched)
        CancelServerRefresh();
}

void WaitForServerRefresh()
{
    if (RefreshThread != nullptr)
        WaitForSingleObject(RefreshThread, INFINITE);
}
