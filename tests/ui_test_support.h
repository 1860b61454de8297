// Shared ground of the window tests: rectangles, control geometry, and the
// main window brought up against a lab network on loopback.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>

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

// A scenario of `count` answering servers on ports 27960 and up.
LabScenario AnsweringServers(int count, int replyDelay = 0);
