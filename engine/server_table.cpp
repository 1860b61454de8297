// The server table and its lock.
#include <winsock2.h>

#include "engine/server_table.h"

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "engine/status_text.h"

ServerTableState ServerTable;
CRITICAL_SECTION TableLock;
int MaxTableServers = 100000;

int CountUnansweredLocked()
{
    int unanswered = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        if (!ServerTable.records[index].responded)
            unanswered++;
    }
    return unanswered;
}

int CountUnanswered()
{
    EnterCriticalSection(&TableLock);
    int unanswered = CountUnansweredLocked();
    LeaveCriticalSection(&TableLock);
    return unanswered;
}

bool IsRecordIndex(INT_PTR index)
{
    return index >= 0 && index < ServerTable.count;
}

bool TableAtRest()
{
    return !UpdateBusy && !RefreshBusy;
}

char* KeepStatusInfo(const char* info)
{
    if (info == nullptr)
        return nullptr;
    int size = lstrlenA(info) + 1;
    char* copy = static_cast<char*>(HeapAlloc(GetProcessHeap(), 0, size));
    if (copy != nullptr)
        CopyMemory(copy, info, size);
    return copy;
}

void ReleaseStatusInfo(ServerRecord* records, int count)
{
    for (int index = 0; index < count; index++) {
        if (records[index].info != nullptr)
            HeapFree(GetProcessHeap(), 0, records[index].info);
        records[index].info = nullptr;
    }
}

int AppendServerRecords(const ServerAddress* servers, int count)
{
    int first = ServerTable.count;
    if (count < 0 || count > MaxTableServers - first)
        return -1;
    ServerRecord* records = static_cast<ServerRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (first + count > 0 ? first + count : 1) * sizeof(ServerRecord)));
    if (records == nullptr)
        return -1;
    if (first > 0)
        CopyMemory(records, ServerTable.records, first * sizeof(ServerRecord));
    for (int added = 0; added < count; added++) {
        records[first + added].address = servers[added].address;
        records[first + added].port = servers[added].port;
        records[first + added].favourite = servers[added].favourite;
    }
    ServerRecord* previous = ServerTable.records;
    ServerTable.records = records;
    InterlockedExchange(&ServerTable.count, first + count);
    if (previous != nullptr)
        HeapFree(GetProcessHeap(), 0, previous);
    return first;
}

int AppendServerRecord(DWORD address, WORD port)
{
    ServerAddress server = {address, port, 0};
    return AppendServerRecords(&server, 1);
}

int FindServerRecord(DWORD address, WORD port)
{
    for (int index = 0; index < ServerTable.count; index++) {
        if (ServerTable.records[index].address == address && ServerTable.records[index].port == port)
            return index;
    }
    return -1;
}

void FormatServerAddress(DWORD address, WORD port, wchar_t* text, int textSize)
{
    in_addr dotted;
    dotted.s_addr = address;
    FormatText(text, textSize, L"%S:%d", inet_ntoa(dotted), port);
}

namespace {

// Reads up to `most` decimal digits ending at `stop`; -1 when there are none
// or something else stands before the stop.
int ReadNumberUntil(const wchar_t** text, wchar_t stop, int most)
{
    int value = 0;
    int digits = 0;
    for (; **text >= L'0' && **text <= L'9' && digits < most; (*text)++, digits++)
        value = value * 10 + (**text - L'0');
    if (digits == 0 || **text != stop)
        return -1;
    return value;
}

}  // namespace

bool CountsAsFull(const ServerRecord& record)
{
    return record.playerCount >= record.maxClients;
}

bool HasNoFreePlace(const ServerRecord& record)
{
    return record.maxClients > 0 && record.playerCount >= record.maxClients;
}

bool IsServerAddressText(const wchar_t* text)
{
    const wchar_t stops[] = {L'.', L'.', L'.', L':'};
    for (wchar_t stop : stops) {
        int part = ReadNumberUntil(&text, stop, 3);
        if (part < 0 || part > 255)
            return false;
        text++;
    }
    int port = ReadNumberUntil(&text, L'\0', 5);
    return port >= 1 && port <= 65535;
}
