// The player's favourite servers in the window: adding and removing them
// from a row's menu, adding one by address, and taking in where an update
// found them. Every change is saved at once.
#pragma once

#include <windows.h>

struct AddressList;

// Adds the record's server to the favourites, or removes every favourite
// that leads to it.
void ToggleFavourite(LPARAM recordIndex);

// Adds a server that was found at this address and port under the text the
// player typed, and queries it at once, as a refresh does, when nothing else
// is querying: a server that answers gets its row.
void AddFavouriteServer(const wchar_t* text, DWORD address, WORD port);

// The UI thread's half of the engine's NoteFavouriteAddresses.
void TakeFavouriteAddresses(const AddressList* found);

// Takes the favourites as the player edited them, one per line: an entry
// kept as it was keeps where an update found it, and every record's mark
// follows the list. The caller saves the lists.
void TakeEditedFavourites(const wchar_t* text, int length);
