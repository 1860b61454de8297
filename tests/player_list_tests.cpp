// The player list and buddy highlighting: filling, sorting, view switching,
// the buddy list and the custom drawing of both lists.
#include <winsock2.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/window_ops.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/server_news.h"
#include "ui/main_window.h"
#include "ui/player_list.h"
#include "ui/server_list.h"

namespace {

std::vector<std::wstring> Buddies()
{
    std::vector<std::wstring> names;
    for (int index = 0; index < BuddyCount; index++)
        names.push_back(BuddyNames[index]);
    return names;
}

TEST(BuddyList, ParsesOneNamePerLine)
{
    struct Case {
        const wchar_t* text;
        std::vector<std::wstring> names;
    };
    const Case cases[] = {
        {L"Alice\r\n\r\nBob\r\n", {L"Alice", L"Bob"}},
        {L"Bob ", {L"Bob "}},
        {L"\n\r\r\nCarol\n\rDan", {L"Carol", L"Dan"}},
        {L"   \nEve", {L"   ", L"Eve"}},
        {L"", {}},
        {L"0123456789012345678901234567890123456789\r\nx", {L"0123456789012345678901234567890", L"x"}},
    };
    for (const Case& test : cases) {
        SetBuddyText(test.text);
        EXPECT_EQ(Buddies(), test.names) << std::wstring(test.text).c_str();
    }
}

TEST(BuddyList, MatchesEqualNamesAndExactInnerText)
{
    SetBuddyText(L"Bob");
    struct Case {
        const wchar_t* player;
        bool buddy;
    };
    const Case cases[] = {{L"bob", true},      {L"BOB", true},       {L"[TAG]Bob", true}, {L"Bobby", true},
                          {L"[tag]bob", false}, {L"xBOBx", false},   {L"Bo", false},      {L"", false}};
    for (const Case& test : cases)
        EXPECT_EQ(IsBuddy(test.player), test.buddy) << std::wstring(test.player).c_str();

    SetBuddyText(L"Bob ");
    EXPECT_FALSE(IsBuddy(L"Bob"));
    SetBuddyText(L"");
    EXPECT_FALSE(IsBuddy(L"Bob"));
    EXPECT_EQ(BuddyCount, 0);
}

// A buddy is found by the name the game shows, in whatever colours the
// server sends it.
TEST(BuddyList, MatchesNamesSentInColour)
{
    std::string reply = "\xff\xff\xff\xffprint\n\\hostname\\x\n3 40 \"";
    for (char letter : std::string("Iron Stoat"))
        reply += static_cast<char>(letter | 0x80);
    reply += "\"\n";
    static ServerRecord record;
    record = {};
    record.sentAt = 1;
    ParseStatusFields(reply.data(), static_cast<int>(reply.size()), 2, &record);
    SetBuddyText(L"Iron Stoat");
    EXPECT_TRUE(ServerHasBuddy(record));

    // Letters outside A-Z, typed as the player knows them, match the name
    // as the list shows it.
    std::string umlaut = "\xff\xff\xff\xffprint\n\\hostname\\x\n3 40 \"J\xfcrgen\"\n";
    record = {};
    record.sentAt = 1;
    ParseStatusFields(umlaut.data(), static_cast<int>(umlaut.size()), 2, &record);
    SetBuddyText(L"J\u00fcrgen");
    EXPECT_TRUE(ServerHasBuddy(record));
    SetBuddyText(L"");
}

class PlayerListTest : public ServerViewsTest {
protected:
    void SetUp() override
    {
        ShowFull = ShowEmpty = 1;
        PlayerViewDetails = 0;
        SetBuddyText(L"");
        ServerViewsTest::SetUp();
    }

    void Select(int row)
    {
        LVITEMW state = {};
        state.stateMask = LVIS_SELECTED;
        state.state = LVIS_SELECTED;
        SendMessageW(ServerList, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    }

    std::vector<std::wstring> PlayerColumn(int column)
    {
        std::vector<std::wstring> cells;
        int rows = static_cast<int>(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0));
        for (int row = 0; row < rows; row++)
            cells.push_back(CellText(PlayerList, row, column));
        return cells;
    }

