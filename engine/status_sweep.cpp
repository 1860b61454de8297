// The status query sweep: its reply reader, which stamps each reply as it
// arrives, and its receiver, which matches and parses them.
#include "engine/status_sweep.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/datagram.h"
#include "engine/master_update.h"
#include "engine/status_parser.h"
#include "engine/window_ops.h"
#include "settings/settings.h"

const char StatusRequest[StatusRequestSize] = {'\xff', '\xff', '\xff', '\xff', 's', 't', 'a', 't', 'u', 's', '\n', '\0'};

namespace {

// Replies read in one go before the reader looks at its stop event again,
// so that a flood of datagrams cannot delay the end of the sweep.
const int RepliesPerRead = 64;
// Bytes of replies that may wait for the receiver; beyond, a flood is
// dropped on arrival rather than held in memory.
const int QueuedBytesLimit = 8 * 1024 * 1024;

// The handles of the running sweep; written only before its threads start.
SOCKET QuerySocket = INVALID_SOCKET;
HANDLE SocketEvent;
HANDLE StopEvent;  // manual reset: ends the receiver
HANDLE ReaderStopEvent;  // manual reset: ends the reply reader
HANDLE AllAnsweredEvent;
HANDLE RepliesQueuedEvent;
// Set as a sweep ends of itself: every reply that arrived is matched before
// the threads go. An abort ends them at once.
volatile LONG MatchEveryArrival;

// A reply as it came off the socket, stamped with the time it arrived.
struct ArrivedReply {
    ArrivedReply* next;
    DWORD arrivedAt;
    DWORD address;
    WORD port;  // host byte order
    int length;
    char datagram[1];  // `length` bytes and a NUL
};

// Replies read but not yet matched, oldest first. The reader takes only this
// queue's own lock, for a few pointer moves: it never waits for the
// TableLock or for the window, so a reply's arrival time is its true one.
CRITICAL_SECTION QueueLock;
bool QueueLockReady;
ArrivedReply* QueueHead;
ArrivedReply* QueueTail;
int QueuedBytes;

// The table does not change during a sweep, and no two records share an
// address and port, so a sorted index finds the same record as a scan in
// table order would, without walking the whole table for every reply.
struct AddressIndexEntry {
    DWORD address;
    WORD port;
    int record;
};

AddressIndexEntry* AddressIndex;
int AddressIndexCount;

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
    AddressIndex = static_cast<AddressIndexEntry*>(malloc((count + 1) * sizeof(AddressIndexEntry)));
    if (AddressIndex == nullptr)
        return false;
    for (int index = 0; index < count; index++)
        AddressIndex[index] = {ServerTable.records[index].address, ServerTable.records[index].port, index};
    qsort(AddressIndex, count, sizeof(AddressIndexEntry), CompareAddressEntries);
    AddressIndexCount = count;
    return true;
}

void ReleaseAddressIndex()
{
    free(AddressIndex);
    AddressIndex = nullptr;
    AddressIndexCount = 0;
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
    AddressIndexEntry key = {address, port, 0};
    const AddressIndexEntry* entry = static_cast<const AddressIndexEntry*>(
        bsearch(&key, AddressIndex, AddressIndexCount, sizeof(AddressIndexEntry), CompareAddressEntries));
    if (entry == nullptr)
        return nullptr;
    ServerRecord* record = &ServerTable.records[entry->record];
    return record->sentAt != 0 && !record->responded ? record : nullptr;
}

void QueueReply(const char* datagram, int length, DWORD arrivedAt, const sockaddr_in& sender)
{
    ArrivedReply* reply = static_cast<ArrivedReply*>(malloc(sizeof(ArrivedReply) + length));
    if (reply == nullptr)
        return;
    *reply = {nullptr, arrivedAt, sender.sin_addr.s_addr, ntohs(sender.sin_port), length, {}};
    memcpy(reply->datagram, datagram, length);
    reply->datagram[length] = '\0';

    EnterCriticalSection(&QueueLock);
    bool room = QueuedBytes + length <= QueuedBytesLimit;
    bool wasEmpty = QueueHead == nullptr;
    if (room) {
        (QueueTail != nullptr ? QueueTail->next : QueueHead) = reply;
        QueueTail = reply;
        QueuedBytes += length;
    }
    LeaveCriticalSection(&QueueLock);
    if (!room)
        free(reply);
    // The receiver takes the whole queue at once: it needs waking only when
    // the first reply comes into an empty one.
    else if (wasEmpty)
        SetEvent(RepliesQueuedEvent);
}

// Every reply waiting, oldest first; the queue is empty afterwards.
ArrivedReply* TakeQueuedReplies()
{
    EnterCriticalSection(&QueueLock);
    ArrivedReply* replies = QueueHead;
    QueueHead = QueueTail = nullptr;
    QueuedBytes = 0;
    LeaveCriticalSection(&QueueLock);
    return replies;
}

