// The server list: cells, icons, sorting, the Full and Empty filters, the
// column widths, and re-filters in the gaps of a running update.
#include <winsock2.h>

#include <commctrl.h>

#include <algorithm>
#include <set>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

enum Column { HostColumn, AddressColumn, MapColumn, PlayersColumn, AntiCheatColumn, DateColumn, PingColumn };

class ServerListTest : public ServerViewsTest {
protected:
    void SetUp() override
    {
        ShowFull = ShowEmpty = 1;
        GoodPing = 100;
        MediumPing = 200;
        PlayerViewDetails = 0;
        ServerViewsTest::SetUp();
    }

    void ClickHeader(int column) { NotifyMainWindow(ServerList, IDC_SERVER_LIST, LVN_COLUMNCLICK, column); }

    std::vector<std::wstring> HostColumnText()
    {
        std::vector<std::wstring> hosts;
        int rows = static_cast<int>(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; row++)
            hosts.push_back(CellText(ServerList, row, HostColumn));
        return hosts;
    }

    std::wstring StatusPart(int part)
    {
        wchar_t text[1100];
        SendMessageW(StatusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
        return text;
    }

    int HeadingArrow(int column)
    {
        HDITEMW heading = {};
        heading.mask = HDI_FORMAT;
        SendMessageW(reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0)), HDM_GETITEMW, column,
                     reinterpret_cast<LPARAM>(&heading));
        return heading.fmt & (HDF_SORTUP | HDF_SORTDOWN);
    }

    void SelectRow(int row)
    {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        state.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageW(ServerList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }
};

TEST_F(ServerListTest, CellsShowTheRecord)
{
    ServerRecord first = AnsweredRecord(L"Alpha", 3, 16, 48);
    first.antiCheat = 1;
    lstrcpynW(first.gameDate, L"Dec  7 2026", ShortTextSize);
    first.needPass = NeedsPlayerPassword;
    ServerRecord second = AnsweredRecord(L"Beta", 0, 8, 49);
    second.port = 961;
    second.needPass = NeedsSpectatorPassword;
    ShowRecords({first, second});
    // A name wider than its column shows whole in a tip.
    EXPECT_TRUE(SendMessageW(ServerList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_LABELTIP);
    EXPECT_TRUE(SendMessageW(PlayerList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_LABELTIP);

    ASSERT_EQ(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(CellText(ServerList, 0, HostColumn), L"Alpha");
    EXPECT_EQ(CellText(ServerList, 0, AddressColumn), L"192.0.2.7:960");
    EXPECT_EQ(CellText(ServerList, 1, AddressColumn), L"192.0.2.7:961");
    EXPECT_EQ(CellText(ServerList, 0, MapColumn), L"q2dm1");
    EXPECT_EQ(CellText(ServerList, 0, PlayersColumn), L"3 / 16");
    EXPECT_EQ(CellText(ServerList, 0, AntiCheatColumn), L"1");
    EXPECT_EQ(CellText(ServerList, 0, DateColumn), L"Dec  7 2026");
    EXPECT_EQ(CellText(ServerList, 0, PingColumn), L"48");
    EXPECT_EQ(StatusPart(1), L"3 Players");
    EXPECT_EQ(StatusPart(2), L"2 Servers");
    // The padlock lies over the system icon where players need a password.
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETITEMSTATE, 0, LVIS_OVERLAYMASK), LRESULT(INDEXTOOVERLAYMASK(1)));
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETITEMSTATE, 1, LVIS_OVERLAYMASK), 0);

    // A row whose record is beyond the table shows nothing.
    ServerTable.count = 1;
    int beyond = CellText(ServerList, 0, HostColumn) == L"" ? 0 : 1;
    EXPECT_EQ(CellText(ServerList, beyond, HostColumn), L"");
    EXPECT_EQ(CellText(ServerList, beyond, PingColumn), L"");
    EXPECT_NE(CellText(ServerList, 1 - beyond, HostColumn), L"");
    ServerTable.count = 2;
    EXPECT_EQ(CompareServers(0, 2, PingColumn), 0);
    EXPECT_EQ(CompareServers(5, 0, PlayersColumn), 0);
}

