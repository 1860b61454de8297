// Host names looked up on a thread of their own, so that a slow or failing
// name holds up neither the window nor another lookup. A dotted IPv4 address
// is read as it stands.
#pragma once

#include <windows.h>

#include "settings/address_list.h"

struct LookupName {
    char host[HostNameSize];
    bool found;
    DWORD address;  // network byte order, the first IPv4 address of the name
};

// Names looked up one after another by one thread. It is shared by its owner
// and its thread: whichever releases it last frees it.
struct NameLookup {
    volatile LONG references;
    HANDLE done;  // manual reset, set once every name has been looked up
    HWND notify;  // told with `message` (lParam: the lookup) when done, or null
    UINT message;
    int count;
    LookupName names[1];  // `count` of them
};

// A lookup of `count` names, to be filled in before it starts; null when
// memory is short.
NameLookup* CreateNameLookup(int count);

// Starts the thread; should none start, the names count as not found and
// the lookup is done at once.
void StartNameLookup(NameLookup* lookup);

bool NameLookupDone(const NameLookup* lookup);

// The owner's release; the lookup must not be used afterwards.
void ReleaseNameLookup(NameLookup* lookup);
