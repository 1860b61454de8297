// The configuration dialog: edits the game directory and executable, the
// query rate, the ping thresholds, the buddy list and the master servers,
// and applies them all when it closes; the masters are saved at once.
#pragma once

#include <windows.h>

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

void ApplyConfig(HWND dialog);
