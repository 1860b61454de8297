// Host names looked up on threads of their own.
#include <winsock2.h>

#include "engine/name_lookup.h"

#include <stddef.h>
#include <string.h>

namespace {

bool SystemResolveHostName(const char* name, DWORD* address)
{
    hostent* host = gethostbyname(name);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr)
        return false;
    memcpy(address, host->h_addr_list[0], sizeof(*address));
    return true;
}

// An empty name is none: the resolver would give this machine's address.
void LookUp(LookupName* name)
{
    if (name->host[0] != '\0')
        name->found = ReadDottedAddress(name->host, &name->address) || ResolveHostName(name->host, &name->address);
}

void Finish(NameLookup* lookup)
{
    SetEvent(lookup->done);
    if (lookup->notify != nullptr)
        PostMessageW(lookup->notify, lookup->message, 0, reinterpret_cast<LPARAM>(lookup));
}

DWORD WINAPI RunLookup(LPVOID parameter)
{
    NameLookup* lookup = static_cast<NameLookup*>(parameter);
    for (;;) {
        LONG index = InterlockedIncrement(&lookup->next) - 1;
        if (index >= lookup->count)
            break;
        LookUp(&lookup->names[index]);
        InterlockedExchange(&lookup->names[index].looked, 1);
        if (InterlockedDecrement(&lookup->remaining) == 0)
            Finish(lookup);
    }
    ReleaseNameLookup(lookup);
    return 0;
}

}  // namespace

bool (*ResolveHostName)(const char* host, DWORD* address) = SystemResolveHostName;

NameLookup* CreateNameLookup(int count)
{
    SIZE_T bytes = offsetof(NameLookup, names) + (count > 0 ? count : 1) * sizeof(LookupName);
    NameLookup* lookup = static_cast<NameLookup*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, bytes));
    if (lookup == nullptr)
        return nullptr;
    lookup->done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (lookup->done == nullptr) {
        HeapFree(GetProcessHeap(), 0, lookup);
        return nullptr;
    }
    lookup->references = 1;
    lookup->count = count;
    lookup->remaining = count;
    return lookup;
}

void StartNameLookup(NameLookup* lookup)
{
    int started = 0;
    for (int thread = 0; thread < lookup->count && thread < LookupThreads; thread++) {
        InterlockedIncrement(&lookup->references);
        HANDLE handle = CreateThread(nullptr, 0, RunLookup, lookup, 0, nullptr);
        if (handle == nullptr) {
            InterlockedDecrement(&lookup->references);
            break;
        }
        CloseHandle(handle);
        started++;
    }
    // Any one thread takes every name the others leave.
    if (started == 0)
        Finish(lookup);
}

bool NameLookupDone(const NameLookup* lookup)
{
    return WaitForSingleObject(lookup->done, 0) == WAIT_OBJECT_0;
}

DWORD FoundAddress(NameLookup* lookup, int index)
{
    LookupName& name = lookup->names[index];
    return InterlockedCompareExchange(&name.looked, 0, 0) != 0 && name.found ? name.address : 0;
}

void ReleaseNameLookup(NameLookup* lookup)
{
    if (lookup == nullptr || InterlockedDecrement(&lookup->references) != 0)
        return;
    CloseHandle(lookup->done);
    HeapFree(GetProcessHeap(), 0, lookup);
}
