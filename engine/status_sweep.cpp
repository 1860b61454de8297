// The status query sweep: its passes of requests, and its receiver, which
// matches the replies the reply queue holds and parses them.
#include "engine/status_sweep.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/local_search.h"
#include "engine/master_update.h"
#include "engine/reply_queue.h"
#include "engine/status_parser.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "settings/settings.h"

const char StatusRequest[StatusRequestSize] = {'\xff', '\xff', '\xff', '\xff', 's', 't', 'a', 't', 'u', 's', '\n', '\0'};

namespace {

// No two records share an address and port, so a sorted index finds the
// same record as a scan in table order would, without walking the whole
// table for every reply. Servers added to the sweep join it.
struct AddressIndexEntry {
    DWORD address;
    WORD port;
    int record;
};

// The running sweep: its socket, its events and its index, made before its
// threads start and released after they have ended.
struct SweepState {
    SOCKET querySocket;
    HANDLE socketEvent;
    HANDLE stopEvent;  // manual reset: ends the receiver
    HANDLE readerStopEvent;  // manual reset: ends the reply reader
    HANDLE allAnsweredEvent;
    HANDLE serversAddedEvent;
    // Servers queried that have not answered; under the TableLock.
    int unanswered;
    // Set as a sweep ends of itself: every reply that arrived is matched
    // before the threads go. An abort ends them at once.
    volatile LONG matchEveryArrival;
    AddressIndexEntry* addressIndex;
    int addressIndexCount;
    // When the next request is due.
    DWORD nextRequestDue;
    // Requests sent at full speed since the sweep last looked for Abort.
    int unpacedRequests;
    ReplyReading reading;
    // Its broadcasts are sent and their answers matched under the TableLock.
    LocalSearch local;
};

SweepState Sweep = {INVALID_SOCKET, nullptr, nullptr, nullptr, nullptr, nullptr, 0, 0, nullptr, 0, 0, 0, {}, {}};

int CompareAddressEntries(const void* left, const void* right)
{
    const AddressIndexEntry* a = static_cast<const AddressIndexEntry*>(left);
    const AddressIndexEntry* b = static_cast<const AddressIndexEntry*>(right);
    if (a->address != b->address)
        return a->address < b->address ? -1 : 1;
    if (a->port != b->port)
        return a->port < b->port ? -1 : 1;
    return 0;
}

bool BuildAddressIndex()
{
    int count = ServerTable.count > 0 ? ServerTable.count : 0;
    Sweep.addressIndex = static_cast<AddressIndexEntry*>(malloc((count + 1) * sizeof(AddressIndexEntry)));
    if (Sweep.addressIndex == nullptr)
        return false;
    for (int index = 0; index < count; index++)
        Sweep.addressIndex[index] = {ServerTable.records[index].address, ServerTable.records[index].port, index};
    qsort(Sweep.addressIndex, count, sizeof(AddressIndexEntry), CompareAddressEntries);
    Sweep.addressIndexCount = count;
    return true;
}

// The index entry of this server, or null.
const AddressIndexEntry* IndexedServer(DWORD address, WORD port)
{
    AddressIndexEntry key = {address, port, 0};
    return static_cast<const AddressIndexEntry*>(
        bsearch(&key, Sweep.addressIndex, Sweep.addressIndexCount, sizeof(AddressIndexEntry), CompareAddressEntries));
}

void ReleaseAddressIndex()
{
    free(Sweep.addressIndex);
    Sweep.addressIndex = nullptr;
    Sweep.addressIndexCount = 0;
}

// The request a reply answers: the latest one sent before it arrived. A
// retry noted after the reply came in is not the one.
void TakeRequestAnswered(ServerRecord* record, DWORD arrivedAt)
{
    int requests = record->attempts < MaxRequests ? record->attempts : MaxRequests;
    for (int request = requests - 1; request > 0; request--) {
        if (static_cast<LONG>(arrivedAt - record->requestTimes[request]) >= 0) {
            record->sentAt = record->requestTimes[request];
            return;
        }
    }
    if (requests > 0)
        record->sentAt = record->requestTimes[0];
}

// The record that was queried at this address and port and has not answered.
ServerRecord* FindQueriedRecord(DWORD address, WORD port)
{
    const AddressIndexEntry* entry = IndexedServer(address, port);
    if (entry == nullptr)
        return nullptr;
    ServerRecord* record = &ServerTable.records[entry->record];
    return record->sentAt != 0 && !record->responded ? record : nullptr;
}

// A status reply opens as the game's answers to the connectionless
// requests do.
bool IsStatusReply(const ArrivedReply& reply)
{
    static const char Header[] = "\xff\xff\xff\xffprint\n";
    const int HeaderLength = sizeof(Header) - 1;
    return reply.length >= HeaderLength && memcmp(reply.datagram, Header, HeaderLength) == 0;
}

// The record of a server that answered a broadcast: it joins the table when
// no master listed it, and counts as asked by that broadcast; null when no
// broadcast asked it, it has answered already, or the search has found all
// it may.
ServerRecord* TakeLocalAnswer(const ArrivedReply& reply)
{
    DWORD sentAt = BroadcastAnswered(Sweep.local, reply.address, reply.port, reply.arrivedAt);
    if (sentAt == 0 || Sweep.local.found >= MaxLocalServers || !IsStatusReply(reply))
        return nullptr;
    if (IndexedServer(reply.address, reply.port) == nullptr) {
        ServerAddress server = {reply.address, reply.port, 0};
        AddSweepServers(&server, 1);
    }
    const AddressIndexEntry* entry = IndexedServer(reply.address, reply.port);
    ServerRecord* record = entry != nullptr ? &ServerTable.records[entry->record] : nullptr;
    if (record == nullptr || record->responded)
        return nullptr;
    if (record->attempts == 0)
        record->attempts = 1;
    record->requestTimes[0] = sentAt;
    record->sentAt = sentAt;
    Sweep.local.found++;
    return record;
}

bool StopRequested()
{
    return WaitForSingleObject(Sweep.stopEvent, 0) == WAIT_OBJECT_0;
}

// After handing the window a batch, the receiver lets the replies that
// follow gather this long: every crossing into the window costs the sweep's
// sender its turn at the TableLock, and a row shown a few milliseconds later
// shows the same ping, stamped as it arrived.
const DWORD OfferGathering = 10;

// Replies handed to the window in one crossing at the most.
const int OfferBatchSize = 256;

// Matches the waiting replies to their records and has them parsed, in
// arrival order; the window is offered each batch of parsed servers in one
// operation, made under the same hold of the TableLock as their parsing.
void MatchReplies(ArrivedReply* replies)
{
    ArrivedReply* reply = replies;
    bool more = true;
    while (more) {
        int parsed[OfferBatchSize];
        int count = 0;
        EnterCriticalSection(&TableLock);
        for (; count < OfferBatchSize; reply = reply->next) {
            if (reply == nullptr || (!Sweep.matchEveryArrival && StopRequested())) {
                more = false;
                break;
            }
            ServerRecord* record = FindQueriedRecord(reply->address, reply->port);
            if (record != nullptr)
                TakeRequestAnswered(record, reply->arrivedAt);
            else
                record = TakeLocalAnswer(*reply);
            if (record == nullptr)
                continue;
            ParseStatusFields(reply->datagram, reply->length, reply->arrivedAt, record);
            parsed[count++] = static_cast<int>(record - ServerTable.records);
            Sweep.unanswered--;
        }
        if (count > 0)
            OfferServers(parsed, count);
        if (ServerTable.count <= 0 || Sweep.unanswered <= 0)
            SetEvent(Sweep.allAnsweredEvent);
        LeaveCriticalSection(&TableLock);
    }
}

DWORD WINAPI Receiver(LPVOID)
{
    HANDLE handles[2] = {Sweep.stopEvent, RepliesQueuedEvent};
    timeBeginPeriod(1);
    for (;;) {
        bool stopped = WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
        if (stopped && !Sweep.matchEveryArrival)
            break;
        ArrivedReply* replies = TakeQueuedReplies();
        MatchReplies(replies);
        ReleaseReplies(replies);
        if (stopped)
            break;
        stopped = WaitForSingleObject(Sweep.stopEvent, OfferGathering) == WAIT_OBJECT_0;
        if (stopped && !Sweep.matchEveryArrival)
            break;
    }
    timeEndPeriod(1);
    return 0;
}

void CloseEvent(HANDLE* event)
{
    if (*event != nullptr)
        CloseHandle(*event);
    *event = nullptr;
}

void ReleaseSweepState()
{
    ReleaseAddressIndex();
    if (Sweep.querySocket != INVALID_SOCKET)
        closesocket(Sweep.querySocket);
    Sweep.querySocket = INVALID_SOCKET;
    CloseEvent(&Sweep.allAnsweredEvent);
    CloseEvent(&Sweep.serversAddedEvent);
    CloseEvent(&Sweep.stopEvent);
    CloseEvent(&Sweep.readerStopEvent);
    CloseEvent(&Sweep.socketEvent);
    CloseReplyQueue();
}

bool CreateSweepState(bool searchLocalNetwork)
{
    Sweep.matchEveryArrival = 0;
    Sweep.socketEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Sweep.stopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Sweep.readerStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    Sweep.allAnsweredEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    Sweep.serversAddedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    bool queueOpen = OpenReplyQueue();
    Sweep.querySocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (Sweep.socketEvent == nullptr || Sweep.stopEvent == nullptr || Sweep.readerStopEvent == nullptr ||
        Sweep.allAnsweredEvent == nullptr || Sweep.serversAddedEvent == nullptr || !queueOpen || Sweep.querySocket == INVALID_SOCKET ||
        WSAEventSelect(Sweep.querySocket, Sweep.socketEvent, FD_READ) != 0 || !BuildAddressIndex()) {
        ReleaseSweepState();
        return false;
    }
    Sweep.reading = {Sweep.querySocket, Sweep.socketEvent, Sweep.readerStopEvent, &Sweep.matchEveryArrival};
    OpenLocalSearch(&Sweep.local, Sweep.querySocket, searchLocalNetwork);
    Sweep.unanswered = CountUnanswered();
    Sweep.unpacedRequests = 0;
    return true;
}

enum SweepWait { WaitTimedOut, WaitAllAnswered, WaitAborted };

// When both events are set the answers win: WaitForMultipleObjects reports
// the lowest index. A failed wait counts as its time limit.
SweepWait WaitForAnswersOrAbort(DWORD milliseconds)
{
    HANDLE handles[2] = {Sweep.allAnsweredEvent, AbortEvent};
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, milliseconds);
    if (result == WAIT_OBJECT_0)
        return WaitAllAnswered;
    if (result == WAIT_OBJECT_0 + 1)
        return WaitAborted;
    return WaitTimedOut;
}


