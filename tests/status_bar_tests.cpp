// The status bar: its parts, icons, counts and the message line.
#include <winsock2.h>

#include <commctrl.h>

#include <string>

#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "engine/server_table.h"
#include "settings/settings.h"
#include "ui/server_filter.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

std::wstring PartText(int part)
{
    wchar_t text[StatusTextSize + 16];
    SendMessageW(StatusBar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(text));
    return text;
}

TEST(StatusBarEdges, ComeFromTheClientWidth)
{
    struct Case {
        int width;
        StatusBarEdges edges;
    };
    const Case cases[] = {{686, {392, 539, 686}}, {700, {400, 550, 700}}, {100, {57, 78, 99}}, {0, {0, 0, 0}}};
    for (const Case& test : cases) {
        StatusBarEdges edges = StatusBarPartEdges(test.width);
        EXPECT_EQ(edges.messageEnd, test.edges.messageEnd) << test.width;
        EXPECT_EQ(edges.playersEnd, test.edges.playersEnd) << test.width;
        EXPECT_EQ(edges.serversEnd, test.edges.serversEnd) << test.width;
    }
}

using StatusBarTest = MainWindowTest;

TEST_F(StatusBarTest, PartsIconsAndTexts)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    HWND window = CreateWindowUnderTest();
    ASSERT_NE(window, nullptr);
    WaitForUpdate();
    ASSERT_NE(StatusBar, nullptr);
    EXPECT_EQ(GetDlgItem(window, 140), StatusBar);

    RECT client;
    GetClientRect(window, &client);
    StatusBarEdges expected = StatusBarPartEdges(client.right);
    int edges[4] = {};
    EXPECT_EQ(SendMessageW(StatusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges)), 3);
    EXPECT_EQ(edges[0], expected.messageEnd);
    EXPECT_EQ(edges[1], expected.playersEnd);
    EXPECT_EQ(edges[2], expected.serversEnd);
    for (int part = 0; part < 3; part++)
        EXPECT_NE(SendMessageW(StatusBar, SB_GETICON, part, 0), 0) << "part " << part;

    // The parts keep their proportions when the window grows.
    SetWindowPos(window, nullptr, 0, 0, client.right + 200, client.bottom + 200, SWP_NOMOVE | SWP_NOZORDER);
    GetClientRect(window, &client);
    SendMessageW(StatusBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(edges));
    EXPECT_EQ(edges[0], StatusBarPartEdges(client.right).messageEnd);
    EXPECT_EQ(edges[2], StatusBarPartEdges(client.right).serversEnd);
}

TEST_F(StatusBarTest, CountsAreWrittenWithTheirPlural)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    ASSERT_NE(CreateWindowUnderTest(), nullptr);
    WaitForUpdate();
    struct Case {
        int players;
        int servers;
        const wchar_t* playersText;
        const wchar_t* serversText;
    };
    const Case cases[] = {{1, 1, L"1 Player", L"1 Server"},
                          {0, 0, L"0 Players", L"0 Servers"},
                          {2, 12, L"2 Players", L"12 Servers"},
                          {-1, -3, L"-1 Players", L"-3 Servers"}};
    for (const Case& test : cases) {
        VisiblePlayerCount = test.players;
        VisibleServerCount = test.servers;
        RefreshCounts();
        EXPECT_EQ(PartText(1), test.playersText);
        EXPECT_EQ(PartText(2), test.serversText);
    }
}

DWORD WINAPI RefreshCountsFromAWorker(LPVOID)
{
    RefreshCounts();
    return 0;
}

TEST_F(StatusBarTest, CountsAreReadOnTheUiThread)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    ASSERT_NE(CreateWindowUnderTest(), nullptr);
    WaitForUpdate();
    VisibleServerCount = 1;
    HANDLE worker = CreateThread(nullptr, 0, RefreshCountsFromAWorker, nullptr, 0, nullptr);
    // Once the worker's message waits, the counts change on this thread, as
    // a filter click would change them before the message is served.
    for (int wait = 0; wait < 5000 && HIWORD(GetQueueStatus(QS_SENDMESSAGE)) == 0; wait++)
        Sleep(1);
    ASSERT_NE(HIWORD(GetQueueStatus(QS_SENDMESSAGE)), 0) << "the worker's message never came";
    VisibleServerCount = 2;
    EXPECT_TRUE(PumpUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, 5000));
    CloseHandle(worker);
    EXPECT_EQ(PartText(2), L"2 Servers");
}

