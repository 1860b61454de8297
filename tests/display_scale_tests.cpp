// The window at the display's scale. The layout tests run at this process's
// DPI; one test runs them again in processes started at 120, 144 and 192 DPI.
#include <winsock2.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "engine/server_table.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/display_scale.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_list.h"

namespace {

const int FrameIds[] = {IDC_SERVERS_FRAME, IDC_PLAYERS_FRAME, IDC_CONTROLS_FRAME};
const int ControlIds[] = {IDC_SERVER_LIST, IDC_PLAYER_LIST, IDC_UPDATE,     IDC_SHOW_FULL,
                          IDC_SHOW_EMPTY,  IDC_CONFIG,      IDC_EXIT,       IDC_STATUS_BAR};

class DisplayLayoutTest : public ServerViewsTest {
protected:
    // Enough rows for the vertical scroll bar, the columns' narrowest case.
    void ShowManyServers()
    {
        std::vector<ServerRecord> records;
        for (int index = 0; index < 40; index++)
            records.push_back(AnsweredRecord(L"A server of the display tests", index % 5, 16, 40 + index));
        ShowRecords(records);
        PaintHeldChanges();
        PumpFor(50);
    }

    int ColumnsWidth()
    {
        int total = 0;
        for (int column = 0; column < ServerColumnCount; column++)
            total += static_cast<int>(SendMessageW(ServerList, LVM_GETCOLUMNWIDTH, column, 0));
        return total;
    }

    int ListClientWidth()
    {
        RECT client;
        GetClientRect(ServerList, &client);
        return client.right;
    }

    SIZE PictureSize(HWND list)
    {
        SIZE size = {};
        int width = 0;
        int height = 0;
        HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
        if (ImageList_GetIconSize(images, &width, &height))
            size = {width, height};
        return size;
    }