// At full speed, with no pacing interval, the sweep looks for Abort and the
// answers only every so many requests: a wait is a call into the system,
// which under Wine on two cores cost more than the request itself. Looking
// more seldom leaves the reader too little time: pings read late. The first
// request looks, so an Abort made before the sweep ends it after one.
const int UnpacedRequestsBetweenLooks = 8;

// The wait after a request; true on Abort.
bool WaitAfterRequest()
{
    DWORD wait = PacingWait(&Sweep.nextRequestDue);
    if (wait == 0 && Sweep.unpacedRequests++ % UnpacedRequestsBetweenLooks != 0)
        return false;
    return WaitForAnswersOrAbort(wait) == WaitAborted;
}

// A server that has not answered and has had fewer requests than a sweep
// sends.
bool AwaitsRequest(const ServerRecord& record)
{
    return !record.responded && record.attempts < SweepPasses;
}

// Under the lock, as the feed may be growing the table.
bool RequestsLeft()
{
    bool left = false;
    EnterCriticalSection(&TableLock);
    for (int index = 0; index < ServerTable.count && !left; index++)
        left = AwaitsRequest(ServerTable.records[index]);
    LeaveCriticalSection(&TableLock);
    return left;
}

// Sends every server that awaits one its next request, broadcasts that fall
// due going first, then gives the replies a pause; true when no request is
// left after it (every server has answered or had its last request) or on
// Abort.
bool RunPass()
{
    Sweep.nextRequestDue = timeGetTime();
    for (int index = 0; index < ServerTable.count;) {
        EnterCriticalSection(&TableLock);
        bool send = SendDueBroadcast(&Sweep.local, Sweep.querySocket);
        if (!send) {
            ServerRecord* record = &ServerTable.records[index++];
            send = AwaitsRequest(*record);
            if (send)
                SendStatusQuery(record);
        }
        LeaveCriticalSection(&TableLock);
        if (send && WaitAfterRequest())
            return true;
    }
    if (CountUnanswered() == 0)
        return true;
    return WaitForAnswersOrAbort(PassPauseMilliseconds) != WaitTimedOut || !RequestsLeft();
}

