// A server row's actions against the lab network: a refresh that shows new
// values in place or takes the row away under the filters, a silent server,
// a refresh cancelled by an update, Copy Address, the keys, and the menu
// during an update.
#include <winsock2.h>

#include <commctrl.h>
#include <shlwapi.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "tests/clipboard_text.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/player_list.h"
#include "ui/server_list.h"

namespace {

enum Column { HostColumn, AddressColumn, MapColumn, PlayersColumn };

LabServer Server(int port, const std::string& name, int players)
{
    LabServer server;
    server.port = port;
    server.info = {{"hostname", name}, {"mapname", "q2dm1"}, {"maxclients", "8"}};
    for (int player = 0; player < players; player++)
        server.players.push_back({player, 20, name + " " + std::to_string(player)});
    return server;
}

// Alpha, Bravo and Charlie on 28040 to 28042, listed by host name.
LabScenario ThreeServers()
{
    LabScenario scenario;
    scenario.servers = {Server(28040, "Alpha", 2), Server(28041, "Bravo", 1), Server(28042, "Charlie", 3)};
    return scenario;
}

class ServerMenuTest : public MainWindowTest {
protected:
    LabScenario scenario = ThreeServers();

    void SetUp() override
    {
        MainWindowTest::SetUp();
        ASSERT_TRUE(ServeLab(scenario));
        ASSERT_NE(CreateWindowUnderTest(), nullptr);
        WaitForUpdate();
        NotifyMainWindow(ServerList, IDC_SERVER_LIST, LVN_COLUMNCLICK, HostColumn);
        ASSERT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie"}));
        SelectServerRow(1);
    }

    void Reserve() { ServeAgain(scenario); }

    // A key as the message loop meets it; true when it was one of the
    // window's keys.
    bool PressKey(WORD key, bool control, bool shift = false)
    {
        BYTE state[256];
        GetKeyboardState(state);
        state[VK_CONTROL] = control ? 0x80 : 0;
        state[VK_SHIFT] = shift ? 0x80 : 0;
        SetKeyboardState(state);
        MSG message = {};
        message.hwnd = ServerList;
        message.message = WM_KEYDOWN;
        message.wParam = key;
        message.lParam = 1;
        bool translated = TranslateMainWindowKeys(&message);
        state[VK_CONTROL] = state[VK_SHIFT] = 0;
        SetKeyboardState(state);
        return translated;
    }

    // Refreshes the selected row with Ctrl+R and waits for the refresh's end.
    void Refresh()
    {
        ASSERT_TRUE(PressKey('R', true));
        ASSERT_TRUE(RefreshBusy) << "no refresh started";
        ASSERT_TRUE(PumpUntil([] { return !RefreshBusy; }, 10000, MainWindow)) << "the refresh did not end";
    }
};

TEST_F(ServerMenuTest, RefreshShowsTheNewValuesInItsSortedPlace)
{
    scenario.servers[1] = Server(28041, "Zulu", 4);
    scenario.servers[1].info[1].second = "q2dm8";
    Reserve();
    Refresh();
    EXPECT_EQ(StatusLine(), L"127.0.0.1:28041 refreshed.");
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Charlie", L"Zulu"}));
    EXPECT_EQ(CellText(ServerList, 2, MapColumn), L"q2dm8");
    EXPECT_EQ(CellText(ServerList, 2, PlayersColumn), L"4 / 8");
    EXPECT_EQ(SelectedServerRow(), 2);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 4);
    EXPECT_EQ(VisiblePlayerCount, 2 + 4 + 3);
}

TEST_F(ServerMenuTest, ServerThatBecameFullLeavesTheListWithFullUnticked)
{
    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    scenario.servers[1] = Server(28041, "Bravo", 8);
    Reserve();
    Refresh();
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Charlie"}));
    EXPECT_EQ(VisibleServerCount, 2);
    EXPECT_EQ(VisiblePlayerCount, 2 + 3);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 0);
    // Ticked again, the refreshed values show.
    SendDlgItemMessageW(MainWindow, IDC_SHOW_FULL, BM_CLICK, 0, 0);
    EXPECT_EQ(CellText(ServerList, 1, PlayersColumn), L"8 / 8");
}

