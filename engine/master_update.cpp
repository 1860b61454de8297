// The master list update and its worker thread.
#include "engine/master_update.h"

#include <winsock2.h>
#include <stdlib.h>
#include <string.h>

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_sweep.h"
#include "engine/window_ops.h"

HANDLE AbortEvent;
volatile LONG UpdateBusy;

namespace {

// Set once the worker is past its last look at the abort request: a press
// from then on must not disable the buttons that the worker's exit is about
// to return to idle.
volatile LONG UpdateEnding;

enum MasterOutcome { MasterReplied, MasterSilent, MasterFailed };

bool ResolveMaster(in_addr* master)
{
    char name[256];
    // A name too long for the lookup buffer cannot be resolved.
    if (WideCharToMultiByte(CP_ACP, 0, MasterHostName, -1, name, sizeof(name) - 1, nullptr, nullptr) == 0)
        return false;
    hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr)
        return false;
    memcpy(&master->s_addr, host->h_addr_list[0], sizeof(master->s_addr));
    return true;
}

// Sends "query" up to three times, two seconds apart, and takes the first
// datagram that arrives as the reply.
MasterOutcome ExchangeWithMaster(SOCKET masterSocket, in_addr master, char* reply, int* received)
{
    sockaddr_in destination = {};
    destination.sin_family = AF_INET;
    destination.sin_port = htons(MasterPort);
    destination.sin_addr = master;

    int attempts = 0;
    for (;;) {
        if (sendto(masterSocket, "query", 5, 0, reinterpret_cast<const sockaddr*>(&destination),
                   sizeof(destination)) == SOCKET_ERROR)
            return MasterFailed;
        if (WaitForSingleObject(AbortEvent, 0) == WAIT_OBJECT_0)
            return MasterFailed;

        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(masterSocket, &readable);
        timeval wait = {MasterWaitSeconds, 0};
        int ready = select(0, &readable, nullptr, nullptr, &wait);
        if (ready == 0) {
            attempts++;
            StatusMessage(L"Retrying %s (attempt %d)...", MasterHostName, attempts);
            if (attempts >= MasterAttempts)
                return MasterSilent;
            continue;
        }
        // A failed wait must not lead into a receive that could block for ever.
        if (ready == SOCKET_ERROR)
            return MasterFailed;
        *received = recvfrom(masterSocket, reply, MasterReplyBufferSize, 0, nullptr, nullptr);
        // A reply too short for its header names no servers; it is treated as
        // an error, so the previous list stays.
        return *received >= MasterHeaderSize ? MasterReplied : MasterFailed;
    }
}

// Returns the size of the master's reply, or 0 after reporting the failure.
int QueryMaster(in_addr master, char* reply)
{
    SOCKET masterSocket = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    StatusMessage(L"Querying %s...", MasterHostName);
    int received = 0;
    MasterOutcome outcome = ExchangeWithMaster(masterSocket, master, reply, &received);
    if (masterSocket != INVALID_SOCKET)
        closesocket(masterSocket);
    if (outcome == MasterSilent)
        StatusMessage(L"No response from %s.", MasterHostName);
    else if (outcome == MasterFailed)
        StatusMessage(L"Error querying %s.", MasterHostName);
    return outcome == MasterReplied ? received : 0;
}

// The addresses and ports kept so far, in an open-addressed set of at least
// twice as many slots as entries: the duplicate check stays linear however
// long the list (records lie 6 KB apart, so comparing them all was slow).
struct KeptServers {
    ULONGLONG* slots;  // 0 marks a free slot
    DWORD mask;
};

bool MakeKeptServers(KeptServers* kept, int entries)
{
    DWORD size = 16;
    while (size < 2u * static_cast<DWORD>(entries))
        size *= 2;
    kept->slots = static_cast<ULONGLONG*>(calloc(size, sizeof(ULONGLONG)));
    kept->mask = size - 1;
    return kept->slots != nullptr;
}

// True when this address and port were kept before; otherwise keeps them.
bool ListedBefore(KeptServers* kept, DWORD address, WORD port)
{
    ULONGLONG key = ((static_cast<ULONGLONG>(address) << 16) | port) + 1;
    DWORD slot = static_cast<DWORD>((key * 0x9E3779B97F4A7C15ull) >> 32) & kept->mask;
    while (kept->slots[slot] != 0) {
        if (kept->slots[slot] == key)
            return true;
        slot = (slot + 1) & kept->mask;
    }
    kept->slots[slot] = key;
    return false;
}

