// Watched servers in the window: the row menu's "Watch..." dialog, the eye
// their rows show, and the word to the player when a watched server's
// players reach the number the player chose, told once until they fall
// below it again.
#pragma once

#include <windows.h>

// Asks for the number of players to wait for on the selected row's server,
// and watches it for that many; saved at once.
void ShowWatchDialog(HINSTANCE instance, HWND owner);

// On the UI thread, for the record at this index each time an update or a
// refresh has parsed it.
void FollowWatchedServer(int recordIndex);

// "Frostline (10.0.0.5:27910): 6 or more players", as Config lists it; the
// address alone stands for a server the table does not know.
void FormatWatchedServer(int watch, wchar_t* text, int textSize);

INT_PTR CALLBACK WatchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
