// Recording stand-in for the window operations.
#include "tests/window_ops_recorder.h"

#include <mutex>

#include "engine/status_text.h"

namespace {

std::mutex callsMutex;
std::vector<WindowCall> calls;

void Record(WindowCallKind kind, const std::wstring& text, int argument)
{
    std::lock_guard<std::mutex> guard(callsMutex);
    calls.push_back({kind, text, argument});
}

}  // namespace

void StatusMessage(const wchar_t* format, ...)
{
    wchar_t text[StatusTextSize];
    va_list arguments;
    va_start(arguments, format);
    FormatStatusText(text, StatusTextSize, format, arguments);
    va_end(arguments);
    Record(CallStatusMessage, text, 0);
}

void OfferServer(int recordIndex)
{
    Record(CallOfferServer, L"", recordIndex);
}

void ResetServerViews()
{
    Record(CallResetServerViews, L"", 0);
}

void RefreshCounts()
{
    Record(CallRefreshCounts, L"", 0);
}

void SetUpdateButtons(UpdateButtonState state)
{
    Record(CallSetUpdateButtons, L"", state);
}

void ClearWindowCalls()
{
    std::lock_guard<std::mutex> guard(callsMutex);
    calls.clear();
}

std::vector<WindowCall> RecordedWindowCalls()
{
    std::lock_guard<std::mutex> guard(callsMutex);
    return calls;
}

std::vector<std::wstring> RecordedStatusMessages()
{
    std::vector<std::wstring> messages;
    for (const WindowCall& call : RecordedWindowCalls()) {
        if (call.kind == CallStatusMessage)
            messages.push_back(call.text);
    }
    return messages;
}
