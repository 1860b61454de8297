// Shared ground of the window tests.
#include <winsock2.h>

#include "tests/ui_test_support.h"

#include "engine/master_update.h"
#include "settings/settings_store.h"
#include "tests/message_pump.h"
#include "ui/main_window.h"

bool operator==(const RECT& left, const RECT& right)
{
    return EqualRect(&left, &right) != FALSE;
}

void PrintTo(const RECT& rect, std::ostream* out)
{
    *out << "{" << rect.left << ", " << rect.top << ", " << rect.right << ", " << rect.bottom << "}";
}

RECT ChildRect(HWND window, int id)
{
    RECT rect = {};
    GetWindowRect(GetDlgItem(window, id), &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring WindowText(HWND window)
{
    wchar_t text[256];
    GetWindowTextW(window, text, 256);
    return text;
}

LabScenario AnsweringServers(int count, int replyDelay)
{
    LabScenario scenario;
    for (int index = 0; index < count; index++) {
        LabServer server;
        server.port = 27960 + index;
        server.info = {{"hostname", "server " + std::to_string(index)}, {"mapname", "q2dm1"}, {"maxclients", "8"}};
        server.players = {{index, 20, "player"}};
        server.replyDelay = replyDelay;
        scenario.servers.push_back(server);
    }
    return scenario;
}

void MainWindowTest::SetUp()
{
    MasterHostName = L"127.0.0.1";
    PacketsPerSecond = 1000;
}

void MainWindowTest::TearDown()
{
    if (UpdateBusy)
        SetEvent(AbortEvent);
    WaitForUpdate();
    if (MainWindow != nullptr && IsWindow(MainWindow))
        DestroyWindow(MainWindow);
    // Takes the quit message that the window posted on its way out.
    PumpFor(20);
    StopLab(lab);
    lab = nullptr;
}

bool MainWindowTest::ServeLab(LabScenario scenario)
{
    scenario.hasMaster = true;
    std::string error;
    lab = StartLab(scenario, &error);
    if (lab == nullptr)
        ADD_FAILURE() << error;
    return lab != nullptr;
}

HWND MainWindowTest::CreateWindowUnderTest()
{
    return CreateMainWindow(GetModuleHandleW(nullptr));
}

void MainWindowTest::WaitForUpdate()
{
    EXPECT_TRUE(PumpUntil([] { return !UpdateBusy; }, 20000, MainWindow));
}
