// The "Add Server" dialog: the player types a server's address, which is
// looked up without holding up the window; once found, the server becomes a
// favourite and is queried at once.
#pragma once

#include <windows.h>

// Opens the dialog, owned by `owner`, over the main window; Insert and the row menu's
// "Add Server..." open it.
void ShowAddServerDialog(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK AddServerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
