// The player list and buddy highlighting.
#include "ui/player_list.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_text.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/server_list.h"

HFONT FavouriteFont;
wchar_t (*BuddyNames)[BuddyNameSize];
int BuddyCount;
HWND PlayerList;

namespace {

const ListColumn PlayerColumns[] = {{L"Name", 50}, {L"Score", 25}, {L"Ping", 25}};
const int PlayerColumnCount = 3;
const int PlayerListTemplateWidth = 296;
const float CompactShare = 0.33f;
const int CellTextSize = 512;
// Room around a name in the names view, at 96 DPI.
const int NamePadding = 12;

// The names view's column as the window's width gives it.
int CompactWidth;

const PlayerEntry* EntryOf(HWND list, int item)
{
    LVITEMW row = {};
    row.mask = LVIF_PARAM;
    row.iItem = item;
    if (!SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&row)))
        return nullptr;
    return reinterpret_cast<const PlayerEntry*>(row.lParam);
}

bool RowHasBuddy(HWND list, int item)
{
    if (list == PlayerList) {
        const PlayerEntry* entry = EntryOf(list, item);
        return entry != nullptr && IsBuddy(entry->name);
    }
    LPARAM record = ServerRowRecord(item);
    return IsRecordIndex(record) && ServerHasBuddy(ServerTable.records[record]);
}

// One more slot than line ends is always enough.
int BuddySlotsNeeded(const wchar_t* text)
{
    int slots = 1;
    for (const wchar_t* character = text; *character != L'\0'; character++) {
        if (*character == L'\r' || *character == L'\n')
            slots++;
    }
    return slots;
}

// The names view's column: its share of the list, and wider where a name
// with its icon needs it, as the pictograms grow by whole steps and faster
// than the text.
void SizeNamesColumn()
{
    if (PlayerViewDetails)
        return;
    int width = CompactWidth;
    int iconWidth = 0;
    int iconHeight = 0;
    ImageList_GetIconSize(reinterpret_cast<HIMAGELIST>(SendMessageW(PlayerList, LVM_GETIMAGELIST, LVSIL_SMALL, 0)),
                          &iconWidth, &iconHeight);
    int rows = static_cast<int>(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; row++) {
        const PlayerEntry* entry = EntryOf(PlayerList, row);
        if (entry == nullptr)
            continue;
        int needed = static_cast<int>(SendMessageW(PlayerList, LVM_GETSTRINGWIDTHW, 0,
                                                   reinterpret_cast<LPARAM>(entry->name))) +
                     iconWidth + ScaleToDpi(NamePadding, WindowDpi);
        width = needed > width ? needed : width;
    }
    SetListColumnWidth(PlayerList, 0, width);
}

}  // namespace

bool BuildPlayerColumns(HWND mainWindow)
{
    PlayerList = GetDlgItem(mainWindow, IDC_PLAYER_LIST);
    SendMessageW(PlayerList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_LABELTIP);
    float width = InnerListWidth(PlayerList);
    for (int index = 0; index < PlayerColumnCount; index++) {
        if (!InsertListColumn(PlayerList, index, PlayerColumns[index].title,
                              ColumnWidth(PlayerColumns[index].widthPercent, width)))
            return false;
    }
    return true;
}

void FillPlayerList()
{
    SendMessageW(PlayerList, LVM_DELETEALLITEMS, 0, 0);
    int selected = SelectedServerRow();
    if (selected < 0)
        return;
    LPARAM record = ServerRowRecord(selected);
    if (!IsRecordIndex(record))
        return;
    ServerRecord& server = ServerTable.records[record];
    for (int index = 0; index < server.playerCount; index++) {
        LVITEMW row = {};
        row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
        row.iItem = index;
        row.pszText = LPSTR_TEXTCALLBACKW;
        row.lParam = reinterpret_cast<LPARAM>(&server.players[index]);
        SendMessageW(PlayerList, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row));
    }
    SizeNamesColumn();
}