TEST_F(ServerListTest, PingImagesFollowTheThresholds)
{
    ShowRecords({AnsweredRecord(L"a", 1, 8, 100), AnsweredRecord(L"b", 1, 8, 101), AnsweredRecord(L"c", 1, 8, 200),
                 AnsweredRecord(L"d", 1, 8, 201)});
    struct Case {
        int good;
        int medium;
        int images[4];
    };
    const Case cases[] = {
        {100, 200, {ImagePingGood, ImagePingMedium, ImagePingMedium, ImagePingBad}},
        {100, 50, {ImagePingGood, ImagePingBad, ImagePingBad, ImagePingBad}},
        {-1, 200, {ImagePingGood, ImagePingGood, ImagePingGood, ImagePingGood}},
    };
    for (const Case& test : cases) {
        GoodPing = test.good;
        MediumPing = test.medium;
        for (int row = 0; row < 4; row++)
            EXPECT_EQ(CellImage(ServerList, row, PingColumn), test.images[row]) << test.good << "/" << test.medium;
    }
    // The other columns show no image, whatever the request held before.
    LVITEMW cell = {};
    cell.mask = LVIF_IMAGE;
    cell.iSubItem = MapColumn;
    SendMessageW(ServerList, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&cell));
    EXPECT_EQ(cell.iImage, -1);
}

TEST(OsIcon, ComesFromTheVersionText)
{
    struct Case {
        const wchar_t* version;
        int image;
    };
    const Case cases[] = {
        {L"q2pro r2161~74e4d1e Dec  1 2026 Linux x86_64", ImageLinux},
        {L"r1q2 linux build with MinGW", ImageLinux},
        {L"R1Q2 b8012 i386 Dec 12 2025 Win32 RELEASE", ImageWindows},
        {L"q2pro r2161 Win64 x86_64", ImageWindows},
        {L"q2 built with MSVC", ImageWindows},
        {L"Yamagi Quake II 8.30 FreeBSD amd64", ImageFreeBsd},
        {L"3.21 PPC", ImageMac},
        {L"q2 OSX build", ImageMac},
        {L"q2pro r2140~d8b0c64 Nov  3 2026 Darwin x86_64", ImageMac},
        {L"Yamagi Quake II 8.20 macOS arm64", ImageMac},
        {L"Quarrix server 1.4 (custom build)", ImageUnknownSystem},
        {L"", ImageUnknownSystem},
    };
    for (const Case& test : cases)
        EXPECT_EQ(OsIconIndex(test.version), test.image) << std::wstring(test.version).c_str();
}

TEST_F(ServerListTest, SortingByHeaders)
{
    ShowRecords({AnsweredRecord(L"Few", 1, 8, 30), AnsweredRecord(L"Many", 6, 8, 90), AnsweredRecord(L"Some", 3, 8, 10)});
    // Without stored settings: ascending ping.
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Some", L"Few", L"Many"}));

    ClickHeader(PlayersColumn);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Many", L"Some", L"Few"}));
    EXPECT_EQ(SortOrder, DWORD(PlayersColumn));
    ClickHeader(PlayersColumn);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Few", L"Some", L"Many"}));
    EXPECT_EQ(SortOrder, DWORD(PlayersColumn) | ReverseSortFlag);
    ClickHeader(PlayersColumn);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Many", L"Some", L"Few"}));
    // The heading's arrow points the way the rows run: most players first.
    EXPECT_EQ(HeadingArrow(PlayersColumn), HDF_SORTDOWN);
    EXPECT_EQ(HeadingArrow(PingColumn), 0);
    ClickHeader(PingColumn);
    EXPECT_EQ(HeadingArrow(PingColumn), HDF_SORTUP);
    EXPECT_EQ(HeadingArrow(PlayersColumn), 0);

    // The IP address column calls every pair equal.
    for (LPARAM a = 0; a < 3; a++) {
        for (LPARAM b = 0; b < 3; b++)
            EXPECT_EQ(CompareServers(a, b, AddressColumn), 0);
    }
    // Orders outside the table sort like the Ping column.
    for (LPARAM order : {LPARAM(7), LPARAM(99), LPARAM(-1), LPARAM(0x8006), LPARAM(0x4000 | 0x10000)}) {
        LPARAM pingOrder = (order & ReverseSortFlag) ? LPARAM(PingColumn | ReverseSortFlag) : LPARAM(PingColumn);
        EXPECT_EQ(CompareServers(0, 1, order), CompareServers(0, 1, pingOrder)) << order;
    }
}

