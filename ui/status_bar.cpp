// The status bar.
#include "ui/status_bar.h"

#include <commctrl.h>
#include <stdarg.h>

#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/server_list.h"

HWND StatusBar;

namespace {

const int CountTextSize = 512;

// The latest progress line not yet shown, written by the engine's threads
// and taken by the UI thread; a line posted is never waited for.
CRITICAL_SECTION ProgressLock;
bool ProgressLockReady;
wchar_t ProgressText[StatusTextSize];
bool ProgressWaiting;
volatile LONG ProgressPosted;

void SetPartText(int part, const wchar_t* text)
{
    SendMessageW(StatusBar, SB_SETTEXTW, part, reinterpret_cast<LPARAM>(text));
}

// The bar does not own its icons: the one an icon replaces is destroyed.
void SetPartIcon(HINSTANCE instance, int part, int iconId, int width, int height)
{
    int scale = PictureScale(WindowDpi);
    HICON icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON, width * scale, height * scale, 0));
    if (icon == nullptr)
        return;
    HICON replaced = reinterpret_cast<HICON>(SendMessageW(StatusBar, SB_GETICON, part, 0));
    SendMessageW(StatusBar, SB_SETICON, part, reinterpret_cast<LPARAM>(icon));
    if (replaced != nullptr)
        DestroyIcon(replaced);
}

void ShowCount(int part, const wchar_t* format, int count)
{
    wchar_t text[CountTextSize];
    FormatText(text, CountTextSize, format, count, count == 1 ? L"" : L"s");
    SetPartText(part, text);
}

}  // namespace

StatusBarEdges StatusBarPartEdges(int clientWidth)
{
    StatusBarEdges edges;
    edges.messageEnd = 40 * clientWidth / 70;
    edges.playersEnd = edges.messageEnd + 15 * clientWidth / 70;
    edges.serversEnd = edges.playersEnd + 15 * clientWidth / 70;
    return edges;
}

void CreateStatusBar(HWND mainWindow, HINSTANCE instance)
{
    RECT client;
    GetClientRect(mainWindow, &client);
    int width = client.right - client.left;
    HWND bar = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, width, 0, mainWindow,
                               nullptr, instance, nullptr);
    if (bar == nullptr)
        return;
    // Before the bar is known, so before any thread can show a line.
    if (!ProgressLockReady)
        InitializeCriticalSection(&ProgressLock);
    ProgressLockReady = true;
    // A line posted to a window that is gone never comes.
    ProgressWaiting = false;
    ProgressPosted = 0;
    StatusBar = bar;
    SizeStatusBarParts(width);
    SetWindowLongW(StatusBar, GWL_ID, IDC_STATUS_BAR);

    SetStatusBarIcons(instance);

    StatusMessage(L"Updating Server List...");
    SetPartText(StatusPlayersPart, L"0 Players");
    SetPartText(StatusServersPart, L"0 Servers");
}

void SizeStatusBarParts(int clientWidth)
{
    if (StatusBar == nullptr)
        return;
    StatusBarEdges edges = StatusBarPartEdges(clientWidth);
    int rightEdges[StatusPartCount] = {edges.messageEnd, edges.playersEnd, edges.serversEnd};
    SendMessageW(StatusBar, SB_SETPARTS, StatusPartCount, reinterpret_cast<LPARAM>(rightEdges));
}

void SetStatusBarIcons(HINSTANCE instance)
{
    SetPartIcon(instance, StatusPlayersPart, IDI_PLAYER, 16, 14);
    SetPartIcon(instance, StatusServersPart, IDI_SERVER, 16, 14);
    SetPartIcon(instance, StatusMessagePart, IDI_STATUS_MESSAGE, 14, 14);
}

void ShowStatusText(const wchar_t* text)
{
    HoldPainting();
    SetPartText(StatusMessagePart, text);
}

void ReadStatusText(wchar_t* text, int textSize)
{
    text[0] = L'\0';
    if (StatusBar != nullptr && LOWORD(SendMessageW(StatusBar, SB_GETTEXTLENGTHW, StatusMessagePart, 0)) < textSize)
        SendMessageW(StatusBar, SB_GETTEXTW, StatusMessagePart, reinterpret_cast<LPARAM>(text));
}

void ShowCounts()
{
    HoldPainting();
    ShowCount(StatusPlayersPart, L"%d Player%s", VisiblePlayerCount);
    ShowCount(StatusServersPart, L"%d Server%s", VisibleServerCount);
}

void StatusMessage(const wchar_t* format, ...)
{
    if (StatusBar == nullptr)
        return;
    wchar_t text[StatusTextSize];
    va_list arguments;
    va_start(arguments, format);
    FormatStatusText(text, StatusTextSize, format, arguments);
    va_end(arguments);
    DropWaitingProgress();
    // Sent, so the bar has its own copy of the text when this returns.
    SendMessageW(MainWindow, WM_SHOW_STATUS_TEXT, 0, reinterpret_cast<LPARAM>(text));
}

void DropWaitingProgress()
{
    if (!ProgressLockReady)
        return;
    EnterCriticalSection(&ProgressLock);
    ProgressWaiting = false;
    LeaveCriticalSection(&ProgressLock);
}

void StatusProgress(const wchar_t* format, ...)
{
    if (StatusBar == nullptr)
        return;
    va_list arguments;
    va_start(arguments, format);
    EnterCriticalSection(&ProgressLock);
    FormatStatusText(ProgressText, StatusTextSize, format, arguments);
    ProgressWaiting = true;
    LeaveCriticalSection(&ProgressLock);
    va_end(arguments);
    // A post the queue refuses leaves the next line to post again.
    if (InterlockedExchange(&ProgressPosted, 1) == 0 && !PostMessageW(MainWindow, WM_SHOW_PROGRESS_TEXT, 0, 0))
        InterlockedExchange(&ProgressPosted, 0);
}

// The engine posts no other line while the spacing runs: it finds one
// posted. A sweep at full speed then crosses into the window no more often
// than the bar is painted.
void ShowWaitingProgress()
{
    for (;;) {
        wchar_t text[StatusTextSize];
        EnterCriticalSection(&ProgressLock);
        bool waiting = ProgressWaiting;
        ProgressWaiting = false;
        lstrcpynW(text, ProgressText, StatusTextSize);
        LeaveCriticalSection(&ProgressLock);
        if (waiting) {
            ShowStatusText(text);
            if (SetTimer(MainWindow, ProgressLineTimerId, ProgressLineSpacing, nullptr) == 0)
                InterlockedExchange(&ProgressPosted, 0);
            return;
        }
        InterlockedExchange(&ProgressPosted, 0);
        // A line written after the look above found a post on its way, so
        // it is this window's to show, unless a new post came for it.
        EnterCriticalSection(&ProgressLock);
        bool late = ProgressWaiting;
        LeaveCriticalSection(&ProgressLock);
        if (!late || InterlockedExchange(&ProgressPosted, 1) != 0)
            return;
    }
}

void EndProgressLineSpacing()
{
    KillTimer(MainWindow, ProgressLineTimerId);
    ShowWaitingProgress();
}

void RefreshCounts()
{
    // The counts are read on the UI thread, which alone changes them.
    SendMessageW(MainWindow, WM_REFRESH_COUNTS, 0, 0);
}