// The server selected when an update begins is selected again when it
// answers, with its players; a row the player selects meanwhile wins.
TEST_F(ServerMenuTest, SelectionComesBackAfterAnUpdate)
{
    ASSERT_TRUE(PressKey(VK_F5, false));
    WaitForUpdate();
    int row = SelectedServerRow();
    ASSERT_NE(row, -1);
    EXPECT_EQ(CellText(ServerList, row, HostColumn), L"Bravo");
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETITEMCOUNT, 0, 0), 1);

    scenario.servers[1].replyDelay = 600;
    Reserve();
    ASSERT_TRUE(PressKey(VK_F5, false));
    ASSERT_TRUE(PumpUntil([] { return VisibleServerCount == 2; }, 5000, MainWindow));
    SelectServerRow(0);
    WaitForUpdate();
    EXPECT_EQ(CellText(ServerList, SelectedServerRow(), HostColumn), L"Alpha");
}

TEST_F(ServerMenuTest, SilentServerKeepsItsRowAndAnUpdateCancelsAWaitingRefresh)
{
    scenario.servers[1].silent = true;
    Reserve();
    Refresh();
    EXPECT_EQ(StatusLine(), L"No reply from 127.0.0.1:28041.");
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie"}));
    EXPECT_EQ(CellText(ServerList, 1, PlayersColumn), L"1 / 8");
    std::vector<DWORD> requests = LabServerRequests(lab, 1).arrivals;
    ASSERT_EQ(requests.size(), 3u);
    for (size_t request = 1; request < requests.size(); request++)
        EXPECT_GE(requests[request] - requests[request - 1], 900u) << "request " << request;

    // F5 while a refresh waits: the refresh ends without its verdict, then
    // the update runs.
    ASSERT_TRUE(PressKey('R', true));
    ASSERT_TRUE(RefreshBusy);
    ASSERT_TRUE(PressKey(VK_F5, false));
    EXPECT_TRUE(UpdateBusy);
    WaitForUpdate();
    EXPECT_FALSE(RefreshBusy);
    EXPECT_EQ(StatusLine(), L"Completed. 2 of 3 servers responded.");
}

TEST_F(ServerMenuTest, CtrlCPutsTheAddressOnTheClipboard)
{
    ASSERT_TRUE(PressKey('C', true));
    ASSERT_TRUE(OpenClipboard(nullptr));
    HANDLE text = GetClipboardData(CF_UNICODETEXT);
    std::wstring copied = text != nullptr ? static_cast<const wchar_t*>(GlobalLock(text)) : L"";
    if (text != nullptr)
        GlobalUnlock(text);
    CloseClipboard();
    EXPECT_EQ(copied, L"127.0.0.1:28041");
    // Ctrl+Shift+C: the link that shares it.
    ASSERT_TRUE(PressKey('C', true, true));
    EXPECT_EQ(ClipboardText(), L"quarrix://connect/127.0.0.1:28041");
}

UINT refreshItemState;
UINT joinItemState;
UINT defaultItem;
wchar_t favouriteItemText[64];

// Reads the open menu from the menu's own loop, then closes it.
void CALLBACK ReadOpenMenu(HWND, UINT, UINT_PTR timer, DWORD)
{
    HMENU menu = OpenPopupMenu();
    if (menu == nullptr)
        return;
    KillTimer(nullptr, timer);
    refreshItemState = GetMenuState(menu, IDM_REFRESH, MF_BYCOMMAND);
    joinItemState = GetMenuState(menu, IDM_JOIN, MF_BYCOMMAND);
    defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
    GetMenuStringW(menu, IDM_TOGGLE_FAVOURITE, favouriteItemText, 64, MF_BYCOMMAND);
    EndMenu();
}