bool RunUpdate()
{
    StatusMessage(L"Resolving %s...", MasterHostName);
    in_addr master;
    if (!ResolveMaster(&master)) {
        StatusMessage(L"Couldn't resolve %s.", MasterHostName);
        return false;
    }

    char* reply = static_cast<char*>(calloc(MasterReplyBufferSize, 1));
    if (reply == nullptr) {
        StatusMessage(L"Error querying %s.", MasterHostName);
        return false;
    }
    int received = QueryMaster(master, reply);
    bool rebuilt = false;
    if (received > 0) {
        // The count goes to 0 before the views are emptied: the reset's round
        // trip through the UI thread then ends any walk of the old table, and
        // no later one (a Full or Empty click) can list its records again.
        InterlockedExchange(&ServerTable.count, 0);
        ResetServerViews();
        rebuilt = RebuildServerTable(reinterpret_cast<unsigned char*>(reply), received);
    }
    free(reply);
    if (!rebuilt)
        return false;

    StatusMessage(L"Querying servers...");
    RefreshCounts();
    StatusSweep();
    return true;
}

void EndUpdate()
{
    InterlockedExchange(&UpdateEnding, 1);
    SetUpdateButtons(UpdateButtonsIdle);
    ResetEvent(AbortEvent);
    InterlockedExchange(&UpdateBusy, 0);
}

}  // namespace

DWORD WINAPI UpdateWorker(LPVOID)
{
    // A refresh asked to stop by the Update press ends before anything here
    // can touch the table.
    WaitForServerRefresh();
    DWORD exitCode = RunUpdate() ? 0 : 1;
    EndUpdate();
    return exitCode;
}

void StartOrAbortUpdate()
{
    if (UpdateBusy) {
        if (!UpdateEnding) {
            SetEvent(AbortEvent);
            SetUpdateButtons(UpdateButtonsAborting);
        }
        return;
    }
    CancelServerRefresh();
    SetUpdateButtons(UpdateButtonsBusy);
    UpdateEnding = 0;
    UpdateBusy = 1;
    HANDLE worker = CreateThread(nullptr, 0, UpdateWorker, nullptr, 0, nullptr);
    if (worker == nullptr) {
        // Nothing will end this update: return to idle at once.
        UpdateBusy = 0;
        SetUpdateButtons(UpdateButtonsIdle);
        StatusMessage(L"Couldn't start the update.");
        return;
    }
    CloseHandle(worker);
}

// The count is 0, the lists are empty and no receiver runs, so no lock is
// needed; the order keeps every index check of the UI thread sound.
bool RebuildServerTable(const unsigned char* reply, int length)
{
    int entries = length > MasterHeaderSize ? (length - MasterHeaderSize) / MasterEntrySize : 0;
    if (ServerTable.records != nullptr)
        HeapFree(GetProcessHeap(), 0, ServerTable.records);
    ServerTable.records = nullptr;

    KeptServers kept = {};
    ServerRecord* records = static_cast<ServerRecord*>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (entries > 0 ? entries : 1) * sizeof(ServerRecord)));
    if (records == nullptr || !MakeKeptServers(&kept, entries)) {
        if (records != nullptr)
            HeapFree(GetProcessHeap(), 0, records);
        StatusMessage(L"Not enough memory for %d servers.", entries);
        return false;
    }
    ServerTable.records = records;

    int count = 0;
    for (int entry = 0; entry < entries; entry++) {
        const unsigned char* bytes = reply + MasterHeaderSize + entry * MasterEntrySize;
        ServerRecord* record = &records[count];
        memcpy(&record->address, bytes, sizeof(record->address));
        record->port = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
        if (ListedBefore(&kept, record->address, record->port)) {
            // The slot goes to the next entry, or stays beyond the count, zeroed.
            record->address = 0;
            record->port = 0;
            continue;
        }
        InterlockedExchange(&ServerTable.count, ++count);
    }
    free(kept.slots);
    return true;
}