// With nothing left to ask, waits for the feed to add servers or end; false
// once it has ended, or on Abort.
bool AwaitFeed(HANDLE feeder)
{
    HANDLE handles[3] = {feeder, Sweep.serversAddedEvent, AbortEvent};
    return WaitForMultipleObjects(3, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1;
}

// The passes, for as long as the feed may add servers: each added server
// gets its requests as the first ones did.
void RunPasses(HANDLE feeder)
{
    bool feeding = feeder != nullptr;
    for (;;) {
        if (RequestsLeft() && !RunPass())
            continue;
        if (!feeding || WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0)
            return;
        feeding = AwaitFeed(feeder);
        if (WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0)
            return;
    }
}

// The broadcasts the passes left unsent, as they fall due, and the time
// their answers are given; Abort ends it at once.
void FinishLocalSearch()
{
    Sweep.nextRequestDue = timeGetTime();
    while (!LocalSearchOver(Sweep.local)) {
        EnterCriticalSection(&TableLock);
        bool sent = SendDueBroadcast(&Sweep.local, Sweep.querySocket);
        LeaveCriticalSection(&TableLock);
        DWORD wait = sent ? PacingWait(&Sweep.nextRequestDue) : LocalSearchWait(Sweep.local);
        if (WaitForSingleObject(AbortEvent, wait) == WAIT_OBJECT_0)
            return;
    }
}

// The reader and the receiver may be busy with a reply; both must be gone
// before the socket and the events are released and the table may change.
// The reader goes first, so that when every arrival is to be matched, the
// receiver finds all that the reader took off the socket.
void StopThreads(HANDLE reader, HANDLE receiver, bool matchEveryArrival)
{
    InterlockedExchange(&Sweep.matchEveryArrival, matchEveryArrival ? 1 : 0);
    SetEvent(Sweep.readerStopEvent);
    WaitForSingleObject(reader, INFINITE);
    SetEvent(Sweep.stopEvent);
    WaitForSingleObject(receiver, INFINITE);
    CloseHandle(reader);
    CloseHandle(receiver);
    ReleaseSweepState();
}

}  // namespace

