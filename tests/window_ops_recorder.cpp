// Recording stand-in for the window operations.
#include "tests/window_ops_recorder.h"

#include <mmsystem.h>

#include <mutex>

#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_text.h"

namespace {

const UINT RecordCallMessage = WM_APP + 1;

std::mutex callsMutex;
std::vector<WindowCall> calls;
HWND uiWindow;
DWORD uiThread;
DWORD statusMessageDelay;
std::wstring delayedMessages;  // the start of the messages that are delayed
std::function<void(UpdateButtonState)> buttonStateHook;

void Store(WindowCall* call)
{
    call->onUiThread = uiWindow != nullptr && GetCurrentThreadId() == uiThread;
    if (call->kind == CallStatusMessage && statusMessageDelay > 0 && call->text.rfind(delayedMessages, 0) == 0)
        Sleep(statusMessageDelay);
    call->time = timeGetTime();
    {
        std::lock_guard<std::mutex> guard(callsMutex);
        calls.push_back(*call);
    }
    if (call->kind == CallSetUpdateButtons && buttonStateHook)
        buttonStateHook(static_cast<UpdateButtonState>(call->argument));
}

LRESULT CALLBACK DoubleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case RecordCallMessage:
        Store(reinterpret_cast<WindowCall*>(lParam));
        return 0;
    default:
        return DefWindowProcW(window, message, wParam, lParam);
    }
}

void Record(WindowCallKind kind, const std::wstring& text, int argument)
{
    WindowCall call = {kind, text, argument, GetCurrentThreadId(), false, false, 0};
    call.lockHeld = TableLock.OwningThread == reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GetCurrentThreadId()));
    if (uiWindow != nullptr)
        SendMessageW(uiWindow, RecordCallMessage, 0, reinterpret_cast<LPARAM>(&call));
    else
        Store(&call);
}

void RecordStatusLine(const wchar_t* format, va_list arguments)
{
    wchar_t text[StatusTextSize];
    FormatStatusText(text, StatusTextSize, format, arguments);
    Record(CallStatusMessage, text, 0);
}

}  // namespace

void StatusMessage(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    RecordStatusLine(format, arguments);
    va_end(arguments);
}

// Recorded as a message is: the tests follow every line in order.
void StatusProgress(const wchar_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    RecordStatusLine(format, arguments);
    va_end(arguments);
}

void OfferServers(const int* recordIndexes, int count)
{
    for (int offer = 0; offer < count; offer++)
        Record(CallOfferServer, L"", recordIndexes[offer]);
    wchar_t found[StatusTextSize];
    FormatFoundLine(ServerTable.records[recordIndexes[count - 1]], found, StatusTextSize);
    Record(CallStatusMessage, found, 0);
}

// The window keeps its own copy of the info string, as the refresh frees its.
void ReplaceServerRecords(const int* recordIndexes, const ServerRecord* fresh, int count)
{
    for (int index = 0; index < count; index++) {
        Record(CallReplaceServerRecord, L"", recordIndexes[index]);
        ServerRecord& record = ServerTable.records[recordIndexes[index]];
        ReleaseStatusInfo(&record, 1);
        record = fresh[index];
        record.info = KeepStatusInfo(fresh[index].info);
    }
}

void NoteSilentServers(const int* recordIndexes, int count)
{
    for (int index = 0; index < count; index++)
        Record(CallNoteSilentServer, L"", recordIndexes[index]);
}

bool AppendServers(const ServerAddress* servers, int count)
{
    Record(CallAppendServers, L"", count);
    return AppendServerRecords(servers, count) != -1;
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

void NoteFavouriteAddresses(const AddressList*)
{
    Record(CallNoteFavouriteAddresses, L"", 0);
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

void AttachWindowDouble()
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DoubleWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"QuarrixWindowDouble";
    RegisterClassW(&windowClass);
    uiThread = GetCurrentThreadId();
    uiWindow = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               windowClass.hInstance, nullptr);
}

void DetachWindowDouble()
{
    DestroyWindow(uiWindow);
    uiWindow = nullptr;
    uiThread = 0;
    statusMessageDelay = 0;
    buttonStateHook = nullptr;
}

void SetButtonStateHook(const std::function<void(UpdateButtonState)>& hook)
{
    buttonStateHook = hook;
}

void SetStatusMessageDelay(DWORD milliseconds, const std::wstring& start)
{
    statusMessageDelay = milliseconds;
    delayedMessages = start;
}