TEST_F(ServerListTest, TextColumnsFoldOnlyAToZ)
{
    ShowRecords({AnsweredRecord(L"alpha", 1, 8, 1), AnsweredRecord(L"Alpha", 1, 8, 2),
                 AnsweredRecord(L"[Clan] Zulu", 1, 8, 3), AnsweredRecord(L"_under", 1, 8, 4),
                 AnsweredRecord(L"bravo", 1, 8, 5)});
    EXPECT_EQ(CompareServers(0, 1, HostColumn), 0);
    ClickHeader(HostColumn);
    std::vector<std::wstring> hosts = HostColumnText();
    ASSERT_EQ(hosts.size(), 5u);
    EXPECT_EQ(std::set<std::wstring>(hosts.begin(), hosts.begin() + 2),
              (std::set<std::wstring>{L"[Clan] Zulu", L"_under"}));
    EXPECT_EQ(hosts[4], L"bravo");
}

TEST_F(ServerListTest, FiltersHideFullAndEmptyServers)
{
    ShowRecords({AnsweredRecord(L"Busy", 3, 8, 10), AnsweredRecord(L"Full", 8, 8, 20),
                 AnsweredRecord(L"Empty", 0, 8, 30), AnsweredRecord(L"Limitless", 0, 0, 40)});
    CheckDlgButton(MainWindow, IDC_SHOW_FULL, BST_CHECKED);
    CheckDlgButton(MainWindow, IDC_SHOW_EMPTY, BST_CHECKED);
    ASSERT_EQ(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0), 4);

    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    EXPECT_EQ(ShowFull, 0u);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Busy", L"Empty"}));
    EXPECT_EQ(StatusPart(2), L"2 Servers");
    EXPECT_EQ(StatusPart(1), L"3 Players");

    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Busy", L"Full"}));
    EXPECT_EQ(StatusPart(1), L"11 Players");
}

TEST_F(ServerListTest, FilterClickThatChangesNothingKeepsTheSelection)
{
    ServerRecord quiet = AnsweredRecord(L"Quiet", 1, 8, 20);
    quiet.port = 961;
    ShowRecords({AnsweredRecord(L"Busy", 3, 8, 10), quiet});
    CheckDlgButton(MainWindow, IDC_SHOW_FULL, BST_CHECKED);
    CheckDlgButton(MainWindow, IDC_SHOW_EMPTY, BST_CHECKED);
    SelectRow(0);
    ASSERT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 3);

    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 0);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 3);

    // A click that changes the shown set keeps a server that stays listed
    // selected, and drops one that goes, with its players.
    ServerTable.records[1].playerCount = 0;
    SelectRow(1);
    SelectRow(0);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0), 1);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 0);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 3);
    EXPECT_EQ(StatusPart(2), L"1 Server");

    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    SelectRow(1);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), -1);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 0);

    // The player chose another server meanwhile: the hidden one is not
    // selected again when it comes back, even with nothing selected then.
    SelectRow(0);
    LVITEMW none = {};
    none.stateMask = LVIS_SELECTED;
    SendMessageW(ServerList, LVM_SETITEMSTATE, -1, reinterpret_cast<LPARAM>(&none));
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), -1);
}

