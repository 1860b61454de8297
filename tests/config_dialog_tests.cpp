// The configuration dialog, driven as the user would: shown values, the
// path rules, Escape, Enter, the close box and the immediate highlighting.
#include <winsock2.h>

#include <commctrl.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <functional>
#include <string>
#include <vector>

#include "engine/server_table.h"
#include "resources/resource.h"
#include "settings/link_registration.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "tests/message_pump.h"
#include "tests/scratch_space.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/player_list.h"
#include "ui/server_list.h"

namespace {

using DialogStep = std::function<void(HWND dialog)>;

std::vector<DialogStep> pendingSteps;
size_t nextStep;
bool dialogStillOpen;

HWND ConfigWindow()
{
    return FindWindowW(L"#32770", L"Config");
}

// Each tick of the timer runs the next step inside the dialog's modal loop.
void CALLBACK RunNextStep(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dialog = ConfigWindow();
    if (dialog == nullptr || nextStep == pendingSteps.size()) {
        KillTimer(nullptr, timer);
        dialogStillOpen = dialog != nullptr;
        if (dialog != nullptr)
            EndDialog(dialog, 0);
        return;
    }
    pendingSteps[nextStep++](dialog);
}

class ConfigDialogTest : public ServerViewsTest {
protected:
    // Presses Config and runs the steps in the open dialog, one per tick.
    // Returns whether the dialog was still open after the last step.
    bool RunDialog(std::vector<DialogStep> steps)
    {
        pendingSteps = std::move(steps);
        nextStep = 0;
        dialogStillOpen = false;
        UINT_PTR timer = SetTimer(nullptr, 0, 30, RunNextStep);
        SendDlgItemMessageW(MainWindow, IDC_CONFIG, BM_CLICK, 0, 0);
        KillTimer(nullptr, timer);
        return dialogStillOpen;
    }
};

std::wstring FieldText(HWND dialog, int id)
{
    wchar_t text[1024];
    GetDlgItemTextW(dialog, id, text, 1024);
    return text;
}

// The dialog's loop translates the key, as it would a real one.
void PressKey(HWND dialog, int id, WPARAM key)
{
    HWND field = GetDlgItem(dialog, id);
    SetFocus(field);
    PostMessageW(field, WM_KEYDOWN, key, 1);
    PostMessageW(field, WM_KEYUP, key, 0xC0000001);
}

TEST_F(ConfigDialogTest, ShowsTheCurrentValuesAndTheCloseBoxApplies)
{
    lstrcpyW(GamePath, L"C:\\Games\\");
    PacketsPerSecond = -1;
    GoodPing = 70;
    MediumPing = 140;
    std::wstring shown[6];
    bool open = RunDialog({[&shown](HWND dialog) {
                               const int ids[] = {IDC_GAME_PATH, IDC_GAME_EXECUTABLE, IDC_PACKETS_PER_SECOND,
                                                  IDC_GOOD_PING, IDC_MEDIUM_PING, IDC_BUDDY_LIST};
                               for (int index = 0; index < 6; index++)
                                   shown[index] = FieldText(dialog, ids[index]);
                               SetDlgItemTextW(dialog, IDC_PACKETS_PER_SECOND, L"");
                               SetDlgItemTextW(dialog, IDC_GOOD_PING, L"");
                               SetDlgItemTextW(dialog, IDC_GAME_EXECUTABLE, L"");
                               shown[5] += FieldText(dialog, IDC_MAXIMUM_PING);
                               SetDlgItemTextW(dialog, IDC_MAXIMUM_PING, L"180");
                           },
                           [](HWND dialog) { PostMessageW(dialog, WM_CLOSE, 0, 0); }});
    EXPECT_FALSE(open);
    EXPECT_EQ(shown[0], L"C:\\Games\\");
    EXPECT_EQ(shown[1], L"quake2.exe");
    EXPECT_EQ(shown[2], L"-1");
    EXPECT_EQ(shown[3], L"70");
    EXPECT_EQ(shown[4], L"140");
    EXPECT_EQ(shown[5], L"");
    // Emptied fields take the defaults a restart would give them, at once.
    EXPECT_EQ(PacketsPerSecond, 10);
    EXPECT_EQ(GoodPing, 100);
    EXPECT_EQ(MediumPing, 140);
    EXPECT_STREQ(GameExecutable, L"quake2.exe");
    // No ping limit shows as an empty field.
    EXPECT_EQ(MaximumPing, 180u);
}

TEST_F(ConfigDialogTest, GamePathEndsWithOneBackslash)
{
    std::wstring longPath(300, L'q');
    std::wstring longEndingInBackslash = std::wstring(257, L'q') + L"\\" + std::wstring(42, L'r');
    struct Case {
        std::wstring typed;
        std::wstring stored;
    };
    const Case cases[] = {{L"C:\\Games\\Quake2", L"C:\\Games\\Quake2\\"},
                          {L"C:\\Games\\Quake2\\", L"C:\\Games\\Quake2\\"},
                          {L"", L""},
                          {longPath, std::wstring(258, L'q') + L"\\"},
                          {longEndingInBackslash, std::wstring(257, L'q') + L"\\"}};
    for (const Case& test : cases) {
        RunDialog({[&test](HWND dialog) {
            SetDlgItemTextW(dialog, IDC_GAME_PATH, test.typed.c_str());
            PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        }});
        EXPECT_EQ(std::wstring(GamePath), test.stored);
    }
}

TEST_F(ConfigDialogTest, EscapeChangesNothingAndEnterDependsOnTheField)
{
    GoodPing = 100;
    bool open = RunDialog({[](HWND dialog) {
                               SetDlgItemTextW(dialog, IDC_GOOD_PING, L"55");
                               PressKey(dialog, IDC_GOOD_PING, VK_ESCAPE);
                           },
                           [](HWND) {}});
    EXPECT_TRUE(open);
    EXPECT_EQ(GoodPing, 100) << "the dialog was not applied by Escape, nor by the test ending it";

    std::wstring buddies;
    open = RunDialog({[](HWND dialog) {
                          SetDlgItemTextW(dialog, IDC_BUDDY_LIST, L"Alice");
                          SendDlgItemMessageW(dialog, IDC_BUDDY_LIST, EM_SETSEL, 5, 5);
                          PressKey(dialog, IDC_BUDDY_LIST, VK_RETURN);
                      },
                      [&buddies](HWND dialog) { buddies = FieldText(dialog, IDC_BUDDY_LIST); }});
    EXPECT_TRUE(open);
    EXPECT_EQ(buddies, L"Alice\r\n");

    open = RunDialog({[](HWND dialog) {
                          SetDlgItemTextW(dialog, IDC_GAME_PATH, L"D:\\Q2");
                          PressKey(dialog, IDC_GAME_PATH, VK_RETURN);
                      },
                      [](HWND) {}, [](HWND) {}});
    EXPECT_FALSE(open);
    EXPECT_STREQ(GamePath, L"D:\\Q2\\");
}

TEST_F(ConfigDialogTest, NewBuddiesHighlightAtOnce)
{
    ServerRecord record = AnsweredRecord(L"Bob's place", 0, 8, 20);
    record.playerCount = 1;
    lstrcpyW(record.players[0].name, L"Bob");
    ShowRecords({record});
    ASSERT_FALSE(ServerHasBuddy(ServerTable.records[0]));

    RunDialog({[](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_BUDDY_LIST, L"Alice\r\nbob");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_STREQ(BuddyText, L"Alice\r\nbob");
    EXPECT_EQ(BuddyCount, 2);
    EXPECT_TRUE(ServerHasBuddy(ServerTable.records[0]));

    RunDialog({[](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_BUDDY_LIST, L"");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(BuddyCount, 0);
    EXPECT_FALSE(ServerHasBuddy(ServerTable.records[0]));
}

// The built-in master is shown until the player chooses others; the chosen
// ones are saved as the dialog closes, one entry per usable line.
TEST_F(ConfigDialogTest, MasterServersFieldShowsAndKeepsTheChoice)
{
    std::wstring shown;
    RunDialog({[&shown](HWND dialog) {
        shown = FieldText(dialog, IDC_MASTER_SERVERS);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(shown, L"127.0.0.1");
    EXPECT_FALSE(MasterServersChosen);

    RunDialog({[](HWND dialog) {
        SetDlgItemTextW(dialog, IDC_MASTER_SERVERS, L"127.0.0.1\r\n  master.invalid:27901 \r\nnot a master!\r\n");
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_TRUE(MasterServersChosen);
    ASSERT_EQ(MasterServers.count, 2);
    wchar_t stored[64] = {};
    DWORD size = sizeof(stored) - sizeof(wchar_t);
    DWORD type = REG_NONE;
    EXPECT_EQ(SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Master Servers", &type, stored, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_MULTI_SZ));
    EXPECT_EQ(std::wstring(stored, size / sizeof(wchar_t)), std::wstring(L"127.0.0.1\0master.invalid:27901\0", 32));

    RunDialog({[&shown](HWND dialog) {
        shown = FieldText(dialog, IDC_MASTER_SERVERS);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(shown, L"127.0.0.1\r\nmaster.invalid:27901");
}

HWND FolderPicker()
{
    HWND picker = GetLastActivePopup(ConfigWindow());
    return picker != ConfigWindow() ? picker : nullptr;
}

// Browse fills the game folder from the platform's picker, whose OK takes
// only a folder that holds the executable.
TEST_F(ConfigDialogTest, BrowseTakesOnlyAFolderWithTheGame)
{
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty());
    std::wstring game = scratch.path + L"Quake2";
    std::wstring empty = scratch.path + L"Empty";
    CreateDirectoryW(game.c_str(), nullptr);
    CreateDirectoryW(empty.c_str(), nullptr);
    HANDLE file = CreateFileW((game + L"\\quake2.exe").c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(file);
    bool emptyTaken = true;
    bool gameTaken = false;
    std::wstring shown;
    // Each step looks once the picker has handled what the one before did.
    RunDialog({[](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDC_BROWSE_GAME_PATH, 0); },
               [&](HWND) {
                   HWND picker = FolderPicker();
                   ASSERT_NE(picker, nullptr);
                   SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(empty.c_str()));
               },
               [&](HWND) {
                   HWND picker = FolderPicker();
                   ASSERT_NE(picker, nullptr);
                   emptyTaken = IsWindowEnabled(GetDlgItem(picker, IDOK));
                   SendMessageW(picker, BFFM_SETSELECTIONW, TRUE, reinterpret_cast<LPARAM>(game.c_str()));
               },
               [&](HWND) {
                   HWND picker = FolderPicker();
                   ASSERT_NE(picker, nullptr);
                   gameTaken = IsWindowEnabled(GetDlgItem(picker, IDOK));
                   PostMessageW(picker, WM_COMMAND, IDOK, 0);
               },
               [&](HWND dialog) {
                   shown = FieldText(dialog, IDC_GAME_PATH);
                   PostMessageW(dialog, WM_COMMAND, IDOK, 0);
               }});
    EXPECT_FALSE(emptyTaken);
    EXPECT_TRUE(gameTaken);
    EXPECT_EQ(shown, game + L"\\");
    EXPECT_EQ(std::wstring(GamePath), game + L"\\");
}

// The folder the picker shows selected: its tree's chosen item.
std::wstring PickerSelection(HWND picker)
{
    HWND tree = FindWindowExW(picker, nullptr, WC_TREEVIEWW, nullptr);
    wchar_t text[MAX_PATH] = L"";
    TVITEMW item = {};
    item.mask = TVIF_TEXT;
    item.hItem = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0));
    item.pszText = text;
    item.cchTextMax = MAX_PATH;
    SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return text;
}

// With no game folder set, the picker opens at the root of drive C.
TEST_F(ConfigDialogTest, BrowseOpensAtDriveCWithNoFolderSet)
{
    std::wstring selected;
    RunDialog({[](HWND dialog) {
                   SetDlgItemTextW(dialog, IDC_GAME_PATH, L"");
                   PostMessageW(dialog, WM_COMMAND, IDC_BROWSE_GAME_PATH, 0);
               },
               [&](HWND) {
                   HWND picker = FolderPicker();
                   ASSERT_NE(picker, nullptr);
                   selected = PickerSelection(picker);
                   PostMessageW(picker, WM_COMMAND, IDCANCEL, 0);
               },
               [](HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }});
    EXPECT_NE(selected.find(L"(C:)"), std::wstring::npos) << selected;
}

// Ticked, Config makes this program the opener of join links (in the test's
// own key); unticked, it takes the entry away, but never another program's,
// which it names. One whose program is gone is offered to this copy once.
TEST_F(ConfigDialogTest, LinkOpenerIsRegisteredAndRemoved)
{
    const wchar_t* playersKey = LinkClassKey;
    LinkClassKey = L"Software\\Quarrix Tests\\Classes\\quarrix";
    wchar_t program[PathSize];
    ASSERT_EQ(WhoOpensLinks(program), LinksOpenNothing);
    RunDialog({[](HWND dialog) {
        CheckDlgButton(dialog, IDC_OPEN_LINKS, BST_CHECKED);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(WhoOpensLinks(program), LinksOpenThisCopy);
    std::wstring state;
    bool ticked = false;
    RunDialog({[&](HWND dialog) {
        state = FieldText(dialog, IDC_LINKS_STATE);
        ticked = IsDlgButtonChecked(dialog, IDC_OPEN_LINKS) == BST_CHECKED;
        CheckDlgButton(dialog, IDC_OPEN_LINKS, BST_UNCHECKED);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_TRUE(ticked);
    EXPECT_EQ(state, L"Links open this copy.");
    EXPECT_EQ(WhoOpensLinks(program), LinksOpenNothing);

    HKEY command;
    std::wstring commandKey = std::wstring(LinkClassKey) + L"\\shell\\open\\command";
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, commandKey.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &command,
                              nullptr),
              ERROR_SUCCESS);
    const wchar_t elsewhere[] = L"\"C:\\Moved Away\\QuarrixBrowser.exe\" \"%1\"";
    RegSetValueExW(command, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(elsewhere), sizeof(elsewhere));
    RegCloseKey(command);
    RunDialog({[&](HWND dialog) {
        state = FieldText(dialog, IDC_LINKS_STATE);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(state, L"Links open C:\\Moved Away\\QuarrixBrowser.exe.");
    EXPECT_EQ(WhoOpensLinks(program), LinksOpenAnother);
    EXPECT_TRUE(LinksOpenAMovedCopy(program));
    EXPECT_FALSE(LinksOpenAMovedCopy(program)) << "asked about at every start";
    for (const wchar_t* part : {L"\\shell\\open\\command", L"\\shell\\open", L"\\shell", L""})
        RegDeleteKeyW(HKEY_CURRENT_USER, (std::wstring(LinkClassKey) + part).c_str());
    LinkClassKey = playersKey;
}

// Every label shows its whole text on one line, with the dialog's own font.
TEST_F(ConfigDialogTest, LabelsHoldTheirText)
{
    std::vector<std::wstring> cut;
    RunDialog({[&cut](HWND dialog) {
        cut = CutLabels(dialog);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(cut, std::vector<std::wstring>{});
}

// The refresh's minutes (60 at the most), the watched servers the player
// removes, and the notification area's box are taken as the dialog closes.
TEST_F(ConfigDialogTest, RefreshAndWatchChoicesAreTaken)
{
    WatchServer(inet_addr("10.0.0.5"), 27910, 6);
    WatchServer(inet_addr("10.0.0.6"), 27911, 2);
    RefreshMinutes = 5;
    std::wstring minutes;
    std::vector<std::wstring> lines;
    RunDialog({[&](HWND dialog) {
        minutes = FieldText(dialog, IDC_REFRESH_MINUTES);
        HWND list = GetDlgItem(dialog, IDC_WATCHED_SERVERS);
        for (LRESULT line = 0; line < SendMessageW(list, LB_GETCOUNT, 0, 0); line++) {
            wchar_t text[128] = L"";
            SendMessageW(list, LB_GETTEXT, line, reinterpret_cast<LPARAM>(text));
            lines.push_back(text);
        }
        SendMessageW(list, LB_SETCURSEL, 0, 0);
        SendMessageW(dialog, WM_COMMAND, IDC_REMOVE_WATCHED, 0);
        SetDlgItemTextW(dialog, IDC_REFRESH_MINUTES, L"75");
        CheckDlgButton(dialog, IDC_KEEP_IN_NOTIFICATION_AREA, BST_CHECKED);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
    }});
    EXPECT_EQ(minutes, L"5");
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"10.0.0.5:27910: 6 or more players",
                                                L"10.0.0.6:27911: 2 or more players"}));
    ASSERT_EQ(WatchedServerCount, 1);
    EXPECT_EQ(WatchedServers[0].port, 27911);
    EXPECT_EQ(RefreshMinutes, 60u);
    EXPECT_EQ(KeepInNotificationArea, 1u);
    wchar_t stored[64] = {};
    DWORD size = sizeof(stored) - sizeof(wchar_t);
    SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Watched Servers", nullptr, stored, &size);
    EXPECT_EQ(std::wstring(stored, size / sizeof(wchar_t)), std::wstring(L"10.0.0.6:27911 2\0\0", 18));
}

TEST(ConfigTemplate, MatchesTheLayout)
{
    DialogTemplate dialog = ReadDialogTemplate(IDD_CONFIG);
    EXPECT_EQ(dialog.style, DWORD(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(dialog.rect, (RECT{0, 0, 280, 343}));
    EXPECT_EQ(dialog.caption, L"Config");
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");
    EXPECT_EQ(dialog.pointSize, 8);
    struct Expected {
        int id;
        const wchar_t* className;
        const wchar_t* text;
        DWORD style;
        RECT rect;
    };
    const Expected controls[] = {
        {IDC_GAME_PATH, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {7, 17, 139, 14}},
        {IDC_BROWSE_GAME_PATH, L"BUTTON", L"&Browse...", WS_TABSTOP | BS_PUSHBUTTON, {150, 17, 40, 14}},
        {IDC_GAME_EXECUTABLE, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {7, 45, 183, 14}},
        {-1, L"STATIC", L"Game Path", WS_GROUP | SS_LEFT, {7, 7, 102, 8}},
        {-1, L"STATIC", L"Game Executable", WS_GROUP | SS_LEFT, {7, 35, 102, 9}},
        {-1, L"STATIC", L"Buddy List (one per line)", WS_GROUP | SS_LEFT, {7, 64, 183, 8}},
        {IDC_BUDDY_LIST, L"EDIT", L"",
         WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN, {7, 74, 183, 59}},
        {-1, L"STATIC", L"Master Servers", WS_GROUP | SS_LEFT, {7, 139, 102, 8}},
        {IDC_MASTER_SERVERS, L"EDIT", L"",
         WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN, {7, 149, 131, 44}},
        {-1, L"STATIC", L"Favourite Servers", WS_GROUP | SS_LEFT, {142, 139, 102, 8}},
        {IDC_FAVOURITE_SERVERS, L"EDIT", L"",
         WS_BORDER | WS_VSCROLL | WS_TABSTOP | ES_MULTILINE | ES_AUTOHSCROLL | ES_WANTRETURN, {142, 149, 131, 44}},
        {-1, L"STATIC", L"Queries Per Second", WS_GROUP | SS_LEFT, {198, 7, 75, 8}},
        {IDC_PACKETS_PER_SECOND, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, {198, 17, 68, 14}},
        {-1, L"STATIC", L"Good ping value", WS_GROUP | SS_LEFT, {199, 36, 67, 8}},
        {IDC_GOOD_PING, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, {198, 45, 68, 14}},
        {-1, L"STATIC", L"Medium ping value", WS_GROUP | SS_LEFT, {199, 64, 67, 8}},
        {IDC_MEDIUM_PING, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, {198, 73, 68, 14}},
        {-1, L"STATIC", L"Hide servers slower than", WS_GROUP | SS_LEFT, {7, 203, 95, 8}},
        {IDC_MAXIMUM_PING, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, {104, 201, 30, 14}},
        {-1, L"STATIC", L"ms", WS_GROUP | SS_LEFT, {137, 203, 12, 8}},
        {-1, L"STATIC", L"&Refresh the listed servers every", WS_GROUP | SS_LEFT, {7, 221, 130, 8}},
        {IDC_REFRESH_MINUTES, L"EDIT", L"", WS_BORDER | WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, {139, 219, 30, 14}},
        {-1, L"STATIC", L"minutes", WS_GROUP | SS_LEFT, {172, 221, 40, 8}},
        {-1, L"STATIC", L"&Watched Servers", WS_GROUP | SS_LEFT, {7, 238, 120, 8}},
        {IDC_WATCHED_SERVERS, L"LISTBOX", L"", WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
         {7, 248, 214, 40}},
        {IDC_REMOVE_WATCHED, L"BUTTON", L"Re&move", WS_TABSTOP | BS_PUSHBUTTON, {225, 248, 48, 14}},
        {IDC_SEARCH_LOCAL_NETWORK, L"BUTTON", L"Also look for servers on the l&ocal network",
         WS_TABSTOP | BS_AUTOCHECKBOX, {7, 294, 200, 10}},
        {IDC_KEEP_IN_NOTIFICATION_AREA, L"BUTTON", L"&Keep running in the notification area when minimised",
         WS_TABSTOP | BS_AUTOCHECKBOX, {7, 307, 240, 10}},
        {IDC_OPEN_LINKS, L"BUTTON", L"Open quarrix:// &links with this browser", WS_TABSTOP | BS_AUTOCHECKBOX,
         {7, 320, 200, 10}},
        {IDC_LINKS_STATE, L"STATIC", L"", SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, {7, 333, 266, 8}},
        {IDOK, L"BUTTON", L"OK", WS_TABSTOP | BS_PUSHBUTTON, {223, 201, 50, 14}},
    };
    ASSERT_EQ(dialog.controls.size(), std::size(controls));
    for (size_t index = 0; index < dialog.controls.size(); index++) {
        const TemplateControl& control = dialog.controls[index];
        SCOPED_TRACE(index);
        EXPECT_EQ(control.id, controls[index].id);
        EXPECT_EQ(control.text, controls[index].text);
        EXPECT_EQ(control.style, controls[index].style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(control.rect, controls[index].rect);
        EXPECT_TRUE(SameWindowClass(control.className, controls[index].className));
    }
}

}  // namespace