DWORD WINAPI ShowProgressThenMessage(LPVOID)
{
    StatusProgress(L"Querying %S:%d...", "10.0.0.1", 27910);
    StatusProgress(L"Querying %S:%d...", "10.0.0.2", 27910);
    StatusMessage(L"Completed.");
    StatusProgress(L"Querying %S:%d...", "10.0.0.3", 27910);
    return 0;
}

// Progress lines from a worker do not wait for the window, which shows the
// latest of them, never one that a later message has replaced.
TEST_F(StatusBarTest, ProgressLineGivesWayToALaterMessage)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    ASSERT_NE(CreateWindowUnderTest(), nullptr);
    WaitForUpdate();
    HANDLE worker = CreateThread(nullptr, 0, ShowProgressThenMessage, nullptr, 0, nullptr);
    ASSERT_TRUE(PumpUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, 5000));
    CloseHandle(worker);
    PumpFor(3 * ProgressLineSpacing);
    EXPECT_EQ(PartText(0), L"Querying 10.0.0.3:27910...");

    StatusProgress(L"Querying %S:%d...", "10.0.0.4", 27910);
    StatusMessage(L"Aborted.");
    PumpFor(3 * ProgressLineSpacing);
    EXPECT_EQ(PartText(0), L"Aborted.");
}

TEST_F(StatusBarTest, LongMessageShowsItsFirst1023Characters)
{
    ASSERT_TRUE(ServeLab(AnsweringServers(1)));
    ASSERT_NE(CreateWindowUnderTest(), nullptr);
    WaitForUpdate();
    std::wstring message(2000, L'm');
    message[1022] = L'X';
    StatusMessage(L"%s", message.c_str());
    EXPECT_EQ(PartText(0), message.substr(0, 1023));
    StatusMessage(L"Querying %S:%d...", "127.0.0.1", 27910);
    EXPECT_EQ(PartText(0), L"Querying 127.0.0.1:27910...");
}

}  // namespace

namespace {

// What a tip over this part of the bar would say now.
std::wstring TipText(int part)
{
    NMTTDISPINFOW request = {};
    request.hdr.hwndFrom = nullptr;
    request.hdr.idFrom = part;
    request.hdr.code = TTN_GETDISPINFOW;
    SendMessageW(StatusBar, WM_NOTIFY, 0, reinterpret_cast<LPARAM>(&request));
    return request.lpszText != nullptr ? request.lpszText : L"";
}

using StatusTipsTest = ServerViewsTest;

// The server count's tip says what is hidden and why, as things are when it
// shows; the message line's tip gives its whole text only when it is cut.
TEST_F(StatusTipsTest, TipsTellWhatTheBarLeavesOut)
{
    ShowRecords({AnsweredRecord(L"Busy", 3, 8, 10), AnsweredRecord(L"Full", 8, 8, 20),
                 AnsweredRecord(L"Empty", 0, 8, 30), AnsweredRecord(L"Idle", 0, 8, 30),
                 AnsweredRecord(L"Slow", 2, 8, 500), AnsweredRecord(L"Other", 2, 8, 20)});
    EXPECT_EQ(TipText(StatusServersPart), L"0 hidden: 0 empty, 0 full, 0 by the ping limit, 0 by the filter line");
    ShowFull = ShowEmpty = 0;
    MaximumPing = 200;
    SetFilterWords(L"busy");
    EXPECT_EQ(TipText(StatusServersPart), L"5 hidden: 2 empty, 1 full, 1 by the ping limit, 1 by the filter line");
    SetFilterWords(L"");
    MaximumPing = 0;
    ShowFull = ShowEmpty = 1;

    StatusMessage(L"Short.");
    EXPECT_EQ(TipText(StatusMessagePart), L"");
    std::wstring whole = L"Iron Stoat is playing on " + std::wstring(200, L'Q') + L".";
    StatusMessage(L"%s", whole.c_str());
    EXPECT_EQ(TipText(StatusMessagePart), whole);
}

}  // namespace
