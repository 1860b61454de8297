// A stand-in for the window that records every window operation the engine
// calls, with status messages formatted as the status bar would show them.
// Once a thread attaches as the UI thread, every call is carried out there by
// a synchronous window message, as the real window does.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/window_ops.h"
#include "tests/message_pump.h"

enum WindowCallKind {
    CallStatusMessage,
    CallOfferServer,
    CallReplaceServerRecord,
    CallNoteSilentServer,
    CallResetServerViews,
    CallRefreshCounts,
    CallSetUpdateButtons,
    CallNoteFavouriteAddresses,
    CallAppendServers,
};

struct WindowCall {
    WindowCallKind kind;
    std::wstring text;  // the formatted status message
    int argument;       // the record index or the button state
    DWORD callerThread;
    bool lockHeld;      // the caller held the TableLock
    bool onUiThread;    // carried out on the attached UI thread
    DWORD time;         // timeGetTime when carried out
};

void ClearWindowCalls();
std::vector<WindowCall> RecordedWindowCalls();
std::vector<std::wstring> RecordedStatusMessages();

// Makes the calling thread the UI thread until detached. It must pump
// messages (PumpUntil) while engine threads run.
void AttachWindowDouble();
void DetachWindowDouble();

// Runs on the UI thread right after each button state has been recorded,
// as a click handled next would.
void SetButtonStateHook(const std::function<void(UpdateButtonState)>& hook);

// Makes the UI thread take this long over every status message that starts
// with `start`.
void SetStatusMessageDelay(DWORD milliseconds, const std::wstring& start = L"");
