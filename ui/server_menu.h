// A server row's actions, Join, Refresh and Copy Address: from the row's
// context menu and from the main window's keys (Ctrl+C, Ctrl+R, and F5 for
// the Update/Abort button).
#pragma once

#include <windows.h>

// For WM_CONTEXTMENU from the server list: selects the row under `position`
// (screen coordinates), or takes the selected row when the menu key asked
// (-1, -1), and shows the row's menu there.
void ShowServerMenu(HINSTANCE instance, LPARAM position);

// Carries out a command of the menu or the keys; false for any other.
bool RunServerCommand(WORD command);