    // What CustomDrawList answers for one stage of a row, and the text
    // background it leaves.
    std::pair<LRESULT, COLORREF> Draw(HWND list, int controlId, DWORD stage, int row)
    {
        NMLVCUSTOMDRAW draw = {};
        draw.nmcd.hdr.hwndFrom = list;
        draw.nmcd.hdr.idFrom = controlId;
        draw.nmcd.hdr.code = NM_CUSTOMDRAW;
        draw.nmcd.dwDrawStage = stage;
        draw.nmcd.dwItemSpec = row;
        draw.clrTextBk = 0x123456;
        // The dialog manager hands back the answer stored as the message result.
        LRESULT answer = SendMessageW(MainWindow, WM_NOTIFY, controlId, reinterpret_cast<LPARAM>(&draw));
        EXPECT_EQ(answer, GetWindowLongPtrW(MainWindow, DWLP_MSGRESULT));
        return {answer, draw.clrTextBk};
    }
};

// The colour the server list paints at the top left corner of a cell's
// pictogram, where a round one leaves its background.
COLORREF PaintedIconCorner(int row, int column)
{
    RECT client;
    GetClientRect(ServerList, &client);
    HDC screen = GetDC(ServerList);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, client.right, client.bottom);
    HGDIOBJ previous = SelectObject(memory, picture);
    SendMessageW(ServerList, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT | PRF_ERASEBKGND);
    RECT icon = {};
    icon.top = column;
    icon.left = LVIR_ICON;
    SendMessageW(ServerList, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&icon));
    COLORREF colour = GetPixel(memory, icon.left, icon.top);
    SelectObject(memory, previous);
    DeleteObject(picture);
    DeleteDC(memory);
    ReleaseDC(ServerList, screen);
    return colour;
}

ServerRecord RecordWithPlayers(const wchar_t* host, std::vector<PlayerEntry> players)
{
    ServerRecord record = AnsweredRecord(host, 0, 16, 10);
    for (const PlayerEntry& player : players)
        record.players[record.playerCount++] = player;
    return record;
}

TEST_F(PlayerListTest, SelectionFillsTheListInReplyOrderAndHeadersSortIt)
{
    ShowRecords({RecordWithPlayers(L"One", {{L"adam", 40, 5}, {L"Zed", 20, 10}, {L"mia", 90, -2}, {L"Kai", 10, 5}}),
                 RecordWithPlayers(L"Two", {{L"solo", 1, 1}})});
    int one = SendMessageW(ServerList, LVM_GETITEMCOUNT, 0, 0) == 2 && CellText(ServerList, 0, 0) == L"One" ? 0 : 1;
    Select(one);
    EXPECT_EQ(PlayerColumn(0), (std::vector<std::wstring>{L"adam", L"Zed", L"mia", L"Kai"}));
    EXPECT_EQ(PlayerColumn(1), (std::vector<std::wstring>{L"5", L"10", L"-2", L"5"}));
    EXPECT_EQ(PlayerColumn(2), (std::vector<std::wstring>{L"40", L"20", L"90", L"10"}));

    for (int click = 0; click < 2; click++) {
        NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, LVN_COLUMNCLICK, 1);
        EXPECT_EQ(PlayerColumn(1), (std::vector<std::wstring>{L"10", L"5", L"5", L"-2"}));
    }
    NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, LVN_COLUMNCLICK, 2);
    EXPECT_EQ(PlayerColumn(2), (std::vector<std::wstring>{L"10", L"20", L"40", L"90"}));
    for (int click = 0; click < 2; click++) {
        NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, LVN_COLUMNCLICK, 0);
        EXPECT_EQ(PlayerColumn(0), (std::vector<std::wstring>{L"Kai", L"Zed", L"adam", L"mia"}));
    }

    Select(1 - one);
    EXPECT_EQ(PlayerColumn(0), std::vector<std::wstring>{L"solo"});
    Select(one);
    EXPECT_EQ(PlayerColumn(0), (std::vector<std::wstring>{L"adam", L"Zed", L"mia", L"Kai"}));
}

TEST_F(PlayerListTest, RightClicksSwitchTheView)
{
    ASSERT_EQ(IsXpOrLater, 1u);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETVIEW, 0, 0), LV_VIEW_LIST);
    const DWORD views[] = {LV_VIEW_DETAILS, LV_VIEW_SMALLICON, LV_VIEW_DETAILS};
    for (DWORD view : views) {
        NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, NM_RCLICK);
        EXPECT_EQ(SendMessageW(PlayerList, LVM_GETVIEW, 0, 0), LRESULT(view));
        EXPECT_EQ(PlayerViewDetails, view == LV_VIEW_DETAILS ? 1u : 0u);
    }

    IsXpOrLater = 0;
    NotifyMainWindow(PlayerList, IDC_PLAYER_LIST, NM_RCLICK);
    IsXpOrLater = 1;
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETVIEW, 0, 0), LV_VIEW_DETAILS);
    EXPECT_EQ(PlayerViewDetails, 1u);
}