volatile LONG SweepRunning;

bool SweepProgress(int* done, int* total)
{
    if (!SweepRunning)
        return false;
    int finished = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        const ServerRecord& record = ServerTable.records[index];
        if (record.responded || record.attempts >= SweepPasses)
            finished++;
    }
    *done = finished;
    *total = ServerTable.count;
    return true;
}

DWORD PacingInterval()
{
    int packetsPerSecond = PacketsPerSecond >= 1 ? PacketsPerSecond : DefaultPacketsPerSecond;
    return static_cast<DWORD>(1000.0 / packetsPerSecond);
}

// Catching up never sends two requests at once.
const DWORD CatchUpLimit = 100;

DWORD PacingWait(DWORD* nextRequestDue)
{
    DWORD now = timeGetTime();
    DWORD interval = PacingInterval();
    *nextRequestDue += interval;
    if (static_cast<LONG>(now - *nextRequestDue) > static_cast<LONG>(CatchUpLimit))
        *nextRequestDue = now - CatchUpLimit;
    LONG left = static_cast<LONG>(*nextRequestDue - now);
    return left > static_cast<LONG>(interval / 2) ? static_cast<DWORD>(left) : interval / 2;
}

void SendStatusQuery(ServerRecord* record)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = record->address;
    destination.sin_port = htons(record->port);

    if (record->attempts == 0)
        StatusProgress(L"Querying %S:%d...", inet_ntoa(destination.sin_addr), record->port);
    else
        StatusProgress(L"Retrying %S:%d (attempt %d)...", inet_ntoa(destination.sin_addr), record->port,
                      record->attempts + 1);
    record->attempts++;

    // Read last, so the time the message took is not part of the ping; 0
    // would mean "never sent".
    record->sentAt = timeGetTime();
    if (record->sentAt == 0)
        record->sentAt = 1;
    record->requestTimes[(record->attempts - 1) % MaxRequests] = record->sentAt;
    if (sendto(Sweep.querySocket, StatusRequest, sizeof(StatusRequest), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof(destination)) == SOCKET_ERROR)
        StatusMessage(L"Can't send: error %d", WSAGetLastError());
}

