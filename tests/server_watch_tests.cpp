// The list kept fresh in place, a watched server told of once in a balloon,
// and the icon in the notification area, against the lab network.
#include <winsock2.h>

#include <commctrl.h>
#include <mmsystem.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/notification_icon.h"
#include "ui/player_list.h"
#include "ui/refresh_schedule.h"
#include "ui/server_list.h"

namespace {

enum Column { HostColumn, AddressColumn, MapColumn, PlayersColumn };

LabServer Server(int port, const std::string& name, int players, int maxClients = 8)
{
    LabServer server;
    server.port = port;
    server.info = {{"hostname", name}, {"mapname", "q2dm1"}, {"maxclients", std::to_string(maxClients)}};
    for (int player = 0; player < players; player++)
        server.players.push_back({player, 20, name + " " + std::to_string(player)});
    return server;
}

class OnWatchTest : public MainWindowTest {
protected:
    LabScenario scenario;

    void SetUp() override
    {
        MainWindowTest::SetUp();
        RefreshScheduleTick = 50;
    }

    void TearDown() override
    {
        MainWindowTest::TearDown();
        RefreshScheduleTick = 1000;
        RefreshMinuteLength = 60000;
        WatchAskInterval = 30000;
    }

    void Open()
    {
        ASSERT_TRUE(ServeLab(scenario));
        ASSERT_NE(CreateWindowUnderTest(), nullptr);
        WaitForUpdate();
    }

    void Reserve() { ServeAgain(scenario); }

