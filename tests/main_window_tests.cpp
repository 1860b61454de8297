// The main window: its template, its controls, the keys that must change
// nothing, the update buttons, resizing, and closing during an update.
#include <winsock2.h>

#include <commctrl.h>
#include <shlwapi.h>
#include <uxtheme.h>

#include <string>
#include <vector>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/status_bar.h"

namespace {

struct ExpectedControl {
    int id;
    const wchar_t* className;
    const wchar_t* text;
    DWORD style;  // besides WS_CHILD and WS_VISIBLE
    RECT rect;    // x, y, width, height
};

const ExpectedControl MainControls[] = {
    {IDC_SERVERS_FRAME, L"Button", L"Servers", BS_GROUPBOX, {0, 0, 456, 140}},
    {IDC_SERVER_LIST, L"SysListView32", L"",
     WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS | LVS_ALIGNLEFT |
         LVS_OWNERDATA,
     {9, 11, 439, 125}},
    {IDC_PLAYERS_FRAME, L"Button", L"Players", BS_GROUPBOX, {0, 144, 385, 101}},
    {IDC_PLAYER_LIST, L"SysListView32", L"",
     WS_BORDER | WS_TABSTOP | LVS_LIST | LVS_SINGLESEL | LVS_SHAREIMAGELISTS | LVS_ALIGNLEFT, {9, 156, 197, 84}},
    {IDC_CONTROLS_FRAME, L"Button", L"Controls", BS_GROUPBOX, {393, 144, 63, 100}},
    {IDC_UPDATE, L"Button", L"Update", WS_TABSTOP | BS_PUSHBUTTON, {398, 157, 50, 14}},
    {IDC_SHOW_FULL, L"Button", L"Full", WS_TABSTOP | BS_AUTOCHECKBOX | BS_FLAT, {398, 175, 49, 10}},
    {IDC_SHOW_EMPTY, L"Button", L"Empty", WS_TABSTOP | BS_AUTOCHECKBOX | BS_FLAT, {398, 187, 49, 10}},
    {IDC_CONFIG, L"Button", L"Config", WS_TABSTOP | BS_PUSHBUTTON, {398, 204, 50, 14}},
    {IDC_EXIT, L"Button", L"Exit", WS_TABSTOP | BS_PUSHBUTTON, {398, 226, 50, 14}},
};

std::wstring ClassOf(HWND window)
{
    wchar_t name[64];
    GetClassNameW(window, name, 64);
    return name;
}

TEST(MainTemplate, MatchesTheLayout)
{
    DialogTemplate dialog = ReadDialogTemplate(IDD_MAIN);
    EXPECT_EQ(dialog.style,
              DWORD(WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | DS_SETFONT | DS_FIXEDSYS));
    EXPECT_EQ(dialog.exStyle, 0u);
    EXPECT_EQ(dialog.rect, (RECT{0, 0, 457, 258}));
    EXPECT_EQ(dialog.menu, L"");
    EXPECT_EQ(dialog.className, L"");
    EXPECT_EQ(dialog.caption, L"Quarrix Server Browser");
    EXPECT_EQ(dialog.pointSize, 8);
    EXPECT_EQ(dialog.weight, 400);
    EXPECT_EQ(dialog.italic, 0);
    EXPECT_EQ(dialog.charset, DEFAULT_CHARSET);
    EXPECT_EQ(dialog.font, L"MS Shell Dlg");

    ASSERT_EQ(dialog.controls.size(), std::size(MainControls));
    for (size_t index = 0; index < dialog.controls.size(); index++) {
        const TemplateControl& control = dialog.controls[index];
        const ExpectedControl& expected = MainControls[index];
        SCOPED_TRACE(expected.id);
        EXPECT_EQ(control.id, expected.id);
        EXPECT_TRUE(SameWindowClass(control.className, expected.className));
        EXPECT_EQ(control.text, expected.text);
        EXPECT_EQ(control.style, expected.style | WS_CHILD | WS_VISIBLE);
        EXPECT_EQ(control.exStyle, 0u);
        EXPECT_EQ(control.helpId, 0u);
        EXPECT_EQ(control.rect, expected.rect);
    }
}

TEST_F(MainWindowTest, ControlsStandWhereTheTemplateSays)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(2)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    for (const ExpectedControl& expected : MainControls) {
        SCOPED_TRACE(expected.id);
        HWND control = GetDlgItem(window, expected.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(ClassOf(control), expected.className);
        if (expected.id != IDC_UPDATE) {
            EXPECT_EQ(WindowText(control), expected.text);
        }
        // A list view turns its border into a sunken client edge.
        DWORD style = GetWindowLongW(control, GWL_STYLE);
        DWORD kept = wcscmp(expected.className, WC_LISTVIEWW) == 0 ? expected.style & ~WS_BORDER : expected.style;
        EXPECT_EQ(style & kept, kept);
        if (wcscmp(expected.className, L"Button") == 0) {
            EXPECT_NE(style & BS_TYPEMASK, DWORD(BS_DEFPUSHBUTTON));
        }
        // Position and size are mapped each by itself, as the dialog manager does.
        RECT mapped = expected.rect;
        MapDialogRect(window, &mapped);
        RECT pixels = {mapped.left, mapped.top, mapped.left + mapped.right, mapped.top + mapped.bottom};
        EXPECT_EQ(ChildRect(window, expected.id), pixels);
    }
    EXPECT_EQ(WindowText(window), L"Quarrix Server Browser");
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(GetFocus(), GetDlgItem(window, IDC_SERVER_LIST));
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
}

int CALLBACK NoteFamily(const LOGFONTW*, const TEXTMETRICW*, DWORD, LPARAM found)
{
    *reinterpret_cast<bool*>(found) = true;
    return 0;
}

bool FontInstalled(HDC context, const wchar_t* family)
{
    LOGFONTW wanted = {};
    wanted.lfCharSet = DEFAULT_CHARSET;
    lstrcpynW(wanted.lfFaceName, family, LF_FACESIZE);
    bool found = false;
    EnumFontFamiliesExW(context, &wanted, NoteFamily, reinterpret_cast<LPARAM>(&found), 0);
    return found;
}

// Dialog text in Tahoma (what "MS Shell Dlg" stands for) and the caption
// buttons' glyphs from Marlett, not from a substitute.
TEST_F(MainWindowTest, DrawsWithTheSystemsOwnFonts)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    HDC context = GetDC(window);
    HGDIOBJ previous = SelectObject(context, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
    std::vector<BYTE> metrics(GetOutlineTextMetricsW(context, 0, nullptr) + sizeof(OUTLINETEXTMETRICW));
    OUTLINETEXTMETRICW* outline = reinterpret_cast<OUTLINETEXTMETRICW*>(metrics.data());
    std::wstring family;
    if (GetOutlineTextMetricsW(context, static_cast<UINT>(metrics.size()), outline) != 0)
        family = reinterpret_cast<const wchar_t*>(metrics.data() + reinterpret_cast<size_t>(outline->otmpFamilyName));
    SelectObject(context, previous);
    EXPECT_EQ(family, L"Tahoma");
    EXPECT_TRUE(FontInstalled(context, L"Marlett"));
    ReleaseDC(window, context);
}

// The colour in the up arrow of a new window's vertical scroll bar, beside
// the arrow's glyph.
COLORREF ScrollArrowFace()
{
    HWND scrolled = CreateWindowExW(WS_EX_TOOLWINDOW, L"Static", L"", WS_POPUP | WS_VISIBLE | WS_VSCROLL, 0, 0, 100,
                                    100, nullptr, nullptr, nullptr, nullptr);
    SetScrollRange(scrolled, SB_VERT, 0, 100, TRUE);
    UpdateWindow(scrolled);
    HDC context = GetWindowDC(scrolled);
    COLORREF face = GetPixel(context, 100 - GetSystemMetrics(SM_CXVSCROLL) + 3, 3);
    ReleaseDC(scrolled, context);
    DestroyWindow(scrolled);
    return face;
}

TEST_F(MainWindowTest, DrawsClassicUnderWine)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    HWND styled = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD, 0, 0, 0, 0, window, nullptr, nullptr, nullptr);
    ASSERT_NE(GetWindowTheme(styled), nullptr) << "Wine draws no styles here";
    DestroyWindow(styled);
    EXPECT_EQ(GetWindowTheme(StatusBar), nullptr);
    EXPECT_EQ(ScrollArrowFace(), GetSysColor(COLOR_BTNFACE));
}

