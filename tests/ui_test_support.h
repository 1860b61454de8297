// Shared ground of the window tests: rectangles, control geometry, and the
// main window brought up against a lab network on loopback.
#pragma once

#include <gtest/gtest.h>

#include <windows.h>

#include <ostream>
#include <string>
#include <vector>

#include "lab/lab_network.h"
#include "tests/scratch_space.h"

bool operator==(const RECT& left, const RECT& right);
void PrintTo(const RECT& rect, std::ostream* out);

// A child's rectangle in its parent's client coordinates.
RECT ChildRect(HWND window, int id);

std::wstring WindowText(HWND window);

// The texts of the window's labels and check boxes that are wider or taller
// than their control, measured in the window's font.
std::vector<std::wstring> CutLabels(HWND window);

// Sends the main window a list view notification as the list would.
void NotifyMainWindow(HWND list, int controlId, UINT code, int subItem = 0);

struct TemplateControl {
    DWORD style;
    DWORD exStyle;
    DWORD helpId;
    RECT rect;  // x, y, width, height in dialog units
    int id;
    std::wstring className;
    std::wstring text;
};

struct DialogTemplate {
    DWORD style;
    DWORD exStyle;
    RECT rect;
    std::wstring menu;
    std::wstring className;
    std::wstring caption;
    WORD pointSize;
    WORD weight;
    BYTE italic;
    BYTE charset;
    std::wstring font;
    std::vector<TemplateControl> controls;
};

// Parses an extended dialog template as the dialog manager reads it.
DialogTemplate ReadDialogTemplate(int id);

// Whether a template's class names this class. The resource compiler may
// store a name in capitals (window classes are found regardless of case) or
// a standard class by its number.
bool SameWindowClass(const std::wstring& templateClass, const wchar_t* className);

// The popup menu shown now, or null: for a timer that reads it from the
// menu's own loop.
HMENU OpenPopupMenu();

// The host names of the server list's rows, in row order.
std::vector<std::wstring> ListedHosts();

// The message part of the status bar.
std::wstring StatusLine();

// What the window told the shell of its notification area icon: the
// window tests record it instead.
struct ShellCall {
    DWORD message;  // NIM_ADD, NIM_MODIFY, NIM_DELETE
    std::wstring balloon;
};
extern std::vector<ShellCall> ShellCalls;

// Sets the buddy list as Config would.
void SetBuddyText(const wchar_t* text);

// The text of a cell of a list view.
std::wstring CellText(HWND list, int row, int column);

// Every setting back to zero, as at process start.
void ResetSettings();

// Serves the scenario with its master on 127.0.0.1 and points the browser at
// it; creates the main window, whose first update starts by itself. The
// registry is a scratch one for each test.
class MainWindowTest : public testing::Test {
protected:
    LabNetwork* lab = nullptr;
    ScratchRegistry* registry = nullptr;

    void SetUp() override;
    void TearDown() override;

    bool ServeLab(LabScenario scenario);
    // The lab serves the changed scenario from now on, on the same ports.
    void ServeAgain(const LabScenario& scenario);
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
    // Installs the records as a new table and offers them in one batch, as
    // the receiver hands over what it parsed.
    void ShowRecords(const std::vector<ServerRecord>& records);
    int CellImage(HWND list, int row, int column);
    // The record index of every server list row, in row order.
    std::vector<LPARAM> ListedRecords();
};

// A record that has answered, with `players` players named p0, p1, ...
ServerRecord AnsweredRecord(const wchar_t* hostName, int players, int maxClients, DWORD ping);

// A scenario of `count` answering servers on ports 27960 and up.
LabScenario AnsweringServers(int count, int replyDelay = 0);
