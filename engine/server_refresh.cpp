// The refresh of one server.
#include "engine/server_refresh.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>

#include "engine/datagram.h"
#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_sweep.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"

volatile LONG RefreshBusy;

namespace {

// A refresh ends without a verdict when an update cancels it, or when its
// record is gone (an update cannot replace the table while it runs, so this
// is only a guard).
enum RefreshOutcome { ServerRefreshed, ServerSilent, RefreshCancelled };

// The server being refreshed; written on the UI thread before the worker
// starts, read by the worker.
struct RefreshTarget {
    int recordIndex;
    DWORD address;
    WORD port;
    wchar_t addressText[ServerAddressTextSize];  // as the IP Address column shows it
    RefreshPurpose purpose;
};

RefreshTarget Target;
HANDLE CancelEvent;    // manual reset; created once
HANDLE RefreshThread;  // the latest worker, closed when the next one starts

// A reply from the target, read off the socket with its arrival time.
struct TargetReply {
    char datagram[DatagramBufferSize + 1];
    int length;
    DWORD arrivedAt;
};

// Reads what waits on the socket; true once a reply from the target is read.
bool ReadTargetReply(SOCKET querySocket, TargetReply* reply)
{
    for (;;) {
        Datagram read = ReadDatagram(querySocket, reply->datagram, DatagramBufferSize);
        if (read.error != 0) {
            if (DatagramLost(read.error))
                continue;
            return false;
        }
        // Only the queried address and port count, as in a sweep.
        if (read.length > 0 && read.sender.sin_addr.s_addr == Target.address &&
            ntohs(read.sender.sin_port) == Target.port) {
            reply->datagram[read.length] = '\0';
            reply->length = read.length;
            reply->arrivedAt = read.arrivedAt;
            return true;
        }
    }
}

// Waits up to the refresh wait for the target's reply; false on the time
// limit or a cancel (then `cancelled` is set).
bool AwaitReply(SOCKET querySocket, HANDLE socketEvent, DWORD sentAt, TargetReply* reply, bool* cancelled)
{
    HANDLE events[2] = {CancelEvent, socketEvent};
    for (;;) {
        DWORD waited = timeGetTime() - sentAt;
        if (waited >= RefreshWaitMilliseconds)
            return false;
        DWORD woken = WaitForMultipleObjects(2, events, FALSE, RefreshWaitMilliseconds - waited);
        if (woken == WAIT_OBJECT_0) {
            *cancelled = true;
            return false;
        }
        if (woken != WAIT_OBJECT_0 + 1)
            return false;
        if (ReadTargetReply(querySocket, reply))
            return true;
    }
}

// What a refreshed record keeps of the one it replaces: the server and its
// attempts; everything else comes from the reply, measured from this
// request. A server that answers is offered, so one added by address gets
// its row. The favourite mark is the window's to keep, as the player may
// change it meanwhile.
void CarryOver(const ServerRecord& record, DWORD sentAt, ServerRecord* fresh)
{
    fresh->address = record.address;
    fresh->port = record.port;
    fresh->attempts = record.attempts;
    fresh->offered = 1;
    fresh->sentAt = sentAt;
}

// Parses the reply into a copy of the record and has the window show it;
// false when the record is no longer the target's.
bool ShowReply(const TargetReply& reply, DWORD sentAt)
{
    ServerRecord* fresh = static_cast<ServerRecord*>(calloc(1, sizeof(ServerRecord)));
    if (fresh == nullptr)
        return false;
    bool shown = false;
    EnterCriticalSection(&TableLock);
    int index = Target.recordIndex;
    if (index < ServerTable.count && ServerTable.records[index].address == Target.address &&
        ServerTable.records[index].port == Target.port) {
        CarryOver(ServerTable.records[index], sentAt, fresh);
        ParseStatusFields(reply.datagram, reply.length, reply.arrivedAt, fresh);
        // The window keeps a copy of the info string.
        ReplaceServerRecord(index, fresh);
        ReleaseStatusInfo(fresh, 1);
        shown = true;
    }
    LeaveCriticalSection(&TableLock);
    free(fresh);
    return shown;
}

RefreshOutcome QueryTarget(SOCKET querySocket, HANDLE socketEvent)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_addr.s_addr = Target.address;
    destination.sin_port = htons(Target.port);
    TargetReply* reply = static_cast<TargetReply*>(malloc(sizeof(TargetReply)));
    if (reply == nullptr)
        return ServerSilent;
    RefreshOutcome outcome = ServerSilent;
    bool cancelled = false;
    for (int attempt = 0; attempt < RefreshAttempts && outcome == ServerSilent && !cancelled; attempt++) {
        DWORD sentAt = timeGetTime();
        if (sentAt == 0)
            sentAt = 1;
        sendto(querySocket, StatusRequest, StatusRequestSize, 0, reinterpret_cast<const sockaddr*>(&destination),
               sizeof(destination));
        if (AwaitReply(querySocket, socketEvent, sentAt, reply, &cancelled))
            outcome = ShowReply(*reply, sentAt) ? ServerRefreshed : RefreshCancelled;
    }
    free(reply);
    return cancelled ? RefreshCancelled : outcome;
}