TEST_F(ServerMenuTest, RefreshIsRefusedDuringAnUpdate)
{
    scenario.servers[0].replyDelay = 1500;
    Reserve();
    StartOrAbortUpdate();
    // Bravo and Charlie are listed again while Alpha's reply is on its way.
    ASSERT_TRUE(PumpUntil([] { return VisibleServerCount == 2; }, 5000, MainWindow));
    ASSERT_TRUE(UpdateBusy);
    SelectServerRow(0);
    refreshItemState = 0;
    defaultItem = 0;
    // The menu key opens the selected row's menu.
    UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadOpenMenu);
    EXPECT_TRUE(PressKey(VK_APPS, false));
    KillTimer(nullptr, timer);
    EXPECT_TRUE(refreshItemState & MF_GRAYED);
    EXPECT_EQ(defaultItem, static_cast<UINT>(IDM_JOIN));
    EXPECT_TRUE(joinItemState & MF_HILITE) << "opened from the keyboard, the menu starts on its default";
    EXPECT_TRUE(PressKey('R', true));
    EXPECT_FALSE(RefreshBusy);
    WaitForUpdate();
    EXPECT_EQ(LabServerRequests(lab, 1).arrivals.size(), 1u) << "a refresh was sent during the update";
}

}  // namespace

namespace {

// The font a row of the server list is drawn with, as its custom drawing
// leaves it.
HFONT RowFont(int row)
{
    HDC context = CreateCompatibleDC(nullptr);
    HGDIOBJ original = GetCurrentObject(context, OBJ_FONT);
    NMLVCUSTOMDRAW draw = {};
    draw.nmcd.hdr = {ServerList, IDC_SERVER_LIST, static_cast<UINT>(NM_CUSTOMDRAW)};
    draw.nmcd.dwDrawStage = CDDS_ITEMPREPAINT;
    draw.nmcd.dwItemSpec = row;
    draw.nmcd.hdc = context;
    LRESULT answer = SendMessageW(MainWindow, WM_NOTIFY, IDC_SERVER_LIST, reinterpret_cast<LPARAM>(&draw));
    HFONT font = static_cast<HFONT>(GetCurrentObject(context, OBJ_FONT));
    EXPECT_EQ((answer & CDRF_NEWFONT) != 0, font != original);
    SelectObject(context, original);
    DeleteDC(context);
    return font;
}

std::wstring StoredFavourites()
{
    wchar_t stored[64] = {};
    DWORD size = sizeof(stored) - sizeof(wchar_t);
    if (SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Favourite Servers", nullptr, stored, &size) != ERROR_SUCCESS)
        return L"(none)";
    return std::wstring(stored, size / sizeof(wchar_t));
}

// The row menu's item marks the selected row as a favourite, drawn in bold,
// and takes the mark away again; each change is saved at once.
TEST_F(ServerMenuTest, FavouriteMarkFollowsTheRowMenu)
{
    auto menuText = [this]() {
        favouriteItemText[0] = L'\0';
        UINT_PTR timer = SetTimer(nullptr, 0, 20, ReadOpenMenu);
        EXPECT_TRUE(PressKey(VK_APPS, false));
        KillTimer(nullptr, timer);
        return std::wstring(favouriteItemText);
    };
    EXPECT_EQ(menuText(), L"Add to &Favourites");
    SendMessageW(MainWindow, WM_COMMAND, IDM_TOGGLE_FAVOURITE, 0);
    EXPECT_EQ(StoredFavourites(), std::wstring(L"127.0.0.1:28041\0", 17));
    EXPECT_EQ(RowFont(1), FavouriteFont);
    EXPECT_NE(RowFont(0), FavouriteFont);
    LOGFONTW face = {};
    GetObjectW(FavouriteFont, sizeof(face), &face);
    EXPECT_EQ(face.lfWeight, FW_BOLD);

    EXPECT_EQ(menuText(), L"Remove from &Favourites");
    SendMessageW(MainWindow, WM_COMMAND, IDM_TOGGLE_FAVOURITE, 0);
    EXPECT_EQ(StoredFavourites(), L"(none)");
    EXPECT_EQ(FavouriteServers.count, 0);
    EXPECT_NE(RowFont(1), FavouriteFont);
}

// Steps run one per tick inside the modal loop of a dialog (its caption in
// stepCaption); a step that returns false runs again at the next tick.
std::vector<std::function<bool()>> dialogSteps;
size_t dialogStep;
int dialogTicks;
const wchar_t* stepCaption;

struct OwnedWindowSearch {
    const wchar_t* caption;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwnedWindow(HWND window, LPARAM parameter)
{
    OwnedWindowSearch* search = reinterpret_cast<OwnedWindowSearch*>(parameter);
    if (WindowText(window) != search->caption || GetWindow(window, GW_OWNER) != search->owner ||
        !IsWindowVisible(window))
        return TRUE;
    search->found = window;
    return FALSE;
}

// A window of this thread with this caption and owner (a dialog, a message box).
HWND FindOwnedWindow(const wchar_t* caption, HWND owner)
{
    OwnedWindowSearch search = {caption, owner, nullptr};
    EnumThreadWindows(GetCurrentThreadId(), MatchOwnedWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void CALLBACK RunDialogStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (dialogStep == dialogSteps.size() || ++dialogTicks > 500) {
        KillTimer(nullptr, timer);
        HWND dialog = FindOwnedWindow(stepCaption, MainWindow);
        if (dialog != nullptr)
            EndDialog(dialog, IDCANCEL);
        return;
    }
    if (dialogSteps[dialogStep]())
        dialogStep++;
}

// Opens the dialog with the key and runs the steps in it; true when every
// step ran.
bool RunDialogSteps(const wchar_t* caption, const std::function<bool()>& pressKey,
                    std::vector<std::function<bool()>> steps)
{
    dialogSteps = std::move(steps);
    dialogStep = 0;
    dialogTicks = 0;
    stepCaption = caption;
    UINT_PTR timer = SetTimer(nullptr, 0, 20, RunDialogStep);
    bool pressed = pressKey();
    KillTimer(nullptr, timer);
    return pressed && dialogStep == dialogSteps.size();
}

// An address that does not parse, or whose name is not found, is told in a
// message box over the dialog, which stays open; nothing is stored.
TEST_F(ServerMenuTest, AddServerRefusesWhatItCannotFind)
{
    std::vector<std::wstring> complaints;
    auto type = [](const wchar_t* address) {
        return [address]() {
            HWND dialog = FindOwnedWindow(L"Add Server", MainWindow);
            if (dialog == nullptr || !IsWindowEnabled(GetDlgItem(dialog, IDOK)))
                return false;
            SetDlgItemTextW(dialog, IDC_SERVER_ADDRESS, address);
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
            return true;
        };
    };
    auto answer = [&complaints]() {
        HWND box = FindOwnedWindow(L"Add Server", FindOwnedWindow(L"Add Server", MainWindow));
        if (box == nullptr)
            return false;
        wchar_t text[256] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, 256);
        complaints.push_back(text);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        return true;
    };
    EXPECT_TRUE(RunDialogSteps(L"Add Server", [this] { return PressKey(VK_INSERT, false); },
                               {type(L"not an address!"), answer, type(L" nowhere.invalid "), answer,
                                [&complaints]() {
                                    HWND dialog = FindOwnedWindow(L"Add Server", MainWindow);
                                    if (dialog != nullptr)
                                        PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
                                    return dialog != nullptr;
                                }}))
        << "the dialog did not go as expected";
    ASSERT_EQ(complaints.size(), 2u);
    EXPECT_EQ(complaints[0].rfind(L"\"not an address!\" is not a server address.", 0), 0u) << complaints[0].c_str();
    EXPECT_EQ(complaints[1], L"Couldn't resolve nowhere.invalid.");
    EXPECT_EQ(FavouriteServers.count, 0);
    EXPECT_EQ(StoredFavourites(), L"(none)");
    EXPECT_EQ(VisibleServerCount, 3);
}

// A silent server added by address is kept as a favourite, and the line
// says where to find it; Config lists it, and taking it out there stores
// the list without it, unmarks its record and retracts the line.
TEST_F(ServerMenuTest, SilentAddedServerCanBeRemovedInConfig)
{
    EXPECT_TRUE(RunDialogSteps(L"Add Server", [this] { return PressKey(VK_INSERT, false); },
                               {[]() {
                                   HWND dialog = FindOwnedWindow(L"Add Server", MainWindow);
                                   if (dialog == nullptr)
                                       return false;
                                   SetDlgItemTextW(dialog, IDC_SERVER_ADDRESS, L"127.0.0.1:37999");
                                   PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                                   return true;
                               }}));
    ASSERT_TRUE(PumpUntil([] { return !RefreshBusy; }, 10000, MainWindow));
    EXPECT_EQ(StatusLine(),
              L"No reply from 127.0.0.1:37999. It is kept as a favourite: Config lists it under Favourite Servers.");
    ServerRecord* added = &ServerTable.records[ServerTable.count - 1];
    EXPECT_EQ(added->favourite, 1);

    // Bravo becomes a favourite too; the silent one is taken out in Config.
    SendMessageW(MainWindow, WM_COMMAND, IDM_TOGGLE_FAVOURITE, 0);
    std::wstring shown;
    EXPECT_TRUE(RunDialogSteps(L"Config",
                               [] { return SendDlgItemMessageW(MainWindow, IDC_CONFIG, BM_CLICK, 0, 0) == 0; },
                               {[&shown]() {
                                   HWND dialog = FindOwnedWindow(L"Config", MainWindow);
                                   if (dialog == nullptr)
                                       return false;
                                   shown = WindowText(GetDlgItem(dialog, IDC_FAVOURITE_SERVERS));
                                   SetDlgItemTextW(dialog, IDC_FAVOURITE_SERVERS, L" 127.0.0.1:28041\r\n");
                                   PostMessageW(dialog, WM_COMMAND, IDOK, 0);
                                   return true;
                               }}));
    EXPECT_EQ(shown, L"127.0.0.1:37999\r\n127.0.0.1:28041");
    EXPECT_EQ(StatusLine(), L"127.0.0.1:37999 is no longer a favourite.");
    EXPECT_EQ(StoredFavourites(), std::wstring(L"127.0.0.1:28041\0", 17));
    EXPECT_EQ(ServerTable.records[ServerTable.count - 1].favourite, 0);
    EXPECT_EQ(ServerTable.records[ServerRowRecord(1)].favourite, 1);
}


HWND FindDialog()
{
    return FindOwnedWindow(L"Find Player", MainWindow);
}

std::wstring FindStatus()
{
    return WindowText(GetDlgItem(FindDialog(), IDC_FIND_STATUS));
}

std::vector<std::wstring> MatchRows()
{
    std::vector<std::wstring> rows;
    HWND list = GetDlgItem(FindDialog(), IDC_FIND_MATCHES);
    int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < count; row++)
        rows.push_back(CellText(list, row, 0) + L" on " + CellText(list, row, 1));
    return rows;
}

std::function<bool()> TypeInFind(const wchar_t* text)
{
    return [text]() {
        if (FindDialog() == nullptr)
            return false;
        SetDlgItemTextW(FindDialog(), IDC_FIND_TEXT, text);
        return true;
    };
}

std::function<bool()> FindStatusIs(const wchar_t* text)
{
    return [text]() { return FindDialog() != nullptr && FindStatus() == text; };
}

// Part of a name, in any case, finds players across servers; Enter shows
// the chosen one in the main window.
TEST_F(ServerMenuTest, FindPlayerShowsTheChosenPlayer)
{
    std::vector<std::wstring> across;
    EXPECT_TRUE(RunDialogSteps(L"Find Player", [this] { return PressKey('F', true); },
                               {TypeInFind(L" 1"), FindStatusIs(L"2 players found."),
                                [&across]() {
                                    across = MatchRows();
                                    return true;
                                },
                                TypeInFind(L"CHARLIE 2"), FindStatusIs(L"1 player found."), []() {
                                    PostMessageW(FindDialog(), WM_COMMAND, IDOK, 0);
                                    return true;
                                }}));
    EXPECT_EQ(across, (std::vector<std::wstring>{L"Alpha 1 on Alpha", L"Charlie 1 on Charlie"}));
    EXPECT_EQ(FindDialog(), nullptr);
    EXPECT_EQ(CellText(ServerList, SelectedServerRow(), HostColumn), L"Charlie");
    int player = static_cast<int>(SendMessageW(PlayerList, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    EXPECT_EQ(CellText(PlayerList, player, 0), L"Charlie 2");
    EXPECT_EQ(GetFocus(), PlayerList) << "the chosen player's selection does not show";
}

bool CentredOverMainWindow(HWND dialog)
{
    RECT owner;
    RECT placed;
    GetWindowRect(MainWindow, &owner);
    GetWindowRect(dialog, &placed);
    return abs((owner.left + owner.right) - (placed.left + placed.right)) <= 2 &&
           abs((owner.top + owner.bottom) - (placed.top + placed.bottom)) <= 2;
}

// The dialogs open centred over the window; in Find Player the first match
// is the chosen one, and Down in the name field goes on into the matches.
TEST_F(ServerMenuTest, DialogsOpenCentredAndDownEntersTheMatches)
{
    std::vector<bool> centred;
    auto noteCentred = [&centred](const wchar_t* caption) {
        return [&centred, caption]() {
            HWND dialog = FindOwnedWindow(caption, MainWindow);
            if (dialog != nullptr) {
                centred.push_back(CentredOverMainWindow(dialog));
                PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
            }
            return dialog != nullptr;
        };
    };
    EXPECT_TRUE(RunDialogSteps(L"Add Server", [this] { return PressKey(VK_INSERT, false); },
                               {noteCentred(L"Add Server")}));
    EXPECT_TRUE(RunDialogSteps(L"Server Details",
                               [] { return SendMessageW(MainWindow, WM_COMMAND, IDM_SERVER_DETAILS, 0) == 0; },
                               {noteCentred(L"Server Details")}));
    int focused = 0;
    int chosen = -1;
    EXPECT_TRUE(RunDialogSteps(L"Find Player", [this] { return PressKey('F', true); },
                               {TypeInFind(L" 1"), FindStatusIs(L"2 players found."),
                                [&chosen, &focused]() {
                                    chosen = static_cast<int>(SendDlgItemMessageW(FindDialog(), IDC_FIND_MATCHES,
                                                                                  LVM_GETNEXTITEM, -1, LVNI_SELECTED));
                                    HWND field = GetDlgItem(FindDialog(), IDC_FIND_TEXT);
                                    SetForegroundWindow(FindDialog());
                                    SetFocus(field);
                                    SendMessageW(field, WM_KEYDOWN, VK_DOWN, 1);
                                    focused = GetDlgCtrlID(GetFocus());
                                    return true;
                                },
                                noteCentred(L"Find Player")}));
    EXPECT_EQ(centred, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(chosen, 0);
    EXPECT_EQ(focused, IDC_FIND_MATCHES);
}

// An update while the dialog is open: the matches follow the new table as
// its servers answer, ten a second, and never name a record of the old one.
TEST_F(ServerMenuTest, FindPlayerFollowsAnUpdate)
{
    scenario.servers[0] = Server(28040, "Zulu", 2);
    for (int port = 28050; port < 28070; port++)
        scenario.servers.push_back(Server(port, "Filler", 0));
    bool onlyZulus = true;
    bool foundDuringUpdate = false;
    EXPECT_TRUE(RunDialogSteps(
        L"Find Player", [this] { return PressKey('F', true); },
        {TypeInFind(L"zulu"), FindStatusIs(L"No player found."),
         [this]() {
             Reserve();
             PacketsPerSecond = 10;
             StartOrAbortUpdate();
             return true;
         },
         [&]() {
             for (const std::wstring& row : MatchRows())
                 onlyZulus = onlyZulus && row.rfind(L"Zulu", 0) == 0;
             foundDuringUpdate = UpdateBusy != 0;
             return FindStatus() == L"2 players found.";
         },
         []() {
             PostMessageW(FindDialog(), WM_COMMAND, IDCANCEL, 0);
             return true;
         }}));
    EXPECT_TRUE(onlyZulus);
    EXPECT_TRUE(foundDuringUpdate);
}

// Every key of the reply, in reply order until the Key header sorts them;
// a refresh while the dialog is open shows the new reply.
TEST_F(ServerMenuTest, ServerDetailsListEveryKeyAndCopyThem)
{
    std::vector<std::wstring> first;
    std::vector<std::wstring> refreshed;
    auto keys = []() {
        HWND list = GetDlgItem(FindOwnedWindow(L"Server Details", MainWindow), IDC_DETAIL_KEYS);
        std::vector<std::wstring> rows;
        for (int row = 0; row < SendMessageW(list, LVM_GETITEMCOUNT, 0, 0); row++)
            rows.push_back(CellText(list, row, 0) + L"=" + CellText(list, row, 1));
        return rows;
    };
    EXPECT_TRUE(RunDialogSteps(
        L"Server Details", [] { return SendMessageW(MainWindow, WM_COMMAND, IDM_SERVER_DETAILS, 0) == 0; },
        {[&]() {
             if (FindOwnedWindow(L"Server Details", MainWindow) == nullptr)
                 return false;
             first = keys();
             scenario.servers[1].info.push_back({"timelimit", "20"});
             scenario.servers[1].info.push_back({"Admin", "Sable"});
             scenario.servers[1].info.push_back({"needpass", "1"});
             Reserve();
             return StartServerRefresh(static_cast<int>(ServerRowRecord(SelectedServerRow())));
         },
         [&]() {
             if (RefreshBusy)
                 return false;
             HWND dialog = FindOwnedWindow(L"Server Details", MainWindow);
             NMLISTVIEW click = {};
             click.hdr.hwndFrom = GetDlgItem(dialog, IDC_DETAIL_KEYS);
             click.hdr.idFrom = IDC_DETAIL_KEYS;
             click.hdr.code = LVN_COLUMNCLICK;
             SendMessageW(dialog, WM_NOTIFY, IDC_DETAIL_KEYS, reinterpret_cast<LPARAM>(&click));
             refreshed = keys();
             SendMessageW(dialog, WM_COMMAND, IDC_COPY_ALL, 0);
             PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
             return true;
         }}));
    EXPECT_EQ(first, (std::vector<std::wstring>{L"hostname=Bravo", L"mapname=q2dm1", L"maxclients=8"}));
    EXPECT_EQ(refreshed, (std::vector<std::wstring>{L"Admin=Sable", L"hostname=Bravo", L"mapname=q2dm1",
                                                    L"maxclients=8", L"needpass=1", L"timelimit=20"}));
    EXPECT_EQ(ClipboardText(), L"Address\t127.0.0.1:28041\r\nJoin Link\tquarrix://connect/127.0.0.1:28041\r\nAdmin\tSable\r\nhostname\tBravo\r\nmapname\tq2dm1\r\nmaxclients\t8\r\nneedpass\t1\r\n"
                               L"timelimit\t20\r\n\r\nBravo 0\t0\t20\r\n");
}

// Down in the filter line goes on into the list; Escape there closes the
// line.
TEST_F(ServerMenuTest, FilterLineAndListHandTheKeysOn)
{
    Reserve();
    StartOrAbortUpdate();
    WaitForUpdate();
    ASSERT_TRUE(PressKey('L', true));
    HWND field = GetDlgItem(MainWindow, IDC_FILTER_TEXT);
    ASSERT_EQ(GetFocus(), field);
    MSG down = {field, WM_KEYDOWN, VK_DOWN, 1, 0, {0, 0}};
    EXPECT_TRUE(TranslateMainWindowKeys(&down));
    EXPECT_EQ(GetFocus(), ServerList);
    EXPECT_EQ(SelectedServerRow(), 0);
    SendMessageW(MainWindow, WM_COMMAND, IDCANCEL, 0);
    EXPECT_FALSE(IsWindowVisible(field));
}

// A server slower than the ping limit leaves the list, and comes back when
// a refresh finds it faster; the filter line holds through an update.
TEST_F(ServerMenuTest, PingLimitAndFilterLineFollowRefreshesAndUpdates)
{
    MaximumPing = 150;
    scenario.servers[1].replyDelay = 300;
    Reserve();
    Refresh();
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Charlie"}));
    scenario.servers[1].replyDelay = 0;
    Reserve();
    ASSERT_TRUE(StartServerRefresh(FindServerRecord(inet_addr("127.0.0.1"), 28041)));
    ASSERT_TRUE(PumpUntil([] { return !RefreshBusy; }, 10000, MainWindow));
    EXPECT_EQ(ListedHosts(), (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie"}));

    ASSERT_TRUE(PressKey('L', true));
    SetDlgItemTextW(MainWindow, IDC_FILTER_TEXT, L"charlie");
    ASSERT_TRUE(PressKey(VK_F5, false));
    WaitForUpdate();
    EXPECT_EQ(ListedHosts(), std::vector<std::wstring>{L"Charlie"});
    EXPECT_EQ(VisibleServerCount, 1);

    // Find Player says why it cannot show a player the filter line hides.
    EXPECT_TRUE(RunDialogSteps(L"Find Player", [this] { return PressKey('F', true); },
                               {TypeInFind(L"Alpha 1"), FindStatusIs(L"1 player found."),
                                []() {
                                    PostMessageW(FindDialog(), WM_COMMAND, IDOK, 0);
                                    return true;
                                },
                                FindStatusIs(L"Alpha is hidden by the filter line."), []() {
                                    PostMessageW(FindDialog(), WM_COMMAND, IDCANCEL, 0);
                                    return true;
                                }}));

    // One the ping limit hides is said to be hidden by it, whatever else.
    scenario.servers[1].replyDelay = 300;
    Reserve();
    ASSERT_TRUE(StartServerRefresh(FindServerRecord(inet_addr("127.0.0.1"), 28041)));
    ASSERT_TRUE(PumpUntil([] { return !RefreshBusy; }, 10000, MainWindow));
    EXPECT_TRUE(RunDialogSteps(L"Find Player", [this] { return PressKey('F', true); },
                               {TypeInFind(L"Bravo 0"), FindStatusIs(L"1 player found."),
                                []() {
                                    PostMessageW(FindDialog(), WM_COMMAND, IDOK, 0);
                                    return true;
                                },
                                FindStatusIs(L"Bravo is hidden by the ping limit of 150 ms."), []() {
                                    PostMessageW(FindDialog(), WM_COMMAND, IDCANCEL, 0);
                                    return true;
                                }}));
}

}  // namespace
