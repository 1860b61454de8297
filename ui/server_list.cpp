// The server list.
#include <winsock2.h>

#include "ui/server_list.h"

#include <stddef.h>
#include <stdlib.h>
#include <wchar.h>

#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_rows.h"
#include "ui/server_filter.h"
#include "ui/status_bar.h"

int VisibleServerCount;
int VisiblePlayerCount;
HWND ServerList;

const ColumnSpec ServerColumns[ServerColumnCount] = {
    {L"Host Name", 30, DisplayHostName, offsetof(ServerRecord, hostName), 0, 1},
    {L"IP Address", 20, DisplayAddress, offsetof(ServerRecord, address), 1, 0},
    {L"Map", 10, DisplayMap, offsetof(ServerRecord, mapName), 0, 1},
    {L"Players", 10, DisplayPlayers, offsetof(ServerRecord, playerCount), 1, -1},
    {L"AC", 5, DisplayAntiCheat, offsetof(ServerRecord, antiCheat), 1, 1},
    {L"Game Date", 15, DisplayGameDate, offsetof(ServerRecord, gameDate), 0, 1},
    {L"Ping", 10, DisplayPing, offsetof(ServerRecord, ping), 1, 1},
};

namespace {

// The single-precision hundredth the column widths are computed with.
const float Hundredth = 0.01f;
const int CellTextSize = 512;
const int PingColumn = 6;
// 1/686: the template's client width in pixels, as single precision.
const float WidthScale = 1.0f / 686;
const int ServerListTemplateWidth = 659;
// The pictograms' size at 96 DPI.
const int PictureWidth = 16;
const int PictureHeight = 14;

const int ServerImageIcons[] = {IDI_SERVER, IDI_PING_GOOD, IDI_PING_MEDIUM, IDI_PING_BAD,
                                IDI_LINUX,  IDI_WINDOWS,   IDI_FREEBSD,     IDI_MAC, IDI_PADLOCK,
                                IDI_EYE,    IDI_EYE_AND_PADLOCK};

HIMAGELIST ServerImages;
HIMAGELIST PlayerImages;

// A server selected once, to be selected again when it is listed again.
struct RememberedServer {
    bool set;
    DWORD address;
    WORD port;
    bool inView;  // its row was in view
};

// The server that was selected when an update began.
RememberedServer Awaited;

// The server last selected before a filter hid it: selected again when a
// filter lets it through, unless the player has selected another meanwhile.
RememberedServer HiddenSelection;

bool BuildServerColumns(HWND mainWindow)
{
    ServerList = GetDlgItem(mainWindow, IDC_SERVER_LIST);
    AttachServerRows(ServerList);
    // A repaint of the rows leaves the header out (it costs a third of the
    // repaint under Wine): the header paints itself when it changes.
    SetWindowLongW(ServerList, GWL_STYLE, GetWindowLongW(ServerList, GWL_STYLE) | WS_CLIPCHILDREN);
    float width = InnerListWidth(ServerList);
    SendMessageW(ServerList, LVM_SETEXTENDEDLISTVIEWSTYLE, 0,
                 LVS_EX_FULLROWSELECT | LVS_EX_SUBITEMIMAGES | LVS_EX_LABELTIP);
    for (int index = 0; index < ServerColumnCount; index++) {
        const ColumnSpec& column = ServerColumns[index];
        if (!InsertListColumn(ServerList, index, column.title, ColumnWidth(column.widthPercent, width)))
            return false;
        if (column.displayKind == DisplayPing)
            SortOrder = index;
    }
    return true;
}

// The icon's image of exactly the list's size, so none is stretched.
void AppendIcon(HIMAGELIST images, HINSTANCE instance, int iconId, int scale)
{
    HICON icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(iconId), IMAGE_ICON,
                                               PictureWidth * scale, PictureHeight * scale, 0));
    ImageList_ReplaceIcon(images, -1, icon);
    DestroyIcon(icon);
}