// The list holds record indexes of its own: rows listed above the selected
// one move the selection along with its server, without refilling the
// player list, and typing a name's first letters still finds its row.
TEST_F(ServerListTest, SelectionStaysWithItsServerAsRowsComeAbove)
{
    ShowRecords({AnsweredRecord(L"Middle", 3, 8, 50), AnsweredRecord(L"Zeta", 1, 8, 90)});
    // Records parsed later, in the table before any row points into it.
    for (DWORD ping : {10u, 20u, 30u}) {
        int index = AppendServerRecord(inet_addr("192.0.2.9"), static_cast<WORD>(ping));
        ServerRecord added = AnsweredRecord(L"Faster", 0, 8, ping);
        added.port = static_cast<WORD>(ping);
        ServerTable.records[index] = added;
    }
    SelectRow(0);
    NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, LVN_COLUMNCLICK, 1);
    ASSERT_EQ(CellText(PlayerList, 0, 0), L"p2");

    const int parsed[] = {2, 3, 4};
    OfferServers(parsed, 3);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Faster", L"Faster", L"Faster", L"Middle", L"Zeta"}));
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 3);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_FOCUSED), 3);
    EXPECT_EQ(CellText(PlayerList, 0, 0), L"p2") << "the player list was filled again";

    SetFocus(ServerList);
    SendMessageW(ServerList, WM_CHAR, 'z', 1);
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 4);
}

TEST_F(ServerListTest, RefilterDuringAParseListsTheServerOnce)
{
    ShowRecords({AnsweredRecord(L"Listed", 2, 8, 10)});
    CheckDlgButton(MainWindow, IDC_SHOW_EMPTY, BST_CHECKED);
    CheckDlgButton(MainWindow, IDC_SHOW_FULL, BST_CHECKED);
    // The receiver has marked the second record answered and is still
    // parsing it when the user clicks a box.
    ServerRecord* grown = static_cast<ServerRecord*>(
        HeapReAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, ServerTable.records, 2 * sizeof(ServerRecord)));
    ServerTable.records = grown;
    ServerTable.records[1] = AnsweredRecord(L"Being parsed", 0, 8, 20);
    ServerTable.count = 2;
    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    EXPECT_EQ(ListedRecords(), std::vector<LPARAM>{0});

    const int parsed = 1;
    OfferServers(&parsed, 1);
    std::vector<LPARAM> rows = ListedRecords();
    std::sort(rows.begin(), rows.end());
    EXPECT_EQ(rows, (std::vector<LPARAM>{0, 1}));
    EXPECT_EQ(VisibleServerCount, 2);
}

TEST_F(ServerListTest, BurstIsListedAtOnceAndPaintedWithoutFurtherInput)
{
    const std::vector<ServerRecord> burst = {AnsweredRecord(L"Delta", 2, 8, 40), AnsweredRecord(L"Alpha", 0, 8, 30),
                                             AnsweredRecord(L"Charlie", 3, 8, 10), AnsweredRecord(L"Bravo", 1, 8, 20)};
    CheckDlgButton(MainWindow, IDC_SHOW_FULL, BST_CHECKED);
    CheckDlgButton(MainWindow, IDC_SHOW_EMPTY, BST_CHECKED);
    ShowRecords(burst);
    // Painting is held back, yet the rows, their order and the counts are in.
    ASSERT_TRUE(PaintingHeld());
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Charlie", L"Bravo", L"Alpha", L"Delta"}));
    EXPECT_EQ(StatusPart(2), L"4 Servers");
    EXPECT_EQ(StatusPart(1), L"6 Players");
    // The views repaint by themselves once the burst is over.
    ASSERT_TRUE(PumpUntil([] { return !PaintingHeld(); }, 5000, MainWindow));
    EXPECT_TRUE(IsWindowVisible(StatusBar));
    RECT unpainted;
    EXPECT_FALSE(GetUpdateRect(ServerList, &unpainted, FALSE));

    // A column click and a filter click in the middle of a burst see every row.
    ShowRecords(burst);
    ASSERT_TRUE(PaintingHeld());
    ClickHeader(HostColumn);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie", L"Delta"}));
    ShowRecords(burst);
    ASSERT_TRUE(PaintingHeld());
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Bravo", L"Charlie", L"Delta"}));
    EXPECT_EQ(StatusPart(2), L"3 Servers");
}

// What the list shows on the screen, pixel by pixel.
std::vector<COLORREF> ListPixels()
{
    RECT client;
    GetClientRect(ServerList, &client);
    HDC screen = GetDC(ServerList);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < client.bottom; y += 2) {
        for (int x = 0; x < client.right; x += 2)
            pixels.push_back(GetPixel(screen, x, y));
    }
    ReleaseDC(ServerList, screen);
    return pixels;
}

