// Formatting of status-line texts, shared by the status bar and anything that
// has to reproduce what the status bar would show.
#pragma once

#include <stdarg.h>

// A status line holds at most this many characters, terminator included.
const int StatusTextSize = 1024;

// Formats with the Windows meanings of "%s" (wide), "%S" (8-bit) and "%d";
// text beyond bufferSize - 1 characters is cut, and the result is always
// terminated.
void FormatStatusText(wchar_t* buffer, int bufferSize, const wchar_t* format, va_list arguments);

// The same, with the arguments given directly.
void FormatText(wchar_t* buffer, int bufferSize, const wchar_t* format, ...);
