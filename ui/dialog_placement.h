// Where the browser's dialogs open: centred over the window that owns them,
// and kept within the work area of that window's monitor.
#pragma once

#include <windows.h>

// For a dialog's WM_INITDIALOG.
void CentreOverOwner(HWND dialog);
