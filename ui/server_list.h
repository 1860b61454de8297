// The server list: one row per answering server that the Full and Empty
// filters let through, its seven columns, its icons, and the building of both
// list views at start-up.
#pragma once

#include <windows.h>
#include <commctrl.h>

enum DisplayKind {
    DisplayMap = 1,
    DisplayTimeLimit = 2,
    DisplayGameName = 4,
    DisplayHostName = 5,
    DisplayAntiCheat = 6,
    DisplayGameDate = 7,
    DisplayVersion = 8,
    DisplayAddress = 9,
    DisplayPlayers = 10,
    DisplayPing = 11,
};

struct ServerAddress;
struct ServerRecord;

struct ColumnSpec {
    const wchar_t* title;
    int widthPercent;
    DisplayKind displayKind;
    size_t sortField;  // offset of the field in ServerRecord
    int numeric;
    int sortWeight;
};

const int ServerColumnCount = 7;
extern const ColumnSpec ServerColumns[ServerColumnCount];

enum ServerImage {
    ImageUnknownSystem,
    ImagePingGood,
    ImagePingMedium,
    ImagePingBad,
    ImageLinux,
    ImageWindows,
    ImageFreeBsd,
    ImageMac,
    ImagePadlock,  // laid over the system icon: the server needs a password
    ImageEye,      // the same: the player watches the server
    ImageEyeAndPadlock,
};

// The overlay numbers of the padlock, the eye and both in the server list's
// images.
const int PadlockOverlay = 1;
const int EyeOverlay = 2;
const int EyeAndPadlockOverlay = 3;

// The rows shown, and the players on them. The row count is always the
// server rows' own, taken after each change of the rows.
extern int VisibleServerCount;
extern int VisiblePlayerCount;

extern HWND ServerList;

// Builds the columns of both lists, the status bar and the image lists;
// returns the server list, or null when a column cannot be made.
HWND CreateBrowserViews(HWND mainWindow, HINSTANCE instance);
void CreateListImages(HWND serverList, HINSTANCE instance);

// The width of a column for a list width, with the list's single-precision
// arithmetic: a width that would come out whole is one pixel less.
int ColumnWidth(int widthPercent, float listWidth);

// Column helpers shared with the player list.
float InnerListWidth(HWND list);
// The pixels a resized list's columns leave for its borders and scroll bar.
int ResizedListMargin();
bool InsertListColumn(HWND list, int index, const wchar_t* title, int width);

// The columns of a dialog's report list, sharing the width beside its
// vertical scroll bar; the list selects whole rows and shows cut texts in tips.
struct ListColumn {
    const wchar_t* title;
    int widthPercent;
};
void BuildDialogListColumns(HWND list, const ListColumn* columns, int count);

// The list's text order, that of _wcsicmp while no locale is set: A to Z
// folded, then code units compared. Done here without the run-time's locale
// look-ups, since sorting ten thousand rows takes over a hundred thousand
// comparisons.
wchar_t FoldedLetter(wchar_t letter);
int CompareFoldedText(const wchar_t* a, const wchar_t* b);
// Whether `part` occurs in `text`, letters A-Z in either case.
bool ContainsFoldedText(const wchar_t* text, const wchar_t* part);
// -1, 0 or 1 as `x` is below, equal to or above `y`: both lists sort by it.
int CompareNumbers(int x, int y);
void SetListColumnWidth(HWND list, int column, int width);

// The record index a row stands for, or -1 for no such row. It may lie beyond
// the table: callers check it against the count.
LPARAM ServerRowRecord(int item);

int OsIconIndex(const wchar_t* version);
int CALLBACK CompareServers(LPARAM recordA, LPARAM recordB, LPARAM sortValue);
void GetServerCell(NMLVDISPINFOW* request);
void SortServersByColumn(int column);

// The sorted column's heading shows the platform's sort arrow, pointing the
// way its rows run (none for a column whose rows keep their order); the
// other headings show none.
void ShowSortArrow();
void ApplyServerFilters();

// Lists again what the filters let through now, whatever the counts say:
// the filter line or the ping limit changed.
void RefilterServers();
void ResizeListColumns(WORD clientWidth);

// The row that lists the record at this index, or -1.
int RowOfRecord(int recordIndex);

// Typing in the list: the next row whose host name starts with the typed
// text, as a list that held its rows would find it; -1 for none.
int FindServerRow(const NMLVFINDITEMW* find);

// The selected row, or -1; selecting a row also gives it the focus.
int SelectedServerRow();
void SelectServerRow(int row);
// Selects the row and scrolls it into view.
void ShowServerRow(int row);

// The focus goes to the list, on its selected row, or on the first one
// when none is selected.
void EnterServerList();

// What keeps a record out of the list, asked in this order: silence through
// the last refreshes of the list, the Full box, the Empty box, the ping
// limit, the filter line; NotHidden when it is listed once offered.
enum HidingReason { NotHidden, HiddenAsFull, HiddenAsEmpty, HiddenByPingLimit, HiddenByFilterLine, HiddenAsSilent };
HidingReason WhyHidden(const ServerRecord& record);

// The same short of the filter line, whose words are not looked for: what
// the list would hide without it.
HidingReason WhyHiddenBeforeTheLine(const ServerRecord& record);

// An update is about to empty the list: the selected server is selected
// again when an answer lists it anew (scrolled into view only if it was in
// view), unless the player selects a row meanwhile.
void AwaitSelectedServer();
// The player selected a row: no server is awaited any more, and none that a
// filter hid is given back its selection.
void ForgetRememberedSelections();

// The UI thread's halves of the engine's OfferServers, AppendServers,
// ReplaceServerRecords, NoteSilentServers and ResetServerViews. An offer's
// caller shows the counts, once for a batch.
void ListOfferedServer(int recordIndex);
bool TakeAppendedServers(const ServerAddress* servers, int count);
void ShowReplacedServers(const int* recordIndexes, const ServerRecord* fresh, int count);
void ShowSilentServers(const int* recordIndexes, int count);
void ClearServerViews();