// Room the columns leave for the list's vertical scroll bar: at 96 DPI the
// 16 pixels they always have, at other scales the scroll bar's own width.
int ScrollBarAllowance(UINT dpi)
{
    return dpi == BaseDpi ? 16 : MetricForDpi(SM_CXVSCROLL, dpi);
}

bool IsVisible(const ServerRecord& record)
{
    return WhyHidden(record) == NotHidden;
}

// Lists the record at this row; its system icon is fixed now. Counted only
// when memory was found for it.
void InsertRow(int position, int recordIndex)
{
    const ServerRecord& record = ServerTable.records[recordIndex];
    if (!InsertListedRow(position, recordIndex, OsIconIndex(record.version)))
        return;
    VisibleServerCount = ListedRowCount();
    VisiblePlayerCount += record.playerCount;
}

// The row before which a record goes to keep the list in SortOrder: after
// every row it does not sort before. The list is always kept sorted, so a
// binary search finds the same order as appending and sorting the whole list
// again, at a cost that hardly grows with the number of rows.
int SortedPosition(int recordIndex)
{
    int low = 0;
    int high = VisibleServerCount;
    while (low < high) {
        int middle = low + (high - low) / 2;
        if (CompareServers(recordIndex, ListedRowAt(middle)->record, SortOrder) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    return low;
}

int SortColumnOf(LPARAM sortValue)
{
    int column = static_cast<int>(sortValue & ~static_cast<LPARAM>(ReverseSortFlag));
    // A stored order outside the table sorts like the Ping column.
    return column >= 0 && column < ServerColumnCount ? column : PingColumn;
}


void SortByOrder(DWORD order)
{
    SortListedRows(CompareServers, order);
}

// Whether a row at this position would show in the list as it is scrolled.
bool RowInView(int position)
{
    int top = static_cast<int>(SendMessageW(ServerList, LVM_GETTOPINDEX, 0, 0));
    int rows = static_cast<int>(SendMessageW(ServerList, LVM_GETCOUNTPERPAGE, 0, 0));
    return position <= top + rows;
}

bool IsListable(int recordIndex)
{
    const ServerRecord& record = ServerTable.records[recordIndex];
    return record.offered && IsVisible(record);
}

int SystemImageOf(int recordIndex)
{
    return OsIconIndex(ServerTable.records[recordIndex].version);
}

void CountListedRows()
{
    VisibleServerCount = ListedRowCount();
    VisiblePlayerCount = 0;
    for (int row = 0; row < VisibleServerCount; row++) {
        int record = ListedRowAt(row)->record;
        if (IsRecordIndex(record))
            VisiblePlayerCount += ServerTable.records[record].playerCount;
    }
}

// Records whose offer has been carried out and that the filters let through.
// Only offered records count: a record still being parsed has `responded`
// set but is not offered yet, and its offer will list it.
int CountListable()
{
    int listable = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        if (IsListable(index))
            listable++;
    }
    return listable;
}

int ByPingThresholds(DWORD ping)
{
    if (ping <= static_cast<DWORD>(GoodPing))
        return ImagePingGood;
    if (ping <= static_cast<DWORD>(MediumPing))
        return ImagePingMedium;
    return ImagePingBad;
}

// Writes the text of one cell.
void CellText(const ServerRecord& record, DisplayKind kind, wchar_t* cell, int cellSize)
{
    switch (kind) {
    case DisplayMap: lstrcpynW(cell, record.mapName, cellSize); break;
    case DisplayTimeLimit: FormatText(cell, cellSize, L"%d", record.timeLimit); break;
    case DisplayGameName: lstrcpynW(cell, record.gameName, cellSize); break;
    case DisplayHostName: lstrcpynW(cell, record.hostName, cellSize); break;
    case DisplayAntiCheat: FormatText(cell, cellSize, L"%d", record.antiCheat); break;
    case DisplayGameDate: lstrcpynW(cell, record.gameDate, cellSize); break;
    case DisplayVersion: lstrcpynW(cell, record.version, cellSize); break;
    case DisplayAddress: FormatServerAddress(record.address, record.port, cell, cellSize); break;
    case DisplayPlayers: FormatText(cell, cellSize, L"%d / %d", record.playerCount, record.maxClients); break;
    case DisplayPing: FormatText(cell, cellSize, L"%d", record.ping); break;
    }
}

}  // namespace

