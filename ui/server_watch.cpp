// Watched servers in the window.
#include "ui/server_watch.h"

#include <commctrl.h>

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "ui/dialog_placement.h"
#include "ui/main_window.h"
#include "ui/server_list.h"
#include "ui/server_news.h"

namespace {

// The server the dialog is about, taken before it opens: the table may move
// meanwhile.
struct WatchQuestion {
    DWORD address;
    WORD port;
    wchar_t hostName[LongTextSize];
    int mostPlayers;
    int players;
};

WatchQuestion Question;

// A server that reports no maximum may be waited for up to the most a
// reply can name.
int MostPlayers(const ServerRecord& record)
{
    return record.maxClients > 0 && record.maxClients < MaxPlayers ? record.maxClients : MaxPlayers;
}

// The number the dialog starts with: the one chosen before, else one more
// than are on now.
int FirstChoice(const ServerRecord& record)
{
    int watch = FindWatchedServer(record.address, record.port);
    if (watch != -1)
        return WatchedServers[watch].players;
    int next = record.playerCount + 1;
    return next < Question.mostPlayers ? next : Question.mostPlayers;
}

void InitWatchDialog(HWND dialog)
{
    CentreOverOwner(dialog);
    wchar_t text[LongTextSize + 32];
    FormatText(text, LongTextSize + 32, L"or more players are on %s", Question.hostName);
    SetDlgItemTextW(dialog, IDC_WATCH_HOST, text);
    SendDlgItemMessageW(dialog, IDC_WATCH_PLAYERS_SPIN, UDM_SETRANGE32, 1, Question.mostPlayers);
    SendDlgItemMessageW(dialog, IDC_WATCH_PLAYERS_SPIN, UDM_SETPOS32, 0, Question.players);
    SendDlgItemMessageW(dialog, IDC_WATCH_PLAYERS, EM_LIMITTEXT, 2, 0);
}

// A number outside the range is taken as its nearest end.
void ReadWatchDialog(HWND dialog)
{
    BOOL read = FALSE;
    int players = static_cast<int>(GetDlgItemInt(dialog, IDC_WATCH_PLAYERS, &read, FALSE));
    if (!read || players < 1)
        players = 1;
    Question.players = players < Question.mostPlayers ? players : Question.mostPlayers;
}

void RedrawWatchedRow()
{
    int record = FindServerRecord(Question.address, Question.port);
    int row = record != -1 ? RowOfRecord(record) : -1;
    if (row != -1)
        SendMessageW(ServerList, LVM_REDRAWITEMS, row, row);
}

// A server that has the players already counts as told: the player is
// looking at it.
void Watch()
{
    if (!WatchServer(Question.address, Question.port, Question.players)) {
        StatusMessage(L"No room for more watched servers: Config lists them.");
        return;
    }
    SaveServerLists();
    int record = FindServerRecord(Question.address, Question.port);
    int watch = FindWatchedServer(Question.address, Question.port);
    if (record != -1)
        WatchedServers[watch].told = ServerTable.records[record].playerCount >= Question.players;
    RedrawWatchedRow();
    StatusMessage(L"Watching %s for %d or more players.", Question.hostName, Question.players);
}

}  // namespace

void ShowWatchDialog(HINSTANCE instance, HWND owner)
{
    LPARAM record = ServerRowRecord(SelectedServerRow());
    if (!IsRecordIndex(record))
        return;
    const ServerRecord& server = ServerTable.records[record];
    Question.address = server.address;
    Question.port = server.port;
    lstrcpynW(Question.hostName, server.hostName, LongTextSize);
    Question.mostPlayers = MostPlayers(server);
    Question.players = FirstChoice(server);
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_WATCH_SERVER), owner, WatchDialogProc, 0) == IDOK)
        Watch();
}

INT_PTR CALLBACK WatchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        InitWatchDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK)
            ReadWatchDialog(dialog);
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

void FollowWatchedServer(int recordIndex)
{
    if (!IsRecordIndex(recordIndex))
        return;
    const ServerRecord& record = ServerTable.records[recordIndex];
    int watch = FindWatchedServer(record.address, record.port);
    if (watch == -1)
        return;
    WatchedServer& watched = WatchedServers[watch];
    if (record.playerCount < watched.players) {
        watched.told = false;
        return;
    }
    if (watched.told)
        return;
    watched.told = true;
    wchar_t line[StatusTextSize];
    if (record.maxClients > 0)
        FormatText(line, StatusTextSize, L"%s: %d of %d players.", record.hostName, record.playerCount,
                   record.maxClients);
    else
        FormatText(line, StatusTextSize, L"%s: %d players.", record.hostName, record.playerCount);
    AddServerNews(record, line);
}

void FormatWatchedServer(int watch, wchar_t* text, int textSize)
{
    const WatchedServer& watched = WatchedServers[watch];
    wchar_t address[ServerAddressTextSize];
    FormatServerAddress(watched.address, watched.port, address, ServerAddressTextSize);
    int record = FindServerRecord(watched.address, watched.port);
    if (record != -1 && ServerTable.records[record].hostName[0] != L'\0')
        FormatText(text, textSize, L"%s (%s): %d or more players", ServerTable.records[record].hostName, address,
                   watched.players);
    else
        FormatText(text, textSize, L"%s: %d or more players", address, watched.players);
}
