// A stand-in for the window that records every window operation the engine
// calls, with status messages formatted as the status bar would show them.
#pragma once

#include <string>
#include <vector>

#include "engine/window_ops.h"

enum WindowCallKind {
    CallStatusMessage,
    CallOfferServer,
    CallResetServerViews,
    CallRefreshCounts,
    CallSetUpdateButtons,
};

struct WindowCall {
    WindowCallKind kind;
    std::wstring text;  // the formatted status message
    int argument;       // the record index or the button state
};

void ClearWindowCalls();
std::vector<WindowCall> RecordedWindowCalls();
std::vector<std::wstring> RecordedStatusMessages();