wchar_t FoldedLetter(wchar_t letter)
{
    return letter >= L'A' && letter <= L'Z' ? static_cast<wchar_t>(letter + (L'a' - L'A')) : letter;
}

bool ContainsFoldedText(const wchar_t* text, const wchar_t* part)
{
    for (; *text != L'\0'; text++) {
        int length = 0;
        while (part[length] != L'\0' && FoldedLetter(text[length]) == FoldedLetter(part[length]))
            length++;
        if (part[length] == L'\0')
            return true;
    }
    return false;
}

int CompareFoldedText(const wchar_t* a, const wchar_t* b)
{
    for (;; a++, b++) {
        wchar_t x = FoldedLetter(*a);
        wchar_t y = FoldedLetter(*b);
        if (x != y || x == L'\0')
            return CompareNumbers(x, y);
    }
}

void BuildDialogListColumns(HWND list, const ListColumn* columns, int count)
{
    SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
    RECT client;
    GetClientRect(list, &client);
    int width = client.right - MetricForDpi(SM_CXVSCROLL, DpiOfWindow(list));
    for (int column = 0; column < count; column++)
        InsertListColumn(list, column, columns[column].title, width * columns[column].widthPercent / 100);
}

int ColumnWidth(int widthPercent, float listWidth)
{
    return static_cast<int>(widthPercent * static_cast<double>(Hundredth) * listWidth);
}

float InnerListWidth(HWND list)
{
    RECT client;
    GetClientRect(list, &client);
    return static_cast<float>(client.right - client.left - ScrollBarAllowance(WindowDpi));
}

int ResizedListMargin()
{
    return ScrollBarAllowance(WindowDpi) + ScaleToDpi(4, WindowDpi);
}

bool InsertListColumn(HWND list, int index, const wchar_t* title, int width)
{
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_TEXT | LVCF_SUBITEM | LVCF_WIDTH;
    column.fmt = LVCFMT_LEFT;
    column.pszText = const_cast<wchar_t*>(title);
    column.iSubItem = index;
    column.cx = width;
    return SendMessageW(list, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column)) != -1;
}

void SetListColumnWidth(HWND list, int column, int width)
{
    // A window narrower than the list's margins would give negative widths.
    SendMessageW(list, LVM_SETCOLUMNWIDTH, column, MAKELPARAM(width > 0 ? width : 0, 0));
}

HWND CreateBrowserViews(HWND mainWindow, HINSTANCE instance)
{
    if (!BuildServerColumns(mainWindow) || !BuildPlayerColumns(mainWindow))
        return nullptr;
    CreateStatusBar(mainWindow, instance);
    CreateListImages(ServerList, instance);
    CreateFavouriteFont(ServerList);
    SendMessageW(ServerList, LVM_SETCALLBACKMASK, LVIS_OVERLAYMASK, 0);
    return ServerList;
}

void CreateListImages(HWND serverList, HINSTANCE instance)
{
    int scale = PictureScale(WindowDpi);
    HIMAGELIST oldServerImages = ServerImages;
    HIMAGELIST oldPlayerImages = PlayerImages;
    ServerImages = ImageList_Create(PictureWidth * scale, PictureHeight * scale, ILC_COLOR32 | ILC_MASK, 8, 0);
    PlayerImages = ImageList_Create(PictureWidth * scale, PictureHeight * scale, ILC_MASK, 1, 0);
    for (int iconId : ServerImageIcons)
        AppendIcon(ServerImages, instance, iconId, scale);
    ImageList_SetOverlayImage(ServerImages, ImagePadlock, PadlockOverlay);
    ImageList_SetOverlayImage(ServerImages, ImageEye, EyeOverlay);
    ImageList_SetOverlayImage(ServerImages, ImageEyeAndPadlock, EyeAndPadlockOverlay);
    AppendIcon(PlayerImages, instance, IDI_PLAYER, scale);
    SendMessageW(serverList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(ServerImages));
    SendMessageW(PlayerList, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(PlayerImages));
    // The lists share their images and do not own them.
    if (oldServerImages != nullptr)
        ImageList_Destroy(oldServerImages);
    if (oldPlayerImages != nullptr)
        ImageList_Destroy(oldPlayerImages);
}