TEST_F(MainWindowTest, EnterAndEscapeChangeNothing)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(2)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    HWND list = GetDlgItem(window, IDC_SERVER_LIST);
    SetFocus(list);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
        PostMessageW(list, WM_KEYDOWN, key, 0);
        PostMessageW(list, WM_KEYUP, key, 0xC0000001);
        PumpPending(window);
    }
    SendMessageW(window, WM_COMMAND, IDOK, 0);
    SendMessageW(window, WM_COMMAND, IDCANCEL, 0);
    PumpPending(window);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_TRUE(IsWindowVisible(window));
    EXPECT_EQ(UpdateBusy, 0);
    EXPECT_EQ(WindowText(GetDlgItem(window, IDC_UPDATE)), L"Update");
}

TEST_F(MainWindowTest, UpdateButtonFollowsTheUpdate)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(6, 100)));
    PacketsPerSecond = 2;
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    HWND update = GetDlgItem(window, IDC_UPDATE);
    HWND config = GetDlgItem(window, IDC_CONFIG);

    // The first update started by itself.
    EXPECT_EQ(UpdateBusy, 1);
    EXPECT_EQ(WindowText(update), L"Abort");
    EXPECT_FALSE(IsWindowEnabled(config));
    EXPECT_TRUE(IsWindowEnabled(update));

    ASSERT_TRUE(PumpUntil([] { return ServerTable.count == 6; }, 10000, window));
    SendMessageW(update, BM_CLICK, 0, 0);
    EXPECT_FALSE(IsWindowEnabled(update));
    EXPECT_EQ(WindowText(update), L"Abort");
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 10000, window));
    EXPECT_EQ(WindowText(update), L"Update");
    EXPECT_TRUE(IsWindowEnabled(update));
    EXPECT_TRUE(IsWindowEnabled(config));
    wchar_t status[StatusTextSize];
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(status));
    EXPECT_EQ(std::wstring(status).rfind(L"Aborted. ", 0), 0u) << std::wstring(status).c_str();
}

