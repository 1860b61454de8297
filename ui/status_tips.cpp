// Tips over the status bar.
#include "ui/status_tips.h"

#include <commctrl.h>

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

const int TipWidth = 480;
const int TippedParts[] = {StatusMessagePart, StatusServersPart};

HWND Tips;
WNDPROC StatusBarProcBefore;

// The message line's text when the part shows less than the whole of it,
// else nothing (no tip).
void TellCutMessage(wchar_t* text, int textSize)
{
    text[0] = L'\0';
    wchar_t message[StatusTextSize];
    ReadStatusText(message, StatusTextSize);
    RECT part;
    if (!SendMessageW(StatusBar, SB_GETRECT, StatusMessagePart, reinterpret_cast<LPARAM>(&part)))
        return;
    HDC context = GetDC(StatusBar);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(StatusBar, WM_GETFONT, 0, 0)));
    SIZE extent = {};
    GetTextExtentPoint32W(context, message, lstrlenW(message), &extent);
    SelectObject(context, previous);
    ReleaseDC(StatusBar, context);
    // The part's icon and borders take about a line's height of its width.
    int room = part.right - part.left - (part.bottom - part.top);
    if (extent.cx > room)
        lstrcpynW(text, message, textSize);
}

void AnswerTipText(NMTTDISPINFOW* request)
{
    // Longer than the answer's own buffer; the tip takes its copy at once.
    static wchar_t text[StatusTextSize];
    if (request->hdr.idFrom == StatusServersPart)
        FormatHiddenServers(text, StatusTextSize);
    else
        TellCutMessage(text, StatusTextSize);
    request->lpszText = text;
}

// The bar's mouse messages reach the tips from here rather than through a
// subclass of the tips' own, which under Wine would cost a call to the Wine
// server for every message the bar gets, a thousand in an update.
void RelayToTips(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG relayed = {bar, message, wParam, lParam, static_cast<DWORD>(GetMessageTime()), {}};
    DWORD position = GetMessagePos();
    relayed.pt = {static_cast<short>(LOWORD(position)), static_cast<short>(HIWORD(position))};
    SendMessageW(Tips, TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(&relayed));
}

// The tips ask the bar for their texts: the bar's own procedure is given
// that question first.
LRESULT CALLBACK StatusBarWithTips(HWND bar, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == TTN_GETDISPINFOW) {
            AnswerTipText(reinterpret_cast<NMTTDISPINFOW*>(lParam));
            return 0;
        }
        return CallWindowProcW(StatusBarProcBefore, bar, message, wParam, lParam);
    case WM_MOUSEMOVE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_RBUTTONDOWN:
    case WM_RBUTTONUP:
        RelayToTips(bar, message, wParam, lParam);
        return CallWindowProcW(StatusBarProcBefore, bar, message, wParam, lParam);
    case WM_DESTROY:
        SetWindowLongPtrW(bar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusBarProcBefore));
        return CallWindowProcW(StatusBarProcBefore, bar, message, wParam, lParam);
    default:
        return CallWindowProcW(StatusBarProcBefore, bar, message, wParam, lParam);
    }
}

TTTOOLINFOW PartTool(int part)
{
    TTTOOLINFOW tool = {};
    tool.cbSize = sizeof(tool);
    tool.hwnd = StatusBar;
    tool.uId = part;
    tool.lpszText = LPSTR_TEXTCALLBACKW;
    SendMessageW(StatusBar, SB_GETRECT, part, reinterpret_cast<LPARAM>(&tool.rect));
    return tool;
}

}  // namespace

void CreateStatusTips(HWND mainWindow)
{
    if (StatusBar == nullptr)
        return;
    Tips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, 0, 0, 0,
                           0, mainWindow, nullptr, nullptr, nullptr);
    if (Tips == nullptr)
        return;
    SendMessageW(Tips, TTM_SETMAXTIPWIDTH, 0, TipWidth);
    StatusBarProcBefore = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(StatusBar, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(StatusBarWithTips)));
    for (int part : TippedParts) {
        TTTOOLINFOW tool = PartTool(part);
        SendMessageW(Tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void PlaceStatusTips()
{
    if (Tips == nullptr)
        return;
    for (int part : TippedParts) {
        TTTOOLINFOW tool = PartTool(part);
        SendMessageW(Tips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void FormatHiddenServers(wchar_t* text, int textSize)
{
    int hidden[HiddenAsSilent + 1] = {};
    for (int index = 0; index < ServerTable.count; index++) {
        const ServerRecord& record = ServerTable.records[index];
        if (record.offered)
            hidden[WhyHidden(record)]++;
    }
    int all = hidden[HiddenAsFull] + hidden[HiddenAsEmpty] + hidden[HiddenByPingLimit] + hidden[HiddenByFilterLine] +
              hidden[HiddenAsSilent];
    // Silent servers are told of only while there are any: only a refreshed
    // list has them.
    wchar_t silent[32] = L"";
    if (hidden[HiddenAsSilent] > 0)
        FormatText(silent, 32, L", %d silent", hidden[HiddenAsSilent]);
    FormatText(text, textSize, L"%d hidden: %d empty, %d full, %d by the ping limit, %d by the filter line%s", all,
               hidden[HiddenAsEmpty], hidden[HiddenAsFull], hidden[HiddenByPingLimit], hidden[HiddenByFilterLine],
               silent);
}