LPARAM ServerRowRecord(int item)
{
    const ListedRow* row = ListedRowAt(item);
    return row != nullptr ? row->record : -1;
}

int OsIconIndex(const wchar_t* version)
{
    wchar_t* lower = _wcsdup(version);
    if (lower == nullptr)
        return ImageUnknownSystem;
    for (wchar_t* character = lower; *character != L'\0'; character++) {
        if (*character >= L'A' && *character <= L'Z')
            *character += L'a' - L'A';
    }
    int image = ImageUnknownSystem;
    if (wcsstr(lower, L"linux"))
        image = ImageLinux;
    // Before the Windows test: "darwin" contains "win".
    else if (wcsstr(lower, L"darwin") || wcsstr(lower, L"macos"))
        image = ImageMac;
    else if (wcsstr(lower, L"mingw") || wcsstr(lower, L"win") || wcsstr(lower, L"msvc"))
        image = ImageWindows;
    else if (wcsstr(lower, L"freebsd"))
        image = ImageFreeBsd;
    else if (wcsstr(lower, L"osx") || wcsstr(lower, L"ppc"))
        image = ImageMac;
    free(lower);
    return image;
}

int CALLBACK CompareServers(LPARAM recordA, LPARAM recordB, LPARAM sortValue)
{
    if (!IsRecordIndex(recordA) || !IsRecordIndex(recordB))
        return 0;
    const ColumnSpec& column = ServerColumns[SortColumnOf(sortValue)];
    int direction = (sortValue & ReverseSortFlag) ? -1 : 1;
    const char* a = reinterpret_cast<const char*>(&ServerTable.records[recordA]) + column.sortField;
    const char* b = reinterpret_cast<const char*>(&ServerTable.records[recordB]) + column.sortField;
    int order = column.numeric ? CompareNumbers(*reinterpret_cast<const int*>(a), *reinterpret_cast<const int*>(b))
                             : CompareFoldedText(reinterpret_cast<const wchar_t*>(a), reinterpret_cast<const wchar_t*>(b));
    return order * column.sortWeight * direction;
}

namespace {

// A row shows one overlay: the padlock, the eye, or both in one picture.
int OverlayOf(const ServerRecord& record)
{
    bool locked = (record.needPass & NeedsPlayerPassword) != 0;
    if (FindWatchedServer(record.address, record.port) == -1)
        return locked ? PadlockOverlay : 0;
    return locked ? EyeAndPadlockOverlay : EyeOverlay;
}

}  // namespace

void GetServerCell(NMLVDISPINFOW* request)
{
    LVITEMW& item = request->item;
    const ListedRow* row = ListedRowAt(item.iItem);
    if (static_cast<unsigned>(item.iSubItem) >= ServerColumnCount || row == nullptr)
        return;
    // The list holds no images either: the first column shows the system,
    // the Ping column its icon, the others none.
    if (item.mask & LVIF_IMAGE)
        item.iImage = item.iSubItem == 0 ? row->image : -1;
    if (!IsRecordIndex(row->record))
        return;
    const ServerRecord& record = ServerTable.records[row->record];
    // The list asks for the overlay, which it keeps no more than the rest.
    if ((item.mask & LVIF_STATE) && item.iSubItem == 0) {
        item.state = (item.state & ~LVIS_OVERLAYMASK) | INDEXTOOVERLAYMASK(OverlayOf(record));
        item.stateMask |= LVIS_OVERLAYMASK;
    }
    DisplayKind kind = ServerColumns[item.iSubItem].displayKind;
    if ((item.mask & LVIF_TEXT) && item.pszText != nullptr && item.cchTextMax > 0) {
        wchar_t cell[CellTextSize];
        cell[0] = L'\0';
        CellText(record, kind, cell, CellTextSize);
        lstrcpynW(item.pszText, cell, item.cchTextMax);
    }
    if (kind == DisplayPing) {
        item.mask |= LVIF_IMAGE;
        item.iImage = ByPingThresholds(record.ping);
    }
}

