// The "Find Player" dialog.
#include "ui/find_player.h"

#include <commctrl.h>

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/dialog_placement.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_list.h"

namespace {

// The box ("Full" or "Empty") that keeps the record out of the list, or null.
const wchar_t* HidingBox(const ServerRecord& record)
{
    switch (WhyHidden(record)) {
    case HiddenAsFull: return L"Full";
    case HiddenAsEmpty: return L"Empty";
    default: return nullptr;
    }
}

struct PlayerMatch {
    int record;
    int player;
};

// More would say nothing a narrower text does not; the rest are counted.
const int MaxMatches = 1000;
const UINT_PTR SearchTimerId = 1;
// The matches follow a running update at most this often.
const UINT SearchDelay = 200;
const int CellTextSize = LongTextSize + 32;

const ListColumn MatchColumns[] = {{L"Player", 32}, {L"Server", 44}, {L"Score", 12}, {L"Ping", 12}};
enum { PlayerColumn, ServerColumn, ScoreColumn, PingColumn };

HWND FindDialog;
// Set while the timer runs that looks for the matches again.
bool SearchPending;
PlayerMatch Matches[MaxMatches];
int MatchCount;
int FoundCount;
wchar_t Wanted[PlayerNameSize];
WNDPROC NameFieldProcBefore;

HWND MatchList()
{
    return GetDlgItem(FindDialog, IDC_FIND_MATCHES);
}

int SelectedMatch()
{
    return static_cast<int>(SendMessageW(MatchList(), LVM_GETNEXTITEM, -1, LVNI_SELECTED));
}

// Item -1 with `selected` false leaves no match selected.
void SelectMatch(int item, bool selected)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = selected ? LVIS_SELECTED | LVIS_FOCUSED : 0;
    SendMessageW(MatchList(), LVM_SETITEMSTATE, item, reinterpret_cast<LPARAM>(&state));
}

// The match's record and player, or null when the table no longer has them.
const ServerRecord* RecordOfMatch(const PlayerMatch& match)
{
    if (!IsRecordIndex(match.record))
        return nullptr;
    const ServerRecord* record = &ServerTable.records[match.record];
    return match.player < record->playerCount && match.player < MaxPlayers ? record : nullptr;
}

void SetStatus(const wchar_t* text)
{
    SetDlgItemTextW(FindDialog, IDC_FIND_STATUS, text);
}

void ShowCount()
{
    wchar_t text[StatusTextSize] = L"";
    if (Wanted[0] != L'\0' && FoundCount == 0)
        FormatText(text, StatusTextSize, L"No player found.");
    else if (FoundCount > MaxMatches)
        FormatText(text, StatusTextSize, L"%d players found; the first %d are listed.", FoundCount, MaxMatches);
    else if (FoundCount > 0)
        FormatText(text, StatusTextSize, L"%d player%s found.", FoundCount, FoundCount == 1 ? L"" : L"s");
    SetStatus(text);
}

// The list shows the matches anew; the match that was selected stays so,
// else the first is, as Show would take it.
void ShowMatches(PlayerMatch selected)
{
    SelectMatch(-1, false);
    SendMessageW(MatchList(), LVM_SETITEMCOUNT, MatchCount, LVSICF_NOSCROLL);
    int chosen = MatchCount > 0 ? 0 : -1;
    for (int item = 0; item < MatchCount; item++) {
        if (Matches[item].record == selected.record && Matches[item].player == selected.player) {
            chosen = item;
            break;
        }
    }
    if (chosen != -1)
        SelectMatch(chosen, true);
    InvalidateRect(MatchList(), nullptr, FALSE);
    ShowCount();
}

// Every answered server's players, in table order; the records are read
// without the lock, as every reader on the UI thread does.
void Search()
{
    int selectedItem = SelectedMatch();
    PlayerMatch selected = selectedItem >= 0 && selectedItem < MatchCount ? Matches[selectedItem] : PlayerMatch{-1, -1};
    MatchCount = 0;
    FoundCount = 0;
    for (int index = 0; Wanted[0] != L'\0' && index < ServerTable.count; index++) {
        const ServerRecord& record = ServerTable.records[index];
        if (!record.offered)
            continue;
        for (int player = 0; player < record.playerCount && player < MaxPlayers; player++) {
            if (!ContainsFoldedText(record.players[player].name, Wanted))
                continue;
            if (MatchCount < MaxMatches)
                Matches[MatchCount++] = {index, player};
            FoundCount++;
        }
    }
    ShowMatches(selected);
}