    int RecordOf(int port) { return FindServerRecord(inet_addr("127.0.0.1"), static_cast<WORD>(port)); }
};

// The text colour a row of the server list is drawn in.
COLORREF RowTextColour(int row)
{
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr = {ServerList, IDC_SERVER_LIST, static_cast<UINT>(NM_CUSTOMDRAW)};
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = row;
    draw.clrText = CLR_DEFAULT;
    SendMessageW(MainWindow, WM_NOTIFY, IDC_SERVER_LIST, reinterpret_cast<LPARAM>(&draw));
    return draw.clrText;
}

// A server that changes its map and players moves to its sorted place; a
// silent one keeps its row, greyed, and goes after three silent refreshes;
// one that never answered, and one that went, come when they answer. The
// selection and the sort stay.
TEST_F(OnWatchTest, RefreshedListChangesInPlace)
{
    scenario.servers = {Server(28060, "Alpha", 2), Server(28061, "Bravo", 1), Server(28062, "Charlie", 3)};
    scenario.servers[2].silent = true;
    Open();
    NotifyMainWindow(ServerList, IDC_SERVER_LIST, LVN_COLUMNCLICK, PlayersColumn);
    // Most players first.
    ASSERT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Bravo"}));
    SelectServerRow(0);

    scenario.servers[0] = Server(28060, "Alpha", 0);
    scenario.servers[0].info[1].second = "q2dm8";
    scenario.servers[1].silent = true;
    scenario.servers[2].silent = false;
    Reserve();
    RefreshMinuteLength = 300;
    RefreshMinutes = 1;
    ASSERT_TRUE(PumpUntil([] { return StatusLine() == L"Refreshed 2 of 3 servers."; }, 15000, MainWindow))
        << "status: " << std::string(StatusLine().begin(), StatusLine().end());
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Charlie", L"Bravo", L"Alpha"}));
    EXPECT_EQ(CellText(ServerList, 2, MapColumn), L"q2dm8");
    EXPECT_EQ(CellText(ServerList, 1, PlayersColumn), L"1 / 8");
    EXPECT_EQ(SelectedServerRow(), 2);
    EXPECT_EQ(RowTextColour(1), GetSysColor(COLOR_GRAYTEXT));
    EXPECT_EQ(RowTextColour(2), static_cast<COLORREF>(CLR_DEFAULT));
    EXPECT_EQ(VisiblePlayerCount, 0 + 1 + 3);
    std::vector<DWORD> asked = LabServerRequests(lab, 1).arrivals;
    ASSERT_EQ(asked.size(), 3u);
    EXPECT_GE(asked[2] - asked[1], 900u);

    int bravo = RecordOf(28061);
    ASSERT_TRUE(PumpUntil([] { return VisibleServerCount == 2; }, 20000, MainWindow));
    EXPECT_EQ(ServerTable.records[bravo].silentRefreshes, SilentRefreshesBeforeHiding);
    EXPECT_EQ(LabServerRequests(lab, 1).arrivals.size(), 9u);

    scenario.servers[1].silent = false;
    Reserve();
    ASSERT_TRUE(PumpUntil([] { return VisibleServerCount == 3; }, 10000, MainWindow));
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Charlie", L"Bravo", L"Alpha"}));
    EXPECT_EQ(RowTextColour(1), static_cast<COLORREF>(CLR_DEFAULT));
}

HWND WatchWindow()
{
    return FindWindowW(L"#32770", L"Watch");
}

// Asks for 3 players in the Watch dialog, from its own loop.
void CALLBACK AnswerWatchDialog(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = WatchWindow();
    if (dialog == nullptr)
        return;
    KillTimer(nullptr, timer);
    SetDlgItemInt(dialog, IDC_WATCH_PLAYERS, 3, FALSE);
    PostMessageW(dialog, WM_COMMAND, IDOK, 0);
}

std::vector<std::wstring> Balloons()
{
    std::vector<std::wstring> balloons;
    for (const ShellCall& call : ShellCalls) {
        if (call.message == NIM_MODIFY && !call.balloon.empty())
            balloons.push_back(call.balloon);
    }
    return balloons;
}

// A watched server is asked on its own cadence, and when its players reach
// the number the player is told once, in a balloon while the window is
// behind another; a click on the balloon brings the window forward with the
// server selected.
TEST_F(OnWatchTest, WatchedServerIsToldOnceInABalloon)
{
    scenario.servers = {Server(28063, "Frostline", 0, 16), Server(28064, "Other", 1)};
    scenario.servers[0].joinEvery = 700;
    Open();
    WatchAskInterval = 400;
    SelectServerRow(RowOfRecord(RecordOf(28063)));
    UINT_PTR timer = SetTimer(nullptr, 0, 20, AnswerWatchDialog);
    SendMessageW(MainWindow, WM_COMMAND, IDM_WATCH, 0);
    KillTimer(nullptr, timer);
    ASSERT_EQ(WatchedServerCount, 1);
    wchar_t stored[64] = {};
    DWORD size = sizeof(stored) - sizeof(wchar_t);
    SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Watched Servers", nullptr, stored, &size);
    EXPECT_EQ(std::wstring(stored, size / sizeof(wchar_t)), std::wstring(L"127.0.0.1:28063 3\0\0", 19));

    HWND other = CreateWindowW(L"STATIC", L"elsewhere", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                               nullptr, nullptr);
    SetForegroundWindow(other);
    SelectServerRow(RowOfRecord(RecordOf(28064)));
    // Under load the display's focus events can come late and give the
    // browser the front again: the other window is kept there.
    ASSERT_TRUE(PumpUntil(
        [other] {
            if (GetForegroundWindow() != other)
                SetForegroundWindow(other);
            return !Balloons().empty();
        },
        15000, MainWindow));
    int players = _wtoi(Balloons()[0].c_str() + wcslen(L"Frostline: "));
    EXPECT_EQ(Balloons()[0], L"Frostline: " + std::to_wstring(players) + L" of 16 players");
    EXPECT_GE(players, 3);
    EXPECT_EQ(StatusLine(), Balloons()[0] + L".");
    PumpFor(1500, MainWindow);
    EXPECT_EQ(Balloons().size(), 1u) << "told again while the players stayed";
    std::vector<DWORD> asked = LabServerRequests(lab, 0).arrivals;
    ASSERT_GE(asked.size(), 4u);
    for (size_t ask = 2; ask < asked.size(); ask++)
        EXPECT_GE(asked[ask] - asked[ask - 1], 350u) << "ask " << ask;

    SendMessageW(MainWindow, WM_NOTIFICATION_ICON, 0, NIN_BALLOONUSERCLICK);
    EXPECT_EQ(GetForegroundWindow(), MainWindow);
    EXPECT_EQ(ServerRowRecord(SelectedServerRow()), RecordOf(28063));
    DestroyWindow(other);
}

// A refresh of the list that lasts longer than the watch's interval asks the
// watched server again on that interval, and shows its answers.
TEST_F(OnWatchTest, LongRefreshAsksTheWatchedServerOnItsInterval)
{
    scenario.servers = {Server(28066, "Frostline", 0, 16)};
    scenario.servers[0].joinEvery = 300;
    for (int port = 28067; port < 28079; port++) {
        scenario.servers.push_back(Server(port, "Quiet", 1));
        scenario.servers.back().silent = true;
    }
    Open();
    WatchServer(inet_addr("127.0.0.1"), 28066, 64);
    PacketsPerSecond = 10;
    WatchAskInterval = 800;
    RefreshMinuteLength = 100;
    RefreshMinutes = 1;
    int frostline = RecordOf(28066);
    ASSERT_TRUE(PumpUntil([] { return RefreshBusy && LatestRefreshPurpose() == RefreshListed; }, 10000, MainWindow));
    DWORD started = timeGetTime();
    int playersAtStart = ServerTable.records[frostline].playerCount;
    ASSERT_TRUE(PumpUntil([] { return !RefreshBusy; }, 30000, MainWindow));
    std::vector<DWORD> asked;
    for (DWORD arrival : LabServerRequests(lab, 0).arrivals) {
        if (static_cast<LONG>(arrival - started) >= -50)
            asked.push_back(arrival);
    }
    ASSERT_GE(asked.size(), 4u) << "the refresh lasted " << timeGetTime() - started << " ms";
    for (size_t ask = 1; ask < asked.size(); ask++)
        EXPECT_GE(asked[ask] - asked[ask - 1], 700u) << "ask " << ask;
    EXPECT_GT(ServerTable.records[frostline].playerCount, playersAtStart + 3);
    EXPECT_EQ(StatusLine(), L"Refreshed 1 of 13 servers.");
}

std::vector<UINT> iconMenuItems;

void CALLBACK ReadIconMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HMENU menu = OpenPopupMenu();
    if (menu == nullptr)
        return;
    KillTimer(nullptr, timer);
    for (int item = 0; item < GetMenuItemCount(menu); item++)
        iconMenuItems.push_back(GetMenuItemID(menu, item));
    EndMenu();
}

