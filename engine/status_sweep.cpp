// The status query sweep and its receiver thread.
#include "engine/status_sweep.h"

#include <winsock2.h>
#include <mmsystem.h>
#include <stdlib.h>

#include "engine/master_update.h"
#include "engine/status_parser.h"
#include "engine/window_ops.h"
#include "settings/settings.h"

namespace {

const char StatusRequest[12] = {'\xff', '\xff', '\xff', '\xff', 's', 't', 'a', 't', 'u', 's', '\n', '\0'};

// The handles of the running sweep; written only before its receiver starts.
SOCKET QuerySocket = INVALID_SOCKET;
HANDLE SocketEvent;
HANDLE StopEvent;
HANDLE AllAnsweredEvent;

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

DWORD WINAPI Receiver(LPVOID)
{
    // The stop request comes first so that a flood of replies cannot delay it.
    HANDLE handles[2] = {StopEvent, SocketEvent};
    timeBeginPeriod(1);

    EnterCriticalSection(&TableLock);
    int unanswered = CountUnansweredLocked();
    LeaveCriticalSection(&TableLock);

    char datagram[DatagramBufferSize + 1];
    while (WaitForMultipleObjects(2, handles, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        sockaddr_in sender;
        int senderSize = sizeof(sender);
        int received = recvfrom(QuerySocket, datagram, DatagramBufferSize, 0,
                                reinterpret_cast<sockaddr*>(&sender), &senderSize);
        if (received < 1)
            continue;
        datagram[received] = '\0';

        EnterCriticalSection(&TableLock);
        ServerRecord* record = FindQueriedRecord(sender.sin_addr.s_addr, ntohs(sender.sin_port));
        if (record != nullptr) {
            ParseStatusReply(datagram, received, record);
            unanswered--;
        }
        if (ServerTable.count <= 0 || unanswered <= 0)
            SetEvent(AllAnsweredEvent);
        LeaveCriticalSection(&TableLock);
    }

    CloseHandle(handles[0]);
    CloseHandle(handles[1]);
    timeEndPeriod(1);
    return 0;
}

void ReleaseSweepState()
{
    ReleaseAddressIndex();
    if (QuerySocket != INVALID_SOCKET)
        closesocket(QuerySocket);
    if (AllAnsweredEvent != nullptr)
        CloseHandle(AllAnsweredEvent);
    if (StopEvent != nullptr)
        CloseHandle(StopEvent);
    if (SocketEvent != nullptr)
        CloseHandle(SocketEvent);
    QuerySocket = INVALID_SOCKET;
    SocketEvent = StopEvent = AllAnsweredEvent = nullptr;
}

bool CreateSweepState()
{
    SocketEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    StopEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    AllAnsweredEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    QuerySocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    if (SocketEvent == nullptr || StopEvent == nullptr || AllAnsweredEvent == nullptr ||
        QuerySocket == INVALID_SOCKET || WSAEventSelect(QuerySocket, SocketEvent, FD_READ) != 0 ||
        !BuildAddressIndex()) {
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

// Returns true when the sweep is over after this pass.
bool RunPass(int pass)
{
    for (int index = 0; index < ServerTable.count; index++) {
        EnterCriticalSection(&TableLock);
        ServerRecord* record = &ServerTable.records[index];
        bool send = !record->responded;
        if (send)
            SendStatusQuery(record);
        LeaveCriticalSection(&TableLock);
        if (send && WaitForAnswersOrAbort(PacingInterval()) == WaitAborted)
            return true;
    }
    if (CountUnanswered() == 0)
        return true;
    return WaitForAnswersOrAbort(PassPauseMilliseconds) != WaitTimedOut || pass == SweepPasses;
}

void StopReceiver(HANDLE receiver)
{
    SetEvent(StopEvent);
    // The receiver may be parsing a reply; it must be gone before the socket
    // and the events it uses are released and before the table may change.
    WaitForSingleObject(receiver, INFINITE);
    CloseHandle(receiver);
    // The receiver released its own two events.
    SocketEvent = StopEvent = nullptr;
    ReleaseSweepState();
}

}  // namespace

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
    if (sendto(QuerySocket, StatusRequest, sizeof(StatusRequest), 0,
               reinterpret_cast<const sockaddr*>(&destination), sizeof(destination)) == SOCKET_ERROR)
        StatusMessage(L"Can't send: error %d", WSAGetLastError());
}

void StatusSweep()
{
    if (!CreateSweepState())
        return;
    timeBeginPeriod(1);
    HANDLE receiver = CreateThread(nullptr, 0, Receiver, nullptr, 0, nullptr);
    if (receiver == nullptr) {
        ReleaseSweepState();
        timeEndPeriod(1);
        return;
    }

    int pass = 1;
    while (!RunPass(pass))
        pass++;

    const wchar_t* outcome = WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0 ? L"Aborted" : L"Completed";
    int unanswered = CountUnanswered();
    StopReceiver(receiver);
    StatusMessage(L"%s. %d of %d servers responded.", outcome, ServerTable.count - unanswered,
                  ServerTable.count);
    timeEndPeriod(1);
}
