// The filter line and the ping limit.
#include <winsock2.h>

#include "ui/server_filter.h"

#include <commctrl.h>

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

const int WordSize = 64;
// The field's height at 96 DPI, and the room under it.
const int FieldHeight = 21;
const int FieldGap = 2;

HWND FilterField;
// The line that says how many servers match, while it may still show.
wchar_t MatchLine[StatusTextSize];
wchar_t Words[MaxFilterWords][WordSize];
int WordCount;
wchar_t FilterText[MaxFilterWords * WordSize];

bool WordMatches(const ServerRecord& record, const wchar_t* word, const wchar_t* address)
{
    if (ContainsFoldedText(record.hostName, word) || ContainsFoldedText(record.mapName, word) ||
        ContainsFoldedText(address, word))
        return true;
    for (int player = 0; player < record.playerCount && player < MaxPlayers; player++) {
        if (ContainsFoldedText(record.players[player].name, word))
            return true;
    }
    return (lstrcmpW(word, L"buddy") == 0 && ServerHasBuddy(record)) ||
           (lstrcmpW(word, L"fav") == 0 && record.favourite);
}

// The list's place in the main window, and the field's above it.
RECT ListRect()
{
    RECT rect;
    GetWindowRect(ServerList, &rect);
    MapWindowPoints(HWND_DESKTOP, MainWindow, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// The list gives up the field's height, or takes it back. Moved while its
// painting is held, the list would drop its header's repaint, which its own
// repaints leave out: what is held is painted first, the header after.
void MoveListTop(int change)
{
    PaintHeldChanges();
    RECT list = ListRect();
    SetWindowPos(ServerList, nullptr, list.left, list.top + change, list.right - list.left,
                 list.bottom - list.top - change, SWP_NOZORDER | SWP_NOACTIVATE);
    RedrawWindow(reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0)), nullptr, nullptr,
                 RDW_INVALIDATE | RDW_UPDATENOW);
}

// With no words left, the match line no longer holds: while it still
// shows, it gives way to the count of servers listed.
void RetractMatchLine()
{
    wchar_t shown[StatusTextSize] = L"";
    ReadStatusText(shown, StatusTextSize);
    if (MatchLine[0] != L'\0' && lstrcmpW(shown, MatchLine) == 0)
        StatusMessage(L"%d server%s listed.", VisibleServerCount, VisibleServerCount == 1 ? L"" : L"s");
    MatchLine[0] = L'\0';
}

// The servers that would be listed but for the filter line.
int ShownBeforeTheLine()
{
    int shown = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        const ServerRecord& record = ServerTable.records[index];
        shown += record.offered && WhyHiddenBeforeTheLine(record) == NotHidden;
    }
    return shown;
}

}  // namespace

void CreateFilterLine(HWND mainWindow)
{
    SetFilterWords(L"");
    FilterField = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0, 0,
                                  mainWindow, reinterpret_cast<HMENU>(IDC_FILTER_TEXT), nullptr, nullptr);
    SendMessageW(FilterField, EM_LIMITTEXT, MaxFilterWords * WordSize - 1, 0);
    SendMessageW(FilterField, EM_SETCUEBANNER, TRUE,
                 reinterpret_cast<LPARAM>(L"Words in host name, map, address or player name; buddy; fav"));
    SendMessageW(FilterField, WM_SETFONT, SendMessageW(mainWindow, WM_GETFONT, 0, 0), FALSE);
}

void ShowFilterLine()
{
    if (FilterField == nullptr)
        return;
    if (!FilterLineShown()) {
        RECT list = ListRect();
        int height = ScaleToDpi(FieldHeight, WindowDpi);
        SetWindowPos(FilterField, HWND_TOP, list.left, list.top, list.right - list.left, height,
                     SWP_NOACTIVATE | SWP_SHOWWINDOW);
        MoveListTop(height + ScaleToDpi(FieldGap, WindowDpi));
    }
    SetFocus(FilterField);
}

void HideFilterLine()
{
    if (!FilterLineShown())
        return;
    RECT field;
    GetWindowRect(FilterField, &field);
    ShowWindow(FilterField, SW_HIDE);
    MoveListTop(-(field.bottom - field.top) - ScaleToDpi(FieldGap, WindowDpi));
    SetWindowTextW(FilterField, L"");
    SetFocus(ServerList);
}

bool FilterLineShown()
{
    return FilterField != nullptr && IsWindowVisible(FilterField);
}

bool FilterLineFocused()
{
    return FilterField != nullptr && GetFocus() == FilterField;
}

void SetFilterWords(const wchar_t* text)
{
    WordCount = 0;
    lstrcpynW(FilterText, text, MaxFilterWords * WordSize);
    for (const wchar_t* at = text; *at != L'\0' && WordCount < MaxFilterWords;) {
        while (*at == L' ' || *at == L'\t')
            at++;
        int length = 0;
        while (at[length] != L'\0' && at[length] != L' ' && at[length] != L'\t')
            length++;
        if (length == 0)
            break;
        int kept = length < WordSize - 1 ? length : WordSize - 1;
        for (int index = 0; index < kept; index++)
            Words[WordCount][index] = FoldedLetter(at[index]);
        Words[WordCount++][kept] = L'\0';
        at += length;
    }
}

void FollowFilterText()
{
    wchar_t text[MaxFilterWords * WordSize];
    GetWindowTextW(FilterField, text, MaxFilterWords * WordSize);
    SetFilterWords(text);
    RefilterServers();
    if (WordCount == 0) {
        RetractMatchLine();
        return;
    }
    FormatText(MatchLine, StatusTextSize, L"%d of %d servers match \"%s\".", VisibleServerCount,
               ShownBeforeTheLine(), FilterText);
    StatusMessage(L"%s", MatchLine);
}

bool WithinPingLimit(const ServerRecord& record)
{
    return MaximumPing == 0 || record.ping <= MaximumPing;
}

bool MatchesFilterLine(const ServerRecord& record)
{
    if (WordCount == 0)
        return true;
    wchar_t address[ServerAddressTextSize];
    FormatServerAddress(record.address, record.port, address, ServerAddressTextSize);
    for (int word = 0; word < WordCount; word++) {
        if (!WordMatches(record, Words[word], address))
            return false;
    }
    return true;
}
