// Drives a running QuarrixBrowser process from the outside, as a user would,
// and reads what the user would see: the status bar and the server list.
// Controls of another process are read through buffers in that process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct BrowserProcess {
    PROCESS_INFORMATION process;
    HWND window;
};

// Starts the program, with its command line's `arguments`, and waits for its
// main window to show.
bool StartBrowser(const std::wstring& program, BrowserProcess* browser, DWORD timeoutMilliseconds = 20000,
                  const std::wstring& arguments = L"");

// Takes hold of a browser that is already running, found by its caption.
bool AttachBrowser(BrowserProcess* browser, DWORD timeoutMilliseconds);

// The main window of a browser process, found by its caption.
HWND FindBrowserWindow(DWORD processId, const wchar_t* caption = L"Quarrix Server Browser");

std::wstring StatusText(const BrowserProcess& browser, int part);

// Waits until the message line starts with one of the texts; returns it, or
// an empty text on time-out.
std::wstring WaitForStatus(const BrowserProcess& browser, const std::vector<std::wstring>& starts,
                           DWORD timeoutMilliseconds);

// Every row of the server list, each with its seven cells.
std::vector<std::vector<std::wstring>> ServerRows(const BrowserProcess& browser);

// One column of every row of the server list, in row order.
std::vector<std::wstring> ServerColumn(const BrowserProcess& browser, int column);
std::wstring ServerCell(const BrowserProcess& browser, int row, int column);

void ClickServerHeader(const BrowserProcess& browser, int column);
void DoubleClickServerRow(const BrowserProcess& browser, int row);
// Right-clicks a row of the server list and picks the item of its menu with
// this access key; false when no menu opened.
bool ChooseFromServerMenu(const BrowserProcess& browser, int row, wchar_t accessKey);
// Scrolls a row of the server list into view and clicks it.
void SelectServerRow(const BrowserProcess& browser, int row);

// Switches the player list to details view, as a right click on it does;
// false when it did not switch.
bool ShowPlayerDetails(const BrowserProcess& browser);

// A key without modifiers, pressed in the server list.
void PressKey(const BrowserProcess& browser, WORD key);

// Opens the filter line, types `text` into it and closes it with Escape, as
// a player would; false when the line did not open or close.
bool UseFilterLine(const BrowserProcess& browser, const wchar_t* text);
void ClickButton(const BrowserProcess& browser, int id);
bool IsChecked(const BrowserProcess& browser, int id);

// Opens Config, puts the text into the buddy field and presses OK; with
// `shown`, first reads what the field held.
bool EditBuddyList(const BrowserProcess& browser, const std::wstring& text, std::wstring* shown = nullptr);

// Presses Insert, types the address into "Add Server" and presses OK;
// false when the dialog did not open or close.
bool AddServerByAddress(const BrowserProcess& browser, const std::wstring& address);

// Presses Update and waits until the update has ended (the button reads
// "Update" again); false when it did not end in time.
bool RunUpdate(const BrowserProcess& browser, DWORD timeoutMilliseconds);

// Waits until the Update/Abort button reads this caption.
bool WaitForCaption(const BrowserProcess& browser, const wchar_t* caption, DWORD timeoutMilliseconds);

// Waits until no update runs.
bool WaitForIdle(const BrowserProcess& browser, DWORD timeoutMilliseconds);

// Bytes of memory the process has committed.
SIZE_T CommittedBytes(const BrowserProcess& browser);
SIZE_T PeakWorkingSet(const BrowserProcess& browser);

// Closes the window through its close box and waits for the process; returns
// its exit code, or -1 when it did not end in time (it is then killed).
int CloseBrowser(BrowserProcess* browser, DWORD timeoutMilliseconds = 10000);

// Waits for the process to end by itself; the exit code as above.
int WaitForExit(BrowserProcess* browser, DWORD timeoutMilliseconds);
