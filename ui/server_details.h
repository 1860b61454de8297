// The "Server Details" dialog: every key and value of the selected server's
// last status reply, sortable by key, and its players. Ctrl+C copies the
// selected line, "Copy All" the whole of it as text. It follows the server
// through a refresh or an update that runs while it is open.
#pragma once

#include <windows.h>

// Opens the dialog, owned by `owner`, for the selected server, if there is one; Alt+Enter and
// the row menu's "Server Details..." open it.
void ShowServerDetailsDialog(HINSTANCE instance, HWND owner);

INT_PTR CALLBACK ServerDetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The table changed while the dialog may be open: the record at this index
// was offered or refreshed, or, for -1, a new table replaced the old one.
void ServerDetailsFollowTable(int recordIndex);
