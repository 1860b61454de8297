// The replies of a sweep between the socket and the receiver.
#include "engine/reply_queue.h"

#include <mmsystem.h>
#include <stdlib.h>
#include <string.h>

#include "engine/datagram.h"
#include "engine/status_sweep.h"

HANDLE RepliesQueuedEvent;

namespace {

// Replies read in one go before the reader looks at its stop event again,
// so that a flood of datagrams cannot delay the end of the sweep.
const int RepliesPerRead = 64;
// Bytes of replies that may wait for the receiver; beyond, a flood is
// dropped on arrival rather than held in memory. Each reply costs its record
// and the C heap's own bookkeeping besides its bytes: a flood of tiny
// datagrams is mostly that.
const int QueuedBytesLimit = 8 * 1024 * 1024;
const int HeapBlockOverhead = 16;
// Rounds of reading the socket empty at the end, so that a flood cannot
// hold the end of the sweep.
const int FinalReads = 64;

// Replies read but not yet matched, oldest first.
CRITICAL_SECTION QueueLock;
bool QueueLockReady;
ArrivedReply* QueueHead;
ArrivedReply* QueueTail;
int QueuedBytes;

void QueueReply(const char* datagram, int length, DWORD arrivedAt, const sockaddr_in& sender)
{
    ArrivedReply* reply = static_cast<ArrivedReply*>(malloc(sizeof(ArrivedReply) + length));
    if (reply == nullptr)
        return;
    *reply = {nullptr, arrivedAt, sender.sin_addr.s_addr, ntohs(sender.sin_port), length, {}};
    memcpy(reply->datagram, datagram, length);
    reply->datagram[length] = '\0';

    int cost = static_cast<int>(sizeof(ArrivedReply)) + length + HeapBlockOverhead;
    EnterCriticalSection(&QueueLock);
    bool room = QueuedBytes + cost <= QueuedBytesLimit;
    bool wasEmpty = QueueHead == nullptr;
    if (room) {
        (QueueTail != nullptr ? QueueTail->next : QueueHead) = reply;
        QueueTail = reply;
        QueuedBytes += cost;
    }
    LeaveCriticalSection(&QueueLock);
    if (!room)
        free(reply);
    // The receiver takes the whole queue at once: it needs waking only when
    // the first reply comes into an empty one.
    else if (wasEmpty)
        SetEvent(RepliesQueuedEvent);
}

// Reads what waits on the socket. Nothing waiting, or an error that says so,
// ends the read; a lost datagram does not.
int ReadWaitingReplies(SOCKET socket, char* datagram)
{
    int queued = 0;
    for (int attempt = 0; attempt < RepliesPerRead; attempt++) {
        Datagram read = ReadDatagram(socket, datagram, DatagramBufferSize);
        if (read.error == 0 && read.length >= 1) {
            QueueReply(datagram, read.length, read.arrivedAt, read.sender);
            queued++;
        } else if (read.error != 0 && !DatagramLost(read.error)) {
            break;
        }
    }
    return queued;
}

}  // namespace

bool OpenReplyQueue()
{
    RepliesQueuedEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    InitializeCriticalSection(&QueueLock);
    QueueLockReady = true;
    return RepliesQueuedEvent != nullptr;
}

void CloseReplyQueue()
{
    if (RepliesQueuedEvent != nullptr)
        CloseHandle(RepliesQueuedEvent);
    RepliesQueuedEvent = nullptr;
    if (QueueLockReady) {
        ReleaseReplies(TakeQueuedReplies());
        DeleteCriticalSection(&QueueLock);
        QueueLockReady = false;
    }
}

DWORD WINAPI ReplyReader(LPVOID parameter)
{
    const ReplyReading* reading = static_cast<const ReplyReading*>(parameter);
    // The stop request comes first so that a flood of replies cannot delay it.
    HANDLE handles[2] = {reading->stopEvent, reading->socketEvent};
    timeBeginPeriod(1);
    char* datagram = static_cast<char*>(malloc(DatagramBufferSize));
    while (datagram != nullptr && WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1)
        ReadWaitingReplies(reading->socket, datagram);
    for (int round = 0; datagram != nullptr && *reading->readToTheEnd && round < FinalReads; round++) {
        if (ReadWaitingReplies(reading->socket, datagram) == 0)
            break;
    }
    free(datagram);
    timeEndPeriod(1);
    return 0;
}

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
