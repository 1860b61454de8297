// Shared ground of the window tests: rectangles, control geometry, and the
// main window brought up against a lab network on loopback.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "lab/lab_network.h"

bool operator==(const RECT& left, const RECT& right);
void PrintTo(const RECT& rect, std::ostream* out);

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND window, int id);

std::wstring WindowText(HWND window);

// Serves the scenario with its master on 127.0.0.1 and points the browser at
// it; creates the main window, whose first update starts by itself.
class MainWindowTest : public testing::Test {
protected:
    LabNetwork* lab = nullptr;

    void SetUp() override;
    void TearDown() override;

    bool ServeLab(LabScenario scenario);
    HWND CreateWindowUnderTest();
    // Serves the window until the running update has ended.
    void WaitForUpdate();
};

struct ServerRecord;

// A main window whose first update found no servers, ready to be given
// records of a test's own.
class ServerViewsTest : public MainWindowTest {
protected:
    void SetUp() override;
    // Installs the records as a new table and offers each, as a sweep would.
    void ShowRecords(const std::vector<ServerRecord>& records);
    std::wstring CellText(HWND list, int row, int column);
    int CellImage(HWND list, int row, int column);
    // The item data of every row, in row order.
    std::vector<LPARAM> RowData(HWND list);
};

// A record that has answered, with `players` players named p0, p1, ...
ServerRecord AnsweredRecord(const wchar_t* hostName, int players, int maxClients, DWORD ping);

// A scenario of `count` answering servers on ports 27960 and up.
LabScenario AnsweringServers(int count, int replyDelay = 0);