void AwaitSelectedServer()
{
    Awaited.set = false;
    int row = SelectedServerRow();
    LPARAM record = ServerRowRecord(row);
    if (!IsRecordIndex(record))
        return;
    int top = static_cast<int>(SendMessageW(ServerList, LVM_GETTOPINDEX, 0, 0));
    int rows = static_cast<int>(SendMessageW(ServerList, LVM_GETCOUNTPERPAGE, 0, 0));
    Awaited = {true, ServerTable.records[record].address, ServerTable.records[record].port,
               row >= top && row <= top + rows};
}

void ForgetRememberedSelections()
{
    Awaited.set = false;
    HiddenSelection.set = false;
}

void ListOfferedServer(int recordIndex)
{
    if (!IsRecordIndex(recordIndex))
        return;
    ServerRecord& record = ServerTable.records[recordIndex];
    record.offered = 1;
    if (!IsVisible(record))
        return;
    int position = SortedPosition(recordIndex);
    HoldListPainting(RowInView(position));
    InsertRow(position, recordIndex);
    if (Awaited.set && Awaited.address == record.address && Awaited.port == record.port &&
        RowOfRecord(recordIndex) == position) {
        bool scroll = Awaited.inView;
        SelectServerRow(position);
        if (scroll)
            SendMessageW(ServerList, LVM_ENSUREVISIBLE, position, FALSE);
    }
}

bool TakeAppendedServers(const ServerAddress* servers, int count)
{
    if (AppendServerRecords(servers, count) == -1)
        return false;
    // The player list points into the table, which has moved.
    FillPlayerList();
    return true;
}

HidingReason WhyHiddenBeforeTheLine(const ServerRecord& record)
{
    if (record.silentRefreshes >= SilentRefreshesBeforeHiding)
        return HiddenAsSilent;
    if (!ShowFull && CountsAsFull(record))
        return HiddenAsFull;
    if (!ShowEmpty && record.playerCount == 0)
        return HiddenAsEmpty;
    if (!WithinPingLimit(record))
        return HiddenByPingLimit;
    return NotHidden;
}

HidingReason WhyHidden(const ServerRecord& record)
{
    HidingReason reason = WhyHiddenBeforeTheLine(record);
    if (reason == NotHidden && !MatchesFilterLine(record))
        return HiddenByFilterLine;
    return reason;
}

int RowOfRecord(int recordIndex)
{
    return RowOfListedRecord(recordIndex);
}

int FindServerRow(const NMLVFINDITEMW* find)
{
    const LVFINDINFOW& wanted = find->lvfi;
    if (!(wanted.flags & (LVFI_STRING | LVFI_PARTIAL)) || wanted.psz == nullptr || VisibleServerCount == 0)
        return -1;
    int length = lstrlenW(wanted.psz);
    int start = find->iStart >= 0 && find->iStart < VisibleServerCount ? find->iStart : 0;
    int rows = (wanted.flags & LVFI_WRAP) ? VisibleServerCount : VisibleServerCount - start;
    for (int step = 0; step < rows; step++) {
        int row = (start + step) % VisibleServerCount;
        LPARAM record = ServerRowRecord(row);
        if (IsRecordIndex(record) &&
            _wcsnicmp(ServerTable.records[record].hostName, wanted.psz, length) == 0)
            return row;
    }
    return -1;
}

