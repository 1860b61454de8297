// Text to the clipboard.
#pragma once

#include <windows.h>

// Puts the text on the clipboard as Unicode text; false when it could not.
bool CopyTextToClipboard(HWND owner, const wchar_t* text);