TEST_F(PlayerListTest, BuddiesAreDrawnOnYellow)
{
    ShowRecords({RecordWithPlayers(L"With Bob", {{L"anna", 10, 1}, {L"[TAG]Bob", 20, 2}}),
                 RecordWithPlayers(L"Without", {{L"carl", 10, 1}})});
    SetBuddyText(L"Bob");
    int withBob = CellText(ServerList, 0, 0) == L"With Bob" ? 0 : 1;

    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_PREPAINT, 0).first, CDRF_NOTIFYITEMDRAW);
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_ITEMPREPAINT, withBob),
              std::make_pair(LRESULT(CDRF_NOTIFYPOSTPAINT), BuddyBackground));
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_ITEMPREPAINT | CDDS_SUBITEM, withBob).second, BuddyBackground);
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_ITEMPREPAINT, 1 - withBob),
              std::make_pair(LRESULT(CDRF_NOTIFYPOSTPAINT), COLORREF(0x123456)));
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_ITEMPOSTPAINT, withBob).first, CDRF_DODEFAULT);
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_POSTPAINT, 0).first, CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT);

    // Painted, the row is yellow behind its pictograms too, and the others
    // keep the list's own background.
    for (int column : {0, 6})
        EXPECT_EQ(PaintedIconCorner(withBob, column), BuddyBackground) << column;
    EXPECT_EQ(PaintedIconCorner(1 - withBob, 0), GetSysColor(COLOR_WINDOW));

    Select(withBob);
    EXPECT_EQ(Draw(PlayerList, IDC_PLAYER_LIST, CDDS_ITEMPREPAINT, 1).second, BuddyBackground);
    EXPECT_EQ(Draw(PlayerList, IDC_PLAYER_LIST, CDDS_ITEMPREPAINT, 0).second, COLORREF(0x123456));

    // Rows whose record lies beyond the table are never highlighted.
    LONG count = ServerTable.count;
    ServerTable.count = 0;
    EXPECT_EQ(Draw(ServerList, IDC_SERVER_LIST, CDDS_ITEMPREPAINT, withBob).second, COLORREF(0x123456));
    ServerTable.count = count;
    SetBuddyText(L"");
}

// A buddy newly seen is told once on the status line; the taskbar button
// flashes only while another window is the active one.
TEST_F(PlayerListTest, NewBuddySightingsAreToldOnceAndFlashWhenInactive)
{
    SetBuddyText(L"Iron Stoat");
    SetForegroundWindow(MainWindow);
    ShowRecords({RecordWithPlayers(L"Quarrix Central", {{L"Iron Stoat", 10, 1}})});
    EXPECT_TRUE(PumpUntil([] { return StatusLine() == L"Iron Stoat is playing on Quarrix Central."; }, 5000));
    EXPECT_FALSE(NewsFlashing);

    HWND other = CreateWindowExW(0, L"STATIC", L"another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100,
                                 nullptr, nullptr, nullptr, nullptr);
    SetForegroundWindow(other);
    // Seen there before in this run: nothing new.
    ShowRecords({RecordWithPlayers(L"Quarrix Central", {{L"Iron Stoat", 10, 1}})});
    StatusMessage(L"Completed.");
    PumpFor(400);
    EXPECT_EQ(StatusLine(), L"Completed.");
    EXPECT_FALSE(NewsFlashing);

    ServerRecord elsewhere = RecordWithPlayers(L"Rail Garden", {{L"Iron Stoat", 10, 1}});
    elsewhere.port = 961;
    ShowRecords({elsewhere});
    EXPECT_TRUE(PumpUntil([] { return StatusLine() == L"Iron Stoat is playing on Rail Garden."; }, 5000));
    EXPECT_TRUE(NewsFlashing);
    SetForegroundWindow(MainWindow);
    PumpFor(50);
    EXPECT_FALSE(NewsFlashing);
    DestroyWindow(other);
    SetBuddyText(L"");
}

}  // namespace
