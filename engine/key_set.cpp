// A set of keys of two 64-bit words.
#include "engine/key_set.h"

#include <stdlib.h>

namespace {

const DWORD FirstSize = 16;
const ULONGLONG GoldenRatio = 0x9E3779B97F4A7C15ull;

DWORD SlotOf(SetKey key, DWORD size)
{
    ULONGLONG mixed = key.low ^ (key.high * GoldenRatio);
    return static_cast<DWORD>((mixed * GoldenRatio) >> 32) & (size - 1);
}

// The slot that holds the key, or the free one where it would go.
KeySlot* FindSlot(KeySlot* slots, DWORD size, SetKey key)
{
    for (DWORD slot = SlotOf(key, size);; slot = (slot + 1) & (size - 1)) {
        KeySlot& held = slots[slot];
        if (!held.taken || (held.key.high == key.high && held.key.low == key.low))
            return &held;
    }
}

bool Resize(KeySet* set, DWORD size)
{
    KeySlot* slots = static_cast<KeySlot*>(calloc(size, sizeof(KeySlot)));
    if (slots == nullptr)
        return false;
    for (DWORD slot = 0; slot < set->size; slot++) {
        if (set->slots[slot].taken)
            *FindSlot(slots, size, set->slots[slot].key) = set->slots[slot];
    }
    free(set->slots);
    set->slots = slots;
    set->size = size;
    return true;
}

}  // namespace

bool ReserveKeys(KeySet* set, DWORD keys)
{
    DWORD size = set->size > 0 ? set->size : FirstSize;
    while (size < 2 * keys)
        size *= 2;
    return size == set->size || Resize(set, size);
}

int AddKey(KeySet* set, SetKey key)
{
    if (!ReserveKeys(set, set->used + 1))
        return -1;
    KeySlot* slot = FindSlot(set->slots, set->size, key);
    if (slot->taken)
        return 0;
    *slot = {key, 1};
    set->used++;
    return 1;
}

void ReleaseKeys(KeySet* set)
{
    free(set->slots);
    *set = {};
}