int SelectedServerRow()
{
    return SelectedListedRow();
}

void SelectServerRow(int row)
{
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(ServerList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
}

void ShowServerRow(int row)
{
    SelectServerRow(row);
    SendMessageW(ServerList, LVM_ENSUREVISIBLE, row, FALSE);
}

namespace {

// The player may have marked it a favourite since the refresh read it; the
// window keeps its own copy of the info string.
void TakeFreshRecord(int recordIndex, const ServerRecord& fresh)
{
    ServerRecord& record = ServerTable.records[recordIndex];
    int favourite = record.favourite;
    char* replacedInfo = record.info;
    record = fresh;
    record.favourite = favourite;
    record.silentRefreshes = 0;
    record.info = KeepStatusInfo(fresh.info);
    if (replacedInfo != nullptr)
        HeapFree(GetProcessHeap(), 0, replacedInfo);
}

// The changed records' rows move to their places, or go or come; the rest
// keep theirs, and the selection its server. The player list is filled
// again when the selected server changed or is one of them.
void RelistRecords(const int* recordIndexes, int count)
{
    LPARAM selected = ServerRowRecord(SelectedServerRow());
    int top = static_cast<int>(SendMessageW(ServerList, LVM_GETTOPINDEX, 0, 0));
    int rows = static_cast<int>(SendMessageW(ServerList, LVM_GETCOUNTPERPAGE, 0, 0));
    // A batch out of a long list seldom changes the rows in view: the list is
    // then repainted at the slower pace, as for an update's rows below it.
    HoldListPainting(false);
    bool inView = false;
    RelistChangedRecords(recordIndexes, count, ServerTable.count, IsListable, SystemImageOf, CompareServers,
                         SortOrder, top + rows, &inView);
    if (inView)
        HoldListPainting(true);
    CountListedRows();
    bool refill = ServerRowRecord(SelectedServerRow()) != selected;
    for (int index = 0; index < count && !refill; index++)
        refill = recordIndexes[index] == selected;
    if (refill)
        FillPlayerList();
    RefreshCounts();
}

}  // namespace

void ShowReplacedServers(const int* recordIndexes, const ServerRecord* fresh, int count)
{
    for (int index = 0; index < count; index++) {
        if (IsRecordIndex(recordIndexes[index]))
            TakeFreshRecord(recordIndexes[index], fresh[index]);
    }
    RelistRecords(recordIndexes, count);
}

void ShowSilentServers(const int* recordIndexes, int count)
{
    for (int index = 0; index < count; index++) {
        if (IsRecordIndex(recordIndexes[index]) &&
            ServerTable.records[recordIndexes[index]].silentRefreshes < SilentRefreshesBeforeHiding)
            ServerTable.records[recordIndexes[index]].silentRefreshes++;
    }
    RelistRecords(recordIndexes, count);
    SendMessageW(ServerList, LVM_REDRAWITEMS, 0, VisibleServerCount);
}

void SortServersByColumn(int column)
{
    DWORD order = column;
    if (order == SortOrder)
        order += ReverseSortFlag;
    PaintHeldChanges();
    SortByOrder(order);
    SortOrder = order;
    ShowSortArrow();
}

void ShowSortArrow()
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0));
    int sorted = SortColumnOf(SortOrder);
    int way = ServerColumns[sorted].sortWeight * ((SortOrder & ReverseSortFlag) ? -1 : 1);
    for (int index = 0; index < ServerColumnCount; index++) {
        HDITEMW heading = {};
        heading.mask = HDI_FORMAT;
        if (!SendMessageW(header, HDM_GETITEMW, index, reinterpret_cast<LPARAM>(&heading)))
            continue;
        int shown = heading.fmt;
        heading.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
        if (index == sorted && way != 0)
            heading.fmt |= way > 0 ? HDF_SORTUP : HDF_SORTDOWN;
        // Each change repaints the header: only the headings that change.
        if (heading.fmt != shown)
            SendMessageW(header, HDM_SETITEMW, index, reinterpret_cast<LPARAM>(&heading));
    }
}

