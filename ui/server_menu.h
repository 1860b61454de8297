// A server row's actions, Join, Refresh, Copy Address, the favourite mark,
// Add Server, Find Player and Server Details: from the row's context menu
// and from the main window's keys (Ctrl+C, Ctrl+R, Insert, Ctrl+F,
// Alt+Enter, and the menu key or Shift+F10 for the menu).
#pragma once

#include <windows.h>

// For WM_CONTEXTMENU from the server list: selects the row under `position`
// (screen coordinates), or takes the selected row when the menu key asked
// (-1, -1), and shows the row's menu there.
void ShowServerMenu(HINSTANCE instance, LPARAM position);

// Carries out a command of the menu or the keys (the menu key and Shift+F10
// open the menu of the selected row); false for any other.
bool RunServerCommand(HINSTANCE instance, WORD command);