// A cancel comes from an update, whose own lines follow; a wait for a free
// place tells of its answers itself.
void TellOutcome(RefreshOutcome outcome)
{
    if (Target.purpose == RefreshForWait || outcome == RefreshCancelled)
        return;
    if (outcome == ServerRefreshed)
        StatusMessage(L"%s refreshed.", Target.addressText);
    else if (Target.purpose == RefreshAdded)
        StatusMessage(L"No reply from %s. It is kept as a favourite: Config lists it under Favourite Servers.",
                      Target.addressText);
    else
        StatusMessage(L"No reply from %s.", Target.addressText);
}

DWORD WINAPI RefreshWorker(LPVOID)
{
    timeBeginPeriod(1);
    if (Target.purpose != RefreshForWait)
        StatusMessage(L"Refreshing %s...", Target.addressText);
    RefreshOutcome outcome = ServerSilent;
    SOCKET querySocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    HANDLE socketEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (querySocket != INVALID_SOCKET && socketEvent != nullptr &&
        WSAEventSelect(querySocket, socketEvent, FD_READ) != SOCKET_ERROR)
        outcome = QueryTarget(querySocket, socketEvent);
    if (querySocket != INVALID_SOCKET)
        closesocket(querySocket);
    if (socketEvent != nullptr)
        CloseHandle(socketEvent);
    TellOutcome(outcome);
    timeEndPeriod(1);
    InterlockedExchange(&RefreshBusy, 0);
    return 0;
}

}  // namespace

bool StartServerRefresh(int recordIndex, RefreshPurpose purpose)
{
    if (!TableAtRest() || !IsRecordIndex(recordIndex))
        return false;
    if (CancelEvent == nullptr)
        CancelEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (CancelEvent == nullptr)
        return false;
    ResetEvent(CancelEvent);
    const ServerRecord& record = ServerTable.records[recordIndex];
    Target.recordIndex = recordIndex;
    Target.address = record.address;
    Target.port = record.port;
    Target.purpose = purpose;
    FormatServerAddress(record.address, record.port, Target.addressText, ServerAddressTextSize);

    if (RefreshThread != nullptr)
        CloseHandle(RefreshThread);
    RefreshBusy = 1;
    RefreshThread = CreateThread(nullptr, 0, RefreshWorker, nullptr, 0, nullptr);
    if (RefreshThread == nullptr) {
        RefreshBusy = 0;
        return false;
    }
    return true;
}

void CancelServerRefresh()
{
    if (RefreshBusy && CancelEvent != nullptr)
        SetEvent(CancelEvent);
}

void CancelServerRefreshFor(RefreshPurpose purpose)
{
    if (Target.purpose == purpose)
        CancelServerRefresh();
}

void WaitForServerRefresh()
{
    if (RefreshThread != nullptr)
        WaitForSingleObject(RefreshThread, INFINITE);
}
