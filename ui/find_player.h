// The "Find Player" dialog: as the player types, it lists every player on
// every listed server whose name contains the text, and shows the chosen
// one in the main window, the server selected and the player with it.
#pragma once

#include <windows.h>

// Opens the dialog, owned by `owner`, over the main window; Ctrl+F and the row menu's "Find
// Player..." open it.
void ShowFindPlayerDialog(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK FindPlayerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The table changed while the dialog may be open: the matches are looked
// for again; at once, and emptied, when `replaced` (a new table took the
// place of the one whose records they name).
void FindPlayerFollowTable(bool replaced);