void MatchCell(NMLVDISPINFOW* request)
{
    LVITEMW& item = request->item;
    if (!(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    item.pszText[0] = L'\0';
    const ServerRecord* record = item.iItem >= 0 && item.iItem < MatchCount ? RecordOfMatch(Matches[item.iItem]) : nullptr;
    if (record == nullptr)
        return;
    const PlayerEntry& player = record->players[Matches[item.iItem].player];
    const wchar_t* hiding = HidingBox(*record);
    wchar_t cell[CellTextSize] = L"";
    switch (item.iSubItem) {
    case PlayerColumn: lstrcpynW(cell, player.name, CellTextSize); break;
    case ServerColumn:
        if (hiding != nullptr)
            FormatText(cell, CellTextSize, L"%s (hidden by %s)", record->hostName, hiding);
        else
            lstrcpynW(cell, record->hostName, CellTextSize);
        break;
    case ScoreColumn: FormatText(cell, CellTextSize, L"%d", player.score); break;
    case PingColumn: FormatText(cell, CellTextSize, L"%d", player.ping); break;
    }
    lstrcpynW(item.pszText, cell, item.cchTextMax);
}

// The chosen match's server is selected in the main window and its player
// in the player list; a server the filters hide is only named.
void ChooseMatch(HWND dialog)
{
    int item = SelectedMatch();
    if (item == -1 && MatchCount > 0)
        item = 0;
    const ServerRecord* record = item >= 0 && item < MatchCount ? RecordOfMatch(Matches[item]) : nullptr;
    if (record == nullptr)
        return;
    const wchar_t* hiding = HidingBox(*record);
    if (hiding != nullptr) {
        wchar_t text[StatusTextSize];
        FormatText(text, StatusTextSize, L"%s is hidden by the %s filter: tick %s to show it.", record->hostName,
                   hiding, hiding);
        SetStatus(text);
        return;
    }
    int row = RowOfRecord(Matches[item].record);
    if (row == -1) {
        wchar_t text[StatusTextSize];
        if (WhyHidden(*record) == HiddenByPingLimit)
            FormatText(text, StatusTextSize, L"%s is hidden by the ping limit of %d ms.", record->hostName,
                       static_cast<int>(MaximumPing));
        else
            FormatText(text, StatusTextSize, L"%s is hidden by the filter line.", record->hostName);
        SetStatus(text);
        return;
    }
    ShowServerRow(row);
    ShowPlayerRow(&record->players[Matches[item].player]);
    EndDialog(dialog, IDOK);
}

void StartSearch()
{
    GetDlgItemTextW(FindDialog, IDC_FIND_TEXT, Wanted, PlayerNameSize);
    Search();
}

// Down in the name field goes on into the matches, as from a search box.
LRESULT CALLBACK NameFieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_KEYDOWN:
        if (wParam != VK_DOWN || MatchCount == 0)
            return CallWindowProcW(NameFieldProcBefore, field, message, wParam, lParam);
        SetFocus(MatchList());
        return 0;
    default:
        return CallWindowProcW(NameFieldProcBefore, field, message, wParam, lParam);
    }
}

// The chosen match keeps the highlight's colours while the name field has
// the focus, where the list would draw it faintly.
LRESULT DrawMatch(NMLVCUSTOMDRAW* draw)
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        if (GetFocus() != MatchList() && (draw->nmcd.uItemState & CDIS_SELECTED)) {
            draw->nmcd.uItemState &= ~CDIS_SELECTED;
            draw->clrText = GetSysColor(COLOR_HIGHLIGHTTEXT);
            draw->clrTextBk = GetSysColor(COLOR_HIGHLIGHT);
        }
        return CDRF_DODEFAULT;
    default:
        return CDRF_DODEFAULT;
    }
}

INT_PTR RouteMatchNotification(HWND dialog, NMHDR* header)
{
    if (header->idFrom != IDC_FIND_MATCHES)
        return FALSE;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        MatchCell(reinterpret_cast<NMLVDISPINFOW*>(header));
        return TRUE;
    case NM_DBLCLK:
        ChooseMatch(dialog);
        return TRUE;
    case NM_CUSTOMDRAW:
        SetWindowLongPtrW(dialog, DWLP_MSGRESULT, DrawMatch(reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void ShowFindPlayerDialog(HINSTANCE instance, HWND owner)
{
    PaintHeldChanges();
    if (DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_FIND_PLAYER), owner, FindPlayerDialogProc, 0) == IDOK)
        // The player list shows its selection while it has the focus: the
        // chosen player is seen selected; the server list always shows its.
        SetFocus(PlayerList);
}

INT_PTR CALLBACK FindPlayerDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        FindDialog = dialog;
        SearchPending = false;
        MatchCount = 0;
        FoundCount = 0;
        Wanted[0] = L'\0';
        SendDlgItemMessageW(dialog, IDC_FIND_TEXT, EM_LIMITTEXT, PlayerNameSize - 1, 0);
        BuildDialogListColumns(MatchList(), MatchColumns, sizeof(MatchColumns) / sizeof(MatchColumns[0]));
        NameFieldProcBefore = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(dialog, IDC_FIND_TEXT), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(NameFieldProc)));
        CentreOverOwner(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_FIND_TEXT && HIWORD(wParam) == EN_CHANGE)
            StartSearch();
        else if (LOWORD(wParam) == IDOK)
            ChooseMatch(dialog);
        else if (LOWORD(wParam) == IDCANCEL)
            EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_NOTIFY:
        return RouteMatchNotification(dialog, reinterpret_cast<NMHDR*>(lParam));
    case WM_TIMER:
        if (wParam == SearchTimerId) {
            KillTimer(dialog, SearchTimerId);
            SearchPending = false;
            Search();
        }
        return TRUE;
    case WM_DESTROY:
        FindDialog = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void FindPlayerFollowTable(bool replaced)
{
    if (FindDialog == nullptr)
        return;
    // Offers that come faster than the delay must not keep putting the
    // search off: the first one starts the timer, and it is left to fire.
    if (!replaced) {
        if (!SearchPending)
            SearchPending = SetTimer(FindDialog, SearchTimerId, SearchDelay, nullptr) != 0;
        return;
    }
    MatchCount = 0;
    FoundCount = 0;
    ShowMatches(PlayerMatch{-1, -1});
}