void AddSweepServers(const ServerAddress* servers, int count)
{
    ServerAddress* fresh = static_cast<ServerAddress*>(malloc((count > 0 ? count : 1) * sizeof(ServerAddress)));
    if (fresh == nullptr)
        return;
    EnterCriticalSection(&TableLock);
    int freshCount = 0;
    for (int index = 0; index < count; index++) {
        if (IndexedServer(servers[index].address, servers[index].port) == nullptr)
            fresh[freshCount++] = servers[index];
    }
    int first = ServerTable.count;
    AddressIndexEntry* grown = freshCount == 0 ? nullptr : static_cast<AddressIndexEntry*>(
        realloc(Sweep.addressIndex, (Sweep.addressIndexCount + freshCount + 1) * sizeof(AddressIndexEntry)));
    if (grown != nullptr)
        Sweep.addressIndex = grown;
    if (grown != nullptr && AppendServers(fresh, freshCount)) {
        for (int added = 0; added < freshCount; added++)
            Sweep.addressIndex[Sweep.addressIndexCount++] = {fresh[added].address, fresh[added].port, first + added};
        qsort(Sweep.addressIndex, Sweep.addressIndexCount, sizeof(AddressIndexEntry), CompareAddressEntries);
        Sweep.unanswered += freshCount;
        SetEvent(Sweep.serversAddedEvent);
    }
    LeaveCriticalSection(&TableLock);
    free(fresh);
}

void StatusSweep(const wchar_t* note, const SweepFeed* feed, bool searchLocalNetwork)
{
    if (!CreateSweepState(searchLocalNetwork))
        return;
    timeBeginPeriod(1);
    HANDLE receiver = CreateThread(nullptr, 0, Receiver, nullptr, 0, nullptr);
    HANDLE reader = receiver != nullptr ? CreateThread(nullptr, 0, ReplyReader, &Sweep.reading, 0, nullptr) : nullptr;
    if (reader == nullptr) {
        if (receiver != nullptr) {
            SetEvent(Sweep.stopEvent);
            WaitForSingleObject(receiver, INFINITE);
            CloseHandle(receiver);
        }
        ReleaseSweepState();
        timeEndPeriod(1);
        return;
    }

    InterlockedExchange(&SweepRunning, 1);
    HANDLE feeder = feed != nullptr ? CreateThread(nullptr, 0, feed->run, feed->context, 0, nullptr) : nullptr;
    RunPasses(feeder);
    if (feeder != nullptr) {
        // On Abort the feed ends at once; its note is complete once it has.
        WaitForSingleObject(feeder, INFINITE);
        CloseHandle(feeder);
    }
    FinishLocalSearch();
    InterlockedExchange(&SweepRunning, 0);

    bool aborted = WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0;
    // Replies that came in before the end count; an abort ends at once.
    StopThreads(reader, receiver, !aborted);
    int unanswered = CountUnanswered();
    const wchar_t* outcome = aborted ? L"Aborted" : L"Completed";
    wchar_t local[64] = L"";
    if (Sweep.local.found > 0)
        FormatText(local, 64, L" %d on the local network.", Sweep.local.found);
    StatusMessage(L"%s. %d of %d servers responded.%s%s", outcome, ServerTable.count - unanswered,
                  ServerTable.count, local, note);
    timeEndPeriod(1);
}