// A burst's rows are painted half of them at a time, and all of them by the
// time painting is no longer held.
TEST_F(ServerListTest, BurstPaintsEveryRowByItsEnd)
{
    std::vector<ServerRecord> records;
    for (int index = 0; index < 40; index++)
        records.push_back(AnsweredRecord(L"Before", 1, 16, 10 + index));
    ShowRecords(records);
    PaintHeldChanges();
    for (ServerRecord& record : records)
        lstrcpynW(record.hostName, L"After the burst", LongTextSize);
    ShowRecords(records);
    ASSERT_TRUE(PumpUntil([] { return !PaintingHeld(); }, 5000, MainWindow));
    std::vector<COLORREF> painted = ListPixels();
    RedrawWindow(ServerList, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    EXPECT_TRUE(ListPixels() == painted);
}

// A resize in the middle of a burst paints every control at once.
TEST_F(ServerListTest, ResizePaintsEverythingAtOnce)
{
    ShowRecords({AnsweredRecord(L"Alpha", 1, 8, 30), AnsweredRecord(L"Bravo", 2, 8, 20)});
    ASSERT_TRUE(PaintingHeld());
    RECT outer;
    GetWindowRect(MainWindow, &outer);
    SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left + 120, outer.bottom - outer.top + 80,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_FALSE(PaintingHeld());
    EXPECT_TRUE(IsWindowVisible(StatusBar));
    RECT unpainted;
    for (HWND window : {MainWindow, ServerList, StatusBar, GetDlgItem(MainWindow, IDC_SERVERS_FRAME)})
        EXPECT_FALSE(GetUpdateRect(window, &unpainted, FALSE)) << GetDlgCtrlID(window);
}

// The filter line lists the servers that hold every word of it, in their
// names, maps, addresses or players; "buddy" and "fav" name those servers.
// Escape empties it, and the list and its selection are as before.
TEST_F(ServerListTest, FilterLineListsWhatHoldsEveryWord)
{
    ServerRecord alpha = AnsweredRecord(L"Alpha Arena", 2, 8, 10);
    ServerRecord bravo = AnsweredRecord(L"Bravo Base", 1, 8, 20);
    lstrcpynW(bravo.mapName, L"q2dm8", LongTextSize);
    lstrcpynW(bravo.players[0].name, L"Iron Stoat", PlayerNameSize);
    bravo.port = 961;
    ServerRecord charlie = AnsweredRecord(L"Charlie Court", 1, 8, 30);
    charlie.port = 27999;
    charlie.favourite = 1;
    CheckDlgButton(MainWindow, IDC_SHOW_FULL, BST_CHECKED);
    CheckDlgButton(MainWindow, IDC_SHOW_EMPTY, BST_CHECKED);
    ShowRecords({alpha, bravo, charlie});
    SetBuddyText(L"Iron Stoat");
    SelectRow(2);
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> hosts;
    };
    const Case cases[] = {
        {L"ARENA", {L"Alpha Arena"}},
        {L"dm8", {L"Bravo Base"}},
        {L":27999", {L"Charlie Court"}},
        {L"stoat", {L"Bravo Base"}},
        {L"buddy", {L"Bravo Base"}},
        {L"fav", {L"Charlie Court"}},
        {L"  a   court ", {L"Charlie Court"}},
        {L"192.0.2.7 q2dm1", {L"Alpha Arena", L"Charlie Court"}},
        {L"nowhere", {}},
    };
    SendMessageW(MainWindow, WM_COMMAND, IDM_FILTER_LINE, 0);
    HWND field = GetDlgItem(MainWindow, IDC_FILTER_TEXT);
    ASSERT_TRUE(IsWindowVisible(field));
    for (const Case& test : cases) {
        SetWindowTextW(field, test.text);
        EXPECT_EQ(HostColumnText(), test.hosts) << test.text;
    }
    SetWindowTextW(field, L"court");
    EXPECT_EQ(StatusLine(), L"1 of 3 servers match \"court\".");
    EXPECT_EQ(StatusPart(2), L"1 Server");
    EXPECT_EQ(CellText(ServerList, SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 0), L"Charlie Court");

    SetFocus(field);
    SendMessageW(MainWindow, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindowVisible(field));
    EXPECT_EQ(StatusLine(), L"3 servers listed.") << "the match line outstayed the filter line";
    EXPECT_EQ(HostColumnText(), (std::vector<std::wstring>{L"Alpha Arena", L"Bravo Base", L"Charlie Court"}));
    EXPECT_EQ(SendMessageW(ServerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED), 2);
    SetBuddyText(L"");
}