void ApplyServerFilters()
{
    ShowEmpty = IsDlgButtonChecked(MainWindow, IDC_SHOW_EMPTY) == BST_CHECKED;
    ShowFull = IsDlgButtonChecked(MainWindow, IDC_SHOW_FULL) == BST_CHECKED;
    // A box only adds servers or only takes some away: the same count is the
    // same rows.
    if (CountListable() == VisibleServerCount)
        return;
    RefilterServers();
}

void RefilterServers()
{
    // Short of memory the rows stay as they are, and the counts with them.
    HoldListPainting(true);
    LPARAM selected = ServerRowRecord(SelectedServerRow());
    if (IsRecordIndex(selected))
        HiddenSelection = {true, ServerTable.records[selected].address, ServerTable.records[selected].port, false};
    RefilterListedRows(ServerTable.count, IsListable, SystemImageOf, CompareServers, SortOrder);
    CountListedRows();
    LPARAM shown = ServerRowRecord(SelectedServerRow());
    if (shown == -1 && HiddenSelection.set) {
        int record = FindServerRecord(HiddenSelection.address, HiddenSelection.port);
        int row = record != -1 ? RowOfRecord(record) : -1;
        if (row != -1)
            SelectServerRow(row);
        shown = ServerRowRecord(SelectedServerRow());
    }
    if (shown != selected)
        FillPlayerList();
    RefreshCounts();
    SendMessageW(ServerList, LVM_REDRAWITEMS, 0, VisibleServerCount);
    PaintHeldChanges();
}

void ResizeListColumns(WORD clientWidth)
{
    // The header paints its new widths itself only while the list shows.
    PaintHeldChanges();
    float scale = static_cast<float>(clientWidth * static_cast<double>(WidthScale));
    float listWidth = static_cast<float>(static_cast<double>(scale) * ServerListTemplateWidth - ResizedListMargin());
    for (int index = 0; index < ServerColumnCount; index++)
        SetListColumnWidth(ServerList, index, ColumnWidth(ServerColumns[index].widthPercent, listWidth));
    ResizePlayerColumns(scale);
}

void ClearServerViews()
{
    PaintHeldChanges();
    ClearListedRows();
    SendMessageW(PlayerList, LVM_DELETEALLITEMS, 0, 0);
    VisibleServerCount = ListedRowCount();
    VisiblePlayerCount = 0;
}

void OfferServers(const int* recordIndexes, int count)
{
    DropWaitingProgress();
    SendMessageW(MainWindow, WM_OFFER_SERVERS, count, reinterpret_cast<LPARAM>(recordIndexes));
}

bool AppendServers(const ServerAddress* servers, int count)
{
    return SendMessageW(MainWindow, WM_APPEND_SERVERS, count, reinterpret_cast<LPARAM>(servers)) != 0;
}

void ReplaceServerRecords(const int* recordIndexes, const ServerRecord* fresh, int count)
{
    DropWaitingProgress();
    ReplacedRecords replaced = {recordIndexes, fresh, count};
    SendMessageW(MainWindow, WM_REPLACE_SERVER_RECORDS, 0, reinterpret_cast<LPARAM>(&replaced));
}

void NoteSilentServers(const int* recordIndexes, int count)
{
    SendMessageW(MainWindow, WM_NOTE_SILENT_SERVERS, count, reinterpret_cast<LPARAM>(recordIndexes));
}

void ResetServerViews()
{
    SendMessageW(MainWindow, WM_RESET_SERVER_VIEWS, 0, 0);
}

int CompareNumbers(int x, int y)
{
    return x < y ? -1 : (x > y ? 1 : 0);
}

void EnterServerList()
{
    SetFocus(ServerList);
    if (SelectedServerRow() == -1 && VisibleServerCount > 0)
        ShowServerRow(0);
}
