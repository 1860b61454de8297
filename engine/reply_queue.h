// The replies of a sweep between the socket and the receiver: a reader
// thread that does nothing else takes each datagram off the socket the
// moment it arrives and stamps it with that time, and queues it for the
// receiver, which takes all that wait at once. The reader takes only the
// queue's own lock, for a few pointer moves: it never waits for the
// TableLock or for the window, so a reply's arrival time is its true one.
#pragma once

#include <winsock2.h>

// A reply as it came off the socket, stamped with the time it arrived.
struct ArrivedReply {
    ArrivedReply* next;
    DWORD arrivedAt;
    DWORD address;
    WORD port;  // host byte order
    int length;
    char datagram[1];  // `length` bytes and a NUL
};

// What the reader reads and when it stops.
struct ReplyReading {
    SOCKET socket;
    HANDLE socketEvent;  // set when datagrams wait on the socket
    HANDLE stopEvent;    // manual reset: ends the reader
    // Non-zero as the reader ends: what still waits on the socket is read
    // first (the sweep ended of itself, and every reply that came counts).
    volatile LONG* readToTheEnd;
};

// Set when a reply comes into an empty queue; auto-reset.
extern HANDLE RepliesQueuedEvent;

// The queue's lock and event, for one sweep; false when they cannot be made.
bool OpenReplyQueue();

// Releases what still waits, the lock and the event.
void CloseReplyQueue();

// The reader thread's procedure; its parameter is a ReplyReading that lives
// as long as the thread.
DWORD WINAPI ReplyReader(LPVOID reading);

// Every reply waiting, oldest first; the queue is empty afterwards.
ArrivedReply* TakeQueuedReplies();

void ReleaseReplies(ArrivedReply* replies);
