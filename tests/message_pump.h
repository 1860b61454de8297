// Serving the test thread's messages while it plays the UI thread.
#pragma once

#include <windows.h>

#include <functional>

// Serves messages until `done` holds; false on time-out. Messages for
// `dialog` go through the dialog manager first, as the program's loop does.
bool PumpUntil(const std::function<bool()>& done, DWORD timeoutMilliseconds, HWND dialog = nullptr);

// Serves messages for this long.
void PumpFor(DWORD milliseconds, HWND dialog = nullptr);

// Serves the messages already waiting, and returns.
void PumpPending(HWND dialog = nullptr);
