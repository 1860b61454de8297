// Host names looked up on a thread of their own.
#include <winsock2.h>

#include "engine/name_lookup.h"

#include <stddef.h>
#include <string.h>

namespace {

void LookUp(LookupName* name)
{
    name->found = ReadDottedAddress(name->host, &name->address);
    if (name->found)
        return;
    hostent* host = gethostbyname(name->host);
    if (host == nullptr || host->h_addrtype != AF_INET || host->h_addr_list[0] == nullptr)
        return;
    memcpy(&name->address, host->h_addr_list[0], sizeof(name->address));
    name->found = true;
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
    for (int index = 0; index < lookup->count; index++)
        LookUp(&lookup->names[index]);
    Finish(lookup);
    ReleaseNameLookup(lookup);
    return 0;
}

}  // namespace

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
    return lookup;
}

void StartNameLookup(NameLookup* lookup)
{
    InterlockedIncrement(&lookup->references);
    HANDLE thread = CreateThread(nullptr, 0, RunLookup, lookup, 0, nullptr);
    if (thread != nullptr) {
        CloseHandle(thread);
        return;
    }
    InterlockedDecrement(&lookup->references);
    Finish(lookup);
}

bool NameLookupDone(const NameLookup* lookup)
{
    return WaitForSingleObject(lookup->done, 0) == WAIT_OBJECT_0;
}

void ReleaseNameLookup(NameLookup* lookup)
{
    if (lookup == nullptr || InterlockedDecrement(&lookup->references) != 0)
        return;
    CloseHandle(lookup->done);
    HeapFree(GetProcessHeap(), 0, lookup);
}