TEST_F(MainWindowTest, CompletedUpdateListsTheServers)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(4)));
    ShowFull = ShowEmpty = 1;
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    HWND list = GetDlgItem(window, IDC_SERVER_LIST);
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 4);
    wchar_t text[StatusTextSize];
    SendMessageW(StatusBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"Completed. 4 of 4 servers responded.");
    SendMessageW(StatusBar, SB_GETTEXTW, 2, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"4 Servers");
    SendMessageW(StatusBar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(text));
    EXPECT_STREQ(text, L"4 Players");
}

TEST_F(MainWindowTest, ControlsFollowTheWindowSize)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    RECT outer;
    GetWindowRect(window, &outer);
    MINMAXINFO limits = {};
    SendMessageW(window, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, outer.right - outer.left);
    EXPECT_EQ(limits.ptMinTrackSize.y, outer.bottom - outer.top);

    RECT exit = ChildRect(window, IDC_EXIT);
    RECT servers = ChildRect(window, IDC_SERVER_LIST);
    RECT players = ChildRect(window, IDC_PLAYER_LIST);
    SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + 100, outer.bottom - outer.top + 60,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(ChildRect(window, IDC_EXIT), (RECT{exit.left + 100, exit.top + 60, exit.right + 100, exit.bottom + 60}));
    EXPECT_EQ(ChildRect(window, IDC_SERVER_LIST), (RECT{servers.left, servers.top, servers.right + 100, servers.bottom + 60}));
    EXPECT_EQ(ChildRect(window, IDC_PLAYER_LIST), (RECT{players.left, players.top + 60, players.right + 100, players.bottom + 60}));
}

LRESULT smallIconSeen;

enum CloseWay { CloseBox, AltF4, ExitButton };
CloseWay closeWay;

DWORD WINAPI CloseSoon(LPVOID)
{
    // Once the first update is running and the window has its icon, close
    // the window as the user would.
    smallIconSeen = 0;
    for (int wait = 0; wait < 1000 && smallIconSeen == 0; wait++) {
        if (IsWindow(MainWindow) && UpdateBusy)
            smallIconSeen = SendMessageW(MainWindow, WM_GETICON, ICON_SMALL, 0);
        if (smallIconSeen == 0)
            Sleep(10);
    }
    switch (closeWay) {
    case CloseBox: PostMessageW(MainWindow, WM_CLOSE, 0, 0); break;
    case AltF4: PostMessageW(MainWindow, WM_SYSCOMMAND, SC_CLOSE, 0); break;
    case ExitButton: SendDlgItemMessageW(MainWindow, IDC_EXIT, BM_CLICK, 0, 0); break;
    }
    return 0;
}

TEST_F(MainWindowTest, ClosingDuringAnUpdateEndsTheLoopWithZero)
{
    LabScenario scenario = AnsweringServers(20, 50);
    scenario.master.replyDelay = 300;
    ASSERT_TRUE(ServeLab(scenario));
    for (CloseWay way : {CloseBox, AltF4, ExitButton}) {
        SCOPED_TRACE(way);
        PacketsPerSecond = 5;
        closeWay = way;
        HANDLE closer = CreateThread(nullptr, 0, CloseSoon, nullptr, 0, nullptr);
        int exitCode = RunMainWindow(GetModuleHandleW(nullptr));
        WaitForSingleObject(closer, INFINITE);
        CloseHandle(closer);
        EXPECT_EQ(exitCode, 0);
        EXPECT_FALSE(IsWindow(MainWindow));
        EXPECT_EQ(UpdateBusy, 1) << "the update was not running when the window closed";
        EXPECT_NE(smallIconSeen, 0);
        // The settings were saved on the way out.
        HKEY key;
        EXPECT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, KEY_READ, &key),
                  ERROR_SUCCESS);
        RegCloseKey(key);
        SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyName);
        SetEvent(AbortEvent);
        WaitForUpdate();
    }
}

}  // namespace