void ReleaseReplies(ArrivedReply* replies)
{
    while (replies != nullptr) {
        ArrivedReply* next = replies->next;
        free(replies);
        replies = next;
    }
}

// Reads what waits on the socket. The time is read as soon as each receive
// returns. Nothing waiting, or an error that says so, ends the read; a lost
// datagram (too large for the buffer, or a port-unreachable report) does not.
int ReadWaitingReplies(char* datagram)
{
    int queued = 0;
    for (int attempt = 0; attempt < RepliesPerRead; attempt++) {
        Datagram read = ReadDatagram(QuerySocket, datagram, DatagramBufferSize);
        if (read.error == 0 && read.length >= 1) {
            QueueReply(datagram, read.length, read.arrivedAt, read.sender);
            queued++;
        } else if (read.error != 0 && !DatagramLost(read.error)) {
            break;
        }
    }
    return queued;
}

// Rounds of reading the socket empty at the end, so that a flood cannot
// hold the end of the sweep.
const int FinalReads = 64;

DWORD WINAPI ReplyReader(LPVOID)
{
    // The stop request comes first so that a flood of replies cannot delay it.
    HANDLE handles[2] = {ReaderStopEvent, SocketEvent};
    timeBeginPeriod(1);
    char* datagram = static_cast<char*>(malloc(DatagramBufferSize));
    while (datagram != nullptr && WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        ReadWaitingReplies(datagram);
    for (int round = 0; datagram != nullptr && MatchEveryArrival && round < FinalReads; round++) {
        if (ReadWaitingReplies(datagram) == 0)
            break;
    }
    free(datagram);
    timeEndPeriod(1);
    return 0;
}

bool StopRequested()
{
    return WaitForSingleObject(StopEvent, 0) == WAIT_OBJECT_0;
}

// Matches each waiting reply to its record and has it parsed, in arrival
// order, taking the TableLock once per reply.
void MatchReplies(ArrivedReply* replies, int* unanswered)
{
    for (ArrivedReply* reply = replies; reply != nullptr && (MatchEveryArrival || !StopRequested());
         reply = reply->next) {
        EnterCriticalSection(&TableLock);
        ServerRecord* record = FindQueriedRecord(reply->address, reply->port);
        if (record != nullptr) {
            TakeRequestAnswered(record, reply->arrivedAt);
            ParseStatusReply(reply->datagram, reply->length, reply->arrivedAt, record);
            (*unanswered)--;
        }
        if (ServerTable.count <= 0 || *unanswered <= 0)
            SetEvent(AllAnsweredEvent);
        LeaveCriticalSection(&TableLock);
    }
}

DWORD WINAPI Receiver(LPVOID)
{
    HANDLE handles[2] = {StopEvent, RepliesQueuedEvent};
    timeBeginPeriod(1);

    EnterCriticalSection(&TableLock);
    int unanswered = CountUnansweredLocked();
    LeaveCriticalSection(&TableLock);

    for (;;) {
        bool stopped = WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0 + 1;
        if (stopped && !MatchEveryArrival)
            break;
        ArrivedReply* replies = TakeQueuedReplies();
        MatchReplies(replies, &unanswered);
        ReleaseReplies(replies);
        if (stopped)
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
    if (QuerySocket != INVALID_SOCKET)
        closesocket(QuerySocket);
    QuerySocket = INVALID_SOCKET;
    CloseEvent(&AllAnsweredEvent);
    CloseEvent(&StopEvent);
    CloseEvent(&ReaderStopEvent);
    CloseEvent(&SocketEvent);
    CloseEvent(&RepliesQueuedEvent);
    if (QueueLockReady) {
        ReleaseReplies(TakeQueuedReplies());
        DeleteCriticalSection(&QueueLock);
        QueueLockReady = false;
    }
}

bool CreateSweepState()
{
    MatchEveryArrival = 0;
    SocketEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    StopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ReaderStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    AllAnsweredEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    RepliesQueuedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    InitializeCriticalSection(&QueueLock);
    QueueLockReady = true;
    QuerySocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (SocketEvent == nullptr || StopEvent == nullptr || ReaderStopEvent == nullptr || AllAnsweredEvent == nullptr ||
        RepliesQueuedEvent == nullptr || QuerySocket == INVALID_SOCKET ||
        WSAEventSelect(QuerySocket, SocketEvent, FD_READ) != 0 || !BuildAddressIndex()) {
        ReleaseSweepState();
        return false;
    }
    return true;
}

enum SweepWait { WaitTimedOut, WaitAllAnswered, WaitAborted };

// When both events are set the answers win: WaitForMultipleObjects reports
// the lowest index. A failed wait counts as its time limit.
SweepWait WaitForAnswersOrAbort(DWORD milliseconds)
{
    HANDLE handles[2] = {AllAnsweredEvent, AbortEvent};
    DWORD result = WaitForMultipleObjects(2, handles, FALSE, milliseconds);
    if (result == WAIT_OBJECT_0)
        return WaitAllAnswered;
    if (result == WAIT_OBJECT_0 + 1)
        return WaitAborted;
    return WaitTimedOut;
}

// When the next request is due. Each pass keeps a schedule of one request
// every pacing interval, so a request that was held up (by the window or the
// lock) is followed by the next one sooner, and the rate chosen is the rate
// kept; a hold-up of more than CatchUpLimit is not made up, so requests never
// bunch up beyond that.
const DWORD CatchUpLimit = 100;
DWORD NextRequestDue;

// The wait after a request: until the next one is due, and never less than
// half an interval, so that catching up never sends two at once.
DWORD PacingWait()
{
    DWORD now = timeGetTime();
    DWORD interval = PacingInterval();
    NextRequestDue += interval;
    if (static_cast<LONG>(now - NextRequestDue) > static_cast<LONG>(CatchUpLimit))
        NextRequestDue = now - CatchUpLimit;
    LONG left = static_cast<LONG>(NextRequestDue - now);
    return left > static_cast<LONG>(interval / 2) ? static_cast<DWORD>(left) : interval / 2;
}

// Returns true when the sweep is over after this pass.
bool RunPass(int pass)
{
    NextRequestDue = timeGetTime();
    for (int index = 0; index < ServerTable.count; index++) {
        EnterCriticalSection(&TableLock);
        ServerRecord* record = &ServerTable.records[index];
        bool send = !record->responded;
        if (send)
            SendStatusQuery(record);
        LeaveCriticalSection(&TableLock);
        if (send && WaitForAnswersOrAbort(PacingWait()) == WaitAborted)
            return true;
    }
    if (CountUnanswered() == 0)
        return true;
    return WaitForAnswersOrAbort(PassPauseMilliseconds) != WaitTimedOut || pass == SweepPasses;
}

// The reader and the receiver may be busy with a reply; both must be gone
// before the socket and the events are released and the table may change.
// The reader goes first, so that when every arrival is to be matched, the
// receiver finds all that the reader took off the socket.
void StopThreads(HANDLE reader, HANDLE receiver, bool matchEveryArrival)
{
    InterlockedExchange(&MatchEveryArrival, matchEveryArrival ? 1 : 0);
    SetEvent(ReaderStopEvent);
    WaitForSingleObject(reader, INFINITE);
    SetEvent(StopEvent);
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

void SendStatusQuery(ServerRecord* record)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = record->address;
    destination.sin_port = htons(record->port);

    if (record->attempts == 0)
        StatusMessage(L"Querying %S:%d...", inet_ntoa(destination.sin_addr), record->port);
    else
        StatusMessage(L"Retrying %S:%d (attempt %d)...", inet_ntoa(destination.sin_addr), record->port,
                      record->attempts + 1);
    record->attempts++;

    // Read last, so the time the message took is not part of the ping; 0
    // would mean "never sent".
    record->sentAt = timeGetTime();
    if (record->sentAt == 0)
        record->sentAt = 1;
    record->requestTimes[(record->attempts - 1) % MaxRequests] = record->sentAt;
    if (sendto(QuerySocket, StatusRequest, sizeof(StatusRequest), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof(destination)) == SOCKET_ERROR)
        StatusMessage(L"Can't send: error %d", WSAGetLastError());
}

void StatusSweep(const wchar_t* note)
{
    if (!CreateSweepState())
        return;
    timeBeginPeriod(1);
    HANDLE receiver = CreateThread(nullptr, 0, Receiver, nullptr, 0, nullptr);
    HANDLE reader = receiver != nullptr ? CreateThread(nullptr, 0, ReplyReader, nullptr, 0, nullptr) : nullptr;
    if (reader == nullptr) {
        if (receiver != nullptr) {
            SetEvent(StopEvent);
            WaitForSingleObject(receiver, INFINITE);
            CloseHandle(receiver);
        }
        ReleaseSweepState();
        timeEndPeriod(1);
        return;
    }

    InterlockedExchange(&SweepRunning, 1);
    int pass = 1;
    while (!RunPass(pass))
        pass++;
    InterlockedExchange(&SweepRunning, 0);

    bool aborted = WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0;
    // Replies that came in before the end count; an abort ends at once.
    StopThreads(reader, receiver, !aborted);
    int unanswered = CountUnanswered();
    const wchar_t* outcome = aborted ? L"Aborted" : L"Completed";
    StatusMessage(L"%s. %d of %d servers responded.%s", outcome, ServerTable.count - unanswered,
                  ServerTable.count, note);
    timeEndPeriod(1);
}