void GetPlayerCell(NMLVDISPINFOW* request)
{
    LVITEMW& item = request->item;
    const PlayerEntry* entry = reinterpret_cast<const PlayerEntry*>(item.lParam);
    if (entry == nullptr || !(item.mask & LVIF_TEXT) || item.pszText == nullptr || item.cchTextMax <= 0)
        return;
    wchar_t cell[CellTextSize];
    switch (item.iSubItem) {
    case 0: lstrcpynW(cell, entry->name, CellTextSize); break;
    case 1: FormatText(cell, CellTextSize, L"%d", entry->score); break;
    case 2: FormatText(cell, CellTextSize, L"%d", entry->ping); break;
    default: return;
    }
    lstrcpynW(item.pszText, cell, item.cchTextMax);
}

int CALLBACK ComparePlayers(LPARAM entryA, LPARAM entryB, LPARAM column)
{
    const PlayerEntry* a = reinterpret_cast<const PlayerEntry*>(entryA);
    const PlayerEntry* b = reinterpret_cast<const PlayerEntry*>(entryB);
    switch (column) {
    case 0: return wcscmp(a->name, b->name);
    case 1: return -CompareNumbers(a->score, b->score);
    case 2: return CompareNumbers(a->ping, b->ping);
    default: return 0;
    }
}

void ShowPlayerRow(const PlayerEntry* player)
{
    LVFINDINFOW find = {};
    find.flags = LVFI_PARAM;
    find.lParam = reinterpret_cast<LPARAM>(player);
    int row = static_cast<int>(SendMessageW(PlayerList, LVM_FINDITEMW, -1, reinterpret_cast<LPARAM>(&find)));
    if (row == -1)
        return;
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(PlayerList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    SendMessageW(PlayerList, LVM_ENSUREVISIBLE, row, FALSE);
}

void TogglePlayerView()
{
    if (!IsXpOrLater)
        return;
    SendMessageW(PlayerList, LVM_SETVIEW, PlayerViewDetails ? LV_VIEW_SMALLICON : LV_VIEW_DETAILS, 0);
    PlayerViewDetails = PlayerViewDetails ? 0 : 1;
}

void ResizePlayerColumns(float scale)
{
    float width = static_cast<float>(static_cast<double>(scale) * PlayerListTemplateWidth - ResizedListMargin());
    if (PlayerViewDetails) {
        for (int index = 0; index < PlayerColumnCount; index++)
            SetListColumnWidth(PlayerList, index, ColumnWidth(PlayerColumns[index].widthPercent, width));
        return;
    }
    CompactWidth = static_cast<int>(static_cast<double>(width) * CompactShare);
    SizeNamesColumn();
}

void ParseBuddyList()
{
    BuddyCount = 0;
    if (BuddyText == nullptr || BuddyText[0] == L'\0')
        return;
    if (BuddyNames != nullptr)
        HeapFree(GetProcessHeap(), 0, BuddyNames);
    BuddyNames = static_cast<wchar_t(*)[BuddyNameSize]>(
        HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, BuddySlotsNeeded(BuddyText) * sizeof(*BuddyNames)));
    wchar_t* copy = _wcsdup(BuddyText);
    if (BuddyNames == nullptr || copy == nullptr) {
        free(copy);
        return;
    }
    wchar_t name[BuddyNameSize];
    int length = 0;
    for (const wchar_t* character = copy;; character++) {
        if (*character == L'\r' || *character == L'\n' || *character == L'\0') {
            if (length > 0) {
                name[length] = L'\0';
                FoldTypedName(name, BuddyNames[BuddyCount++], BuddyNameSize);
                length = 0;
            }
            if (*character == L'\0')
                break;
        } else if (length < BuddyNameSize - 1) {
            name[length++] = *character;
        }
    }
    free(copy);
}

