// A set of keys of two 64-bit words: which servers a merge has kept, which
// folders a game search has walked. Open-addressed on the C heap, doubled
// when half full, so adding and asking stay fast however many keys it holds.
#pragma once

#include <windows.h>

struct SetKey {
    ULONGLONG high;
    ULONGLONG low;
};

struct KeySlot {
    SetKey key;
    DWORD taken;  // 0 marks a free slot
};

struct KeySet {
    KeySlot* slots;
    DWORD size;  // a power of two, or 0 before the first key
    DWORD used;
};

// Makes room for `keys` keys at once; false when memory is short.
bool ReserveKeys(KeySet* set, DWORD keys);

// Adds the key: 1 when it was new, 0 when it was there, -1 when memory is
// short (it is then not in the set).
int AddKey(KeySet* set, SetKey key);

void ReleaseKeys(KeySet* set);
