// Host names looked up on threads of their own, so that a slow or failing
// name holds up neither the window nor another lookup. A dotted IPv4 address
// is read as it stands.
#pragma once

#include <windows.h>

#include "settings/address_list.h"

// How long an update waits for the names it looks up (masters and
// favourites alike), from its start, however many there are: one the name
// service has not answered by then is not found.
const DWORD NameLookupMilliseconds = 5000;

struct LookupName {
    char host[HostNameSize];
    bool found;
    DWORD address;  // network byte order, the first IPv4 address of the name
    volatile LONG looked;  // set once `found` and `address` are final
};

// Finds the first IPv4 address of a host name: the system's resolver, unless
// a test puts a slow or silent one in its place.
extern bool (*ResolveHostName)(const char* host, DWORD* address);

// Names looked up side by side, by up to LookupThreads threads that each take
// the next name not yet taken. It is shared by its owner and its threads:
// whichever releases it last frees it.
const int LookupThreads = 8;
struct NameLookup {
    volatile LONG references;
    volatile LONG next;       // the index of the next name to take
    volatile LONG remaining;  // names not yet looked up
    HANDLE done;  // manual reset, set once every name has been looked up
    HWND notify;  // told with `message` (lParam: the lookup) when done, or null
    UINT message;
    int count;
    LookupName names[1];  // `count` of them
};

// A lookup of `count` names, to be filled in before it starts; null when
// memory is short.
NameLookup* CreateNameLookup(int count);

// Starts the threads; should none start, the names count as not found and
// the lookup is done at once.
void StartNameLookup(NameLookup* lookup);

bool NameLookupDone(const NameLookup* lookup);

// The address of a name whose lookup has ended and found it, else 0: safe to
// ask while the lookup still runs.
DWORD FoundAddress(NameLookup* lookup, int index);

// The owner's release; the lookup must not be used afterwards.
void ReleaseNameLookup(NameLookup* lookup);