bool IsBuddy(const wchar_t* playerName)
{
    for (int index = 0; index < BuddyCount; index++) {
        if (_wcsicmp(playerName, BuddyNames[index]) == 0 || wcsstr(playerName, BuddyNames[index]) != nullptr)
            return true;
    }
    return false;
}

bool ServerHasBuddy(const ServerRecord& record)
{
    if (BuddyCount == 0)
        return false;
    for (int index = 0; index < record.playerCount && index < MaxPlayers; index++) {
        if (IsBuddy(record.players[index].name))
            return true;
    }
    return false;
}

void CreateFavouriteFont(HWND serverList)
{
    LOGFONTW face = {};
    HFONT listFont = reinterpret_cast<HFONT>(SendMessageW(serverList, WM_GETFONT, 0, 0));
    if (listFont == nullptr)
        listFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    GetObjectW(listFont, sizeof(face), &face);
    face.lfWeight = FW_BOLD;
    if (FavouriteFont != nullptr)
        DeleteObject(FavouriteFont);
    FavouriteFont = CreateFontIndirectW(&face);
}

bool IsFavouriteRecord(LPARAM recordIndex)
{
    return IsRecordIndex(recordIndex) && ServerTable.records[recordIndex].favourite;
}

bool IsSilentRecord(LPARAM recordIndex)
{
    return IsRecordIndex(recordIndex) && ServerTable.records[recordIndex].silentRefreshes > 0;
}

// The list colours only the text behind each cell: a buddy's row is made
// yellow first, and its pictograms are drawn on the list's background
// colour, which is yellow while the row is drawn. A selected row keeps the
// selection's colours.
COLORREF BackgroundBeforeBuddyRow = CLR_NONE;

void BeginBuddyRow(HWND list, int item, HDC context)
{
    if (SendMessageW(list, LVM_GETITEMSTATE, item, LVIS_SELECTED) & LVIS_SELECTED)
        return;
    RECT row = {};
    row.left = LVIR_BOUNDS;
    if (SendMessageW(list, LVM_GETITEMRECT, item, reinterpret_cast<LPARAM>(&row))) {
        SetDCBrushColor(context, BuddyBackground);
        FillRect(context, &row, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
    }
    BackgroundBeforeBuddyRow = static_cast<COLORREF>(SendMessageW(list, LVM_GETBKCOLOR, 0, 0));
    SendMessageW(list, LVM_SETBKCOLOR, 0, BuddyBackground);
}

void EndBuddyRow(HWND list)
{
    if (BackgroundBeforeBuddyRow == CLR_NONE)
        return;
    SendMessageW(list, LVM_SETBKCOLOR, 0, BackgroundBeforeBuddyRow);
    BackgroundBeforeBuddyRow = CLR_NONE;
}

LRESULT CustomDrawList(HWND list, NMLVCUSTOMDRAW* draw)
{
    int item = static_cast<int>(draw->nmcd.dwItemSpec);
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        if (RowHasBuddy(list, item)) {
            draw->clrTextBk = BuddyBackground;
            if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT)
                BeginBuddyRow(list, item, draw->nmcd.hdc);
        }
        // A server that did not answer the last refresh of the list shows
        // what it said before, in the colour of text that does not apply.
        if (list == ServerList && IsSilentRecord(ServerRowRecord(item)))
            draw->clrText = GetSysColor(COLOR_GRAYTEXT);
        if (list == ServerList && FavouriteFont != nullptr && IsFavouriteRecord(ServerRowRecord(item))) {
            SelectObject(draw->nmcd.hdc, FavouriteFont);
            return CDRF_NOTIFYPOSTPAINT | CDRF_NEWFONT;
        }
        return CDRF_NOTIFYPOSTPAINT;
    case CDDS_ITEMPOSTPAINT:
        EndBuddyRow(list);
        return CDRF_DODEFAULT;
    default:
        return CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
    }
}
