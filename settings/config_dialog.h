// The configuration dialog: edits the game directory and executable, the
// query rate, the ping thresholds and the buddy list, and applies them all
// when it closes.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ApplyConfig(HWND dialog);