// How many colours the header shows on screen: one for a blank header, more
// where its headings are drawn.
size_t HeaderColours()
{
    HWND header = reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0));
    RECT area;
    GetClientRect(header, &area);
    HDC context = GetDC(header);
    std::set<COLORREF> colours;
    for (int y = area.top; y < area.bottom; y += 2) {
        for (int x = area.left; x < area.right / 3; x++)
            colours.insert(GetPixel(context, x, y));
    }
    ReleaseDC(header, context);
    return colours.size();
}

// The headings stay drawn while the filter line shows and after it goes.
TEST_F(ServerListTest, HeadingsStayDrawnThroughTheFilterLine)
{
    ShowRecords({AnsweredRecord(L"Alpha", 2, 8, 10), AnsweredRecord(L"Bravo", 1, 8, 20)});
    PaintHeldChanges();
    UpdateWindow(MainWindow);
    ASSERT_GT(HeaderColours(), 2u);
    SendMessageW(MainWindow, WM_COMMAND, IDM_FILTER_LINE, 0);
    SetWindowTextW(GetDlgItem(MainWindow, IDC_FILTER_TEXT), L"alpha");
    PumpFor(400, MainWindow);
    EXPECT_GT(HeaderColours(), 2u) << "while the line shows";
    SendMessageW(MainWindow, WM_COMMAND, IDCANCEL, 0);
    PumpFor(400, MainWindow);
    EXPECT_GT(HeaderColours(), 2u) << "after the line went";
}

WNDPROC MainWindowProcBefore;
LRESULT RowsAfterReset;

void ClickEmptyTwice()
{
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
    SendDlgItemMessageW(MainWindow, IDC_SHOW_EMPTY, BM_CLICK, 0, 0);
}

// Re-filters in the engine's two gaps: right after the views were emptied for
// a new table, and when a parsed server is about to be offered.
LRESULT CALLBACK RefilterInTheGaps(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_OFFER_SERVERS)
        ClickEmptyTwice();
    LRESULT result = CallWindowProcW(MainWindowProcBefore, window, message, wParam, lParam);
    if (message == WM_RESET_SERVER_VIEWS) {
        ClickEmptyTwice();
        RowsAfterReset = SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0);
    }
    return result;
}

TEST_F(ServerListTest, RefiltersInTheEnginesGapsNeverListTwice)
{
    StopLab(lab);
    lab = nullptr;
    // Every other server is empty, so each click really rebuilds the list.
    LabScenario scenario = AnsweringServers(30);
    for (size_t index = 0; index < scenario.servers.size(); index += 2)
        scenario.servers[index].players.clear();
    ASSERT_TRUE(ServeLab(scenario));
    MainWindowProcBefore = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RefilterInTheGaps)));
    // The second update replaces a table whose records were all offered.
    for (int update = 1; update <= 2; update++) {
        SCOPED_TRACE(update);
        RowsAfterReset = -1;
        StartOrAbortUpdate();
        WaitForUpdate();
        ASSERT_EQ(StatusPart(0), L"Completed. 30 of 30 servers responded.");
        EXPECT_EQ(RowsAfterReset, 0) << "the old table was listed again";
        std::vector<LPARAM> rows = ListedRecords();
        std::set<LPARAM> distinct(rows.begin(), rows.end());
        EXPECT_EQ(distinct.size(), rows.size()) << "a server is listed twice";
        EXPECT_EQ(rows.size(), 30u);
        EXPECT_EQ(VisibleServerCount, 30);
    }
    SetWindowLongPtrW(MainWindow, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(MainWindowProcBefore));
}