// Kept in the notification area, a minimised window leaves the taskbar and
// comes back from the icon's menu; the icon comes again when the shell
// restarts, and goes with the window.
TEST_F(OnWatchTest, MinimisedWindowLivesInTheNotificationArea)
{
    scenario.servers = {Server(28065, "Alpha", 1)};
    KeepInNotificationArea = 1;
    Open();
    ASSERT_EQ(ShellCalls.size(), 1u);
    EXPECT_EQ(ShellCalls[0].message, static_cast<DWORD>(NIM_ADD));

    ShowWindow(MainWindow, SW_MINIMIZE);
    EXPECT_FALSE(IsWindowVisible(MainWindow));
    iconMenuItems.clear();
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadIconMenu);
    SendMessageW(MainWindow, WM_NOTIFICATION_ICON, 0, WM_RBUTTONUP);
    KillTimer(nullptr, timer);
    EXPECT_EQ(iconMenuItems, (std::vector<UINT>{IDM_OPEN_WINDOW, IDM_ICON_UPDATE, 0, IDM_ICON_EXIT}));
    SendMessageW(MainWindow, WM_COMMAND, IDM_OPEN_WINDOW, 0);
    EXPECT_TRUE(IsWindowVisible(MainWindow));
    EXPECT_FALSE(IsIconic(MainWindow));

    SendMessageW(MainWindow, RegisterWindowMessageW(L"TaskbarCreated"), 0, 0);
    ASSERT_EQ(ShellCalls.size(), 2u);
    EXPECT_EQ(ShellCalls[1].message, static_cast<DWORD>(NIM_ADD));
    SendMessageW(MainWindow, WM_COMMAND, IDM_ICON_EXIT, 0);
    EXPECT_FALSE(IsWindow(MainWindow));
    ASSERT_EQ(ShellCalls.size(), 3u);
    EXPECT_EQ(ShellCalls[2].message, static_cast<DWORD>(NIM_DELETE));
}

}  // namespace