    double PlayerShare()
    {
        RECT list = ChildRect(MainWindow, IDC_PLAYER_LIST);
        RECT frame = ChildRect(MainWindow, IDC_PLAYERS_FRAME);
        return double(list.right - list.left) / (frame.right - frame.left);
    }
};

bool Inside(const RECT& inner, const RECT& outer)
{
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

TEST_F(DisplayLayoutTest, WindowFitsItsScale)
{
    UINT dpi = DpiOfWindow(MainWindow);
    EXPECT_EQ(CutLabels(MainWindow), std::vector<std::wstring>{}) << dpi << " DPI";

    for (size_t first = 0; first < std::size(ControlIds); first++) {
        for (size_t second = first + 1; second < std::size(ControlIds); second++) {
            RECT a = ChildRect(MainWindow, ControlIds[first]);
            RECT b = ChildRect(MainWindow, ControlIds[second]);
            RECT overlap;
            EXPECT_FALSE(IntersectRect(&overlap, &a, &b)) << ControlIds[first] << " and " << ControlIds[second];
        }
    }
    EXPECT_TRUE(Inside(ChildRect(MainWindow, IDC_SERVER_LIST), ChildRect(MainWindow, IDC_SERVERS_FRAME)));
    EXPECT_TRUE(Inside(ChildRect(MainWindow, IDC_PLAYER_LIST), ChildRect(MainWindow, IDC_PLAYERS_FRAME)));
    for (int button : {IDC_UPDATE, IDC_SHOW_FULL, IDC_SHOW_EMPTY, IDC_CONFIG, IDC_EXIT})
        EXPECT_TRUE(Inside(ChildRect(MainWindow, button), ChildRect(MainWindow, IDC_CONTROLS_FRAME))) << button;
    for (int frame : FrameIds) {
        RECT frameRect = ChildRect(MainWindow, frame);
        EXPECT_LE(frameRect.bottom, ChildRect(MainWindow, IDC_STATUS_BAR).top) << frame;
    }
    // The template gives the player list 197 of its frame's 385 units, when
    // the screen holds the whole layout.
    RECT layout = {0, 0, IDD_MAIN_WIDTH, IDD_MAIN_HEIGHT};
    MapDialogRect(MainWindow, &layout);
    RECT client;
    GetClientRect(MainWindow, &client);
    if (client.right >= layout.right) {
        EXPECT_NEAR(PlayerShare(), 197.0 / 385, 0.02);
    }

    int scale = PictureScale(dpi);
    SIZE pictures = PictureSize(ServerList);
    EXPECT_EQ(pictures.cx, 16 * scale);
    EXPECT_EQ(pictures.cy, 14 * scale);

    ShowManyServers();
    EXPECT_LE(ColumnsWidth(), ListClientWidth());

    // In the names view a name and its icon fit the column at every scale.
    ASSERT_FALSE(PlayerViewDetails);
    ServerRecord& server = ServerTable.records[ServerRowRecord(1)];
    lstrcpyW(server.players[0].name, L"Wandering Badger");
    SelectServerRow(1);
    ResizeListColumns(static_cast<WORD>(client.right));
    RECT item = {LVIR_BOUNDS, 0, 0, 0};
    SendMessageW(PlayerList, LVM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    int nameWidth = static_cast<int>(
        SendMessageW(PlayerList, LVM_GETSTRINGWIDTHW, 0, reinterpret_cast<LPARAM>(L"Wandering Badger")));
    EXPECT_GE(item.right - item.left, nameWidth + PictureSize(PlayerList).cx) << dpi << " DPI";
    EXPECT_FALSE(GetWindowLongW(ServerList, GWL_STYLE) & WS_HSCROLL) << dpi << " DPI";
}

// Made smaller than its layout from outside (a window manager's snap asks
// no minimum), the window shrinks its lists, and every button, both boxes,
// the scroll bars and the status bar stay inside; back at its size, the
// layout is as it was.
TEST_F(DisplayLayoutTest, WindowSmallerThanItsLayoutKeepsEveryControlInside)
{
    RECT outer;
    GetWindowRect(MainWindow, &outer);
    RECT before = ChildRect(MainWindow, IDC_SERVER_LIST);
    for (SIZE cut : {SIZE{120, 80}, SIZE{400, 250}}) {
        SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left - cut.cx, outer.bottom - outer.top - cut.cy,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOSENDCHANGING);
        RECT client;
        GetClientRect(MainWindow, &client);
        for (int control : ControlIds)
            EXPECT_TRUE(Inside(ChildRect(MainWindow, control), client)) << control << " cut by " << cut.cx;
    }
    SetWindowPos(MainWindow, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top,
                 SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_EQ(ChildRect(MainWindow, IDC_SERVER_LIST), before);

    // Maximised, the window keeps to its monitor's work area, however large
    // its layout at this scale, and everything stays inside it.
    ShowWindow(MainWindow, SW_MAXIMIZE);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(MainWindow, MONITOR_DEFAULTTONEAREST), &monitor);
    RECT client;
    GetClientRect(MainWindow, &client);
    EXPECT_LE(client.right, monitor.rcWork.right - monitor.rcWork.left) << DpiOfWindow(MainWindow) << " DPI";
    for (int control : ControlIds)
        EXPECT_TRUE(Inside(ChildRect(MainWindow, control), client)) << control << " maximised";
    ShowWindow(MainWindow, SW_RESTORE);
}

class DisplayScaleTest : public DisplayLayoutTest {};

TEST_F(DisplayScaleTest, MovingToAMonitorOfAnotherScaleRescalesTheWindow)
{
    ShowManyServers();
    UINT dpi = DpiOfWindow(MainWindow);
    RECT before;
    GetWindowRect(MainWindow, &before);
    std::vector<RECT> controls;
    for (int id : ControlIds)
        controls.push_back(ChildRect(MainWindow, id));
    double share = PlayerShare();
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ServerList, WM_GETFONT, 0, 0)), sizeof(font), &font);

    // Half as large again: the window still fits the screens the tests run on.
    UINT larger = dpi * 3 / 2;
    RECT grown = {before.left, before.top, before.left + MulDiv(before.right - before.left, 3, 2),
                  before.top + MulDiv(before.bottom - before.top, 3, 2)};
    SendMessageW(MainWindow, WM_DPICHANGED, MAKEWPARAM(larger, larger), reinterpret_cast<LPARAM>(&grown));
    RECT after;
    GetWindowRect(MainWindow, &after);
    EXPECT_EQ(after, grown);
    EXPECT_LE(ColumnsWidth(), ListClientWidth());
    EXPECT_GE(ColumnsWidth(), ListClientWidth() * 9 / 10);
    EXPECT_NEAR(PlayerShare(), share, 0.02);
    SIZE pictures = PictureSize(ServerList);
    EXPECT_EQ(pictures.cx, 16 * PictureScale(larger));
    LOGFONTW largerFont = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(ServerList, WM_GETFONT, 0, 0)), sizeof(largerFont), &largerFont);
    EXPECT_EQ(largerFont.lfHeight, MulDiv(font.lfHeight, 3, 2));
    MINMAXINFO limits = {};
    SendMessageW(MainWindow, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
    EXPECT_EQ(limits.ptMinTrackSize.x, MulDiv(before.right - before.left, 3, 2));

    // And back: every control where it was.
    SendMessageW(MainWindow, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&before));
    for (size_t index = 0; index < std::size(ControlIds); index++) {
        RECT now = ChildRect(MainWindow, ControlIds[index]);
        EXPECT_NEAR(now.left, controls[index].left, 1) << ControlIds[index];
        EXPECT_NEAR(now.top, controls[index].top, 1) << ControlIds[index];
        EXPECT_NEAR(now.right, controls[index].right, 1) << ControlIds[index];
        EXPECT_NEAR(now.bottom, controls[index].bottom, 1) << ControlIds[index];
    }
}

// Runs the layout tests in a process of this program started at `dpi`: the
// display scale is read from the registry when a process starts.
DWORD RunLayoutTestsAt(DWORD dpi)
{
    HKEY desktop = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                        &desktop, nullptr) != ERROR_SUCCESS)
        return ~0u;
    DWORD saved = 0;
    DWORD savedSize = sizeof(saved);
    bool hadValue = RegQueryValueExW(desktop, L"LogPixels", nullptr, nullptr, reinterpret_cast<BYTE*>(&saved),
                                     &savedSize) == ERROR_SUCCESS;
    RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi), sizeof(dpi));

    wchar_t program[MAX_PATH];
    GetModuleFileNameW(nullptr, program, MAX_PATH);
    std::wstring command =
        L"\"" + std::wstring(program) + L"\" --gtest_filter=DisplayLayoutTest.*:ConfigDialogTest.LabelsHoldTheirText";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD exitCode = ~0u;
    if (CreateProcessW(program, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0)
            GetExitCodeProcess(process.hProcess, &exitCode);
        else
            TerminateProcess(process.hProcess, exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }

    if (hadValue)
        RegSetValueExW(desktop, L"LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&saved), sizeof(saved));
    else
        RegDeleteValueW(desktop, L"LogPixels");
    RegCloseKey(desktop);
    return exitCode;
}

TEST(DisplayScale, LayoutFitsAtLargerScales)
{
    for (DWORD dpi : {120u, 144u, 192u})
        EXPECT_EQ(RunLayoutTestsAt(dpi), 0u) << dpi << " DPI: the layout tests failed, above";
}

}  // namespace