TEST_F(ServerListTest, ColumnWidthsFollowTheWindowWidth)
{
    const int percents[] = {30, 20, 10, 10, 5, 15, 10};
    const int atSixHundred[] = {179, 119, 59, 59, 29, 89, 59};
    for (int column = 0; column < ServerColumnCount; column++)
        EXPECT_EQ(ColumnWidth(percents[column], 600.0f), atSixHundred[column]);

    struct Case {
        WORD clientWidth;
        int servers[7];
        int details[3];
        int compact;
    };
    const Case cases[] = {{686, {191, 127, 63, 63, 31, 95, 63}, {137, 68, 68}, 91},
                          {1024, {289, 192, 96, 96, 48, 144, 96}, {210, 105, 105}, 139}};
    for (const Case& test : cases) {
        PlayerViewDetails = 1;
        SendMessageW(PlayerList, LVM_SETVIEW, LV_VIEW_DETAILS, 0);
        ResizeListColumns(test.clientWidth);
        for (int column = 0; column < ServerColumnCount; column++)
            EXPECT_EQ(SendMessageW(ServerList, LVM_GETCOLUMNWIDTH, column, 0), test.servers[column]) << test.clientWidth;
        for (int column = 0; column < 3; column++)
            EXPECT_EQ(SendMessageW(PlayerList, LVM_GETCOLUMNWIDTH, column, 0), test.details[column]) << test.clientWidth;
        PlayerViewDetails = 0;
        SendMessageW(PlayerList, LVM_SETVIEW, LV_VIEW_LIST, 0);
        ResizeListColumns(test.clientWidth);
        EXPECT_EQ(SendMessageW(PlayerList, LVM_GETCOLUMNWIDTH, 0, 0), test.compact) << test.clientWidth;
    }
    // A minimized window (client width 0) and tiny ones give empty columns,
    // never negative ones.
    for (WORD tiny : {WORD(0), WORD(5), WORD(20)}) {
        ResizeListColumns(tiny);
        for (int column = 0; column < ServerColumnCount; column++)
            EXPECT_GE(SendMessageW(ServerList, LVM_GETCOLUMNWIDTH, column, 0), 0) << tiny;
    }
}

// A master that answers late adds its servers while a row is selected: the
// table moves under the views, and the player list reads the moved one.
TEST_F(ServerListTest, LateMasterServersJoinBesideASelectedRow)
{
    StopLab(lab);
    lab = nullptr;
    LabScenario scenario = AnsweringServers(3);
    scenario.servers[0].players = {{0, 20, "first one"}};
    scenario.master.lists = {0};
    LabMaster late;
    late.port = 27901;
    late.answerFrom = 2;
    late.lists = {1, 2};
    scenario.otherMasters = {late};
    ASSERT_TRUE(ServeLab(scenario));
    const std::wstring masters = L"127.0.0.1\r\n127.0.0.1:27901";
    ReadAddressEntries(&MasterServers, masters.c_str(), static_cast<int>(masters.size()), DefaultMasterPort,
                       MaxMasterServers);
    MasterServersChosen = true;

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return VisibleServerCount == 1; }, 5000, MainWindow));
    SelectServerRow(0);
    ASSERT_EQ(CellText(PlayerList, 0, 0), L"first one");
    WaitForUpdate();
    EXPECT_EQ(VisibleServerCount, 3);
    EXPECT_EQ(CellText(PlayerList, 0, 0), L"first one");
    EXPECT_EQ(StatusLine(), L"Completed. 3 of 3 servers responded. 2 of 2 master servers answered.");
}

TEST_F(ServerListTest, FullUpdateShowsWhatTheLabServed)
{
    StopLab(lab);
    lab = nullptr;
    LabScenario scenario = AnsweringServers(5);
    scenario.servers[2].silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    StartOrAbortUpdate();
    WaitForUpdate();
    EXPECT_EQ(StatusPart(0), L"Completed. 4 of 5 servers responded.");
    EXPECT_EQ(StatusPart(2), L"4 Servers");
    EXPECT_EQ(StatusPart(1), L"4 Players");
    std::vector<std::wstring> hosts = HostColumnText();
    std::sort(hosts.begin(), hosts.end());
    EXPECT_EQ(hosts, (std::vector<std::wstring>{L"server 0", L"server 1", L"server 3", L"server 4"}));
    EXPECT_EQ(CellText(ServerList, 0, AddressColumn).rfind(L"127.0.0.1:279", 0), 0u);
}

}  // namespace
