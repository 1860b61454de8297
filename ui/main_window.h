// The main window: a modeless dialog from template 165 that brings the rest
// of the program up, routes every message and list notification, and carries
// out the engine's window operations on the UI thread.
#pragma once

#include <windows.h>

// The engine's window operations, sent to the main window so that they run
// on the UI thread and have taken effect when the engine's call returns.
#define WM_SET_UPDATE_BUTTONS (WM_APP + 1)  // wParam: UpdateButtonState
#define WM_RESET_SERVER_VIEWS (WM_APP + 3)
#define WM_SHOW_STATUS_TEXT (WM_APP + 4)        // lParam: the text
#define WM_REFRESH_COUNTS (WM_APP + 5)
#define WM_REPLACE_SERVER_RECORDS (WM_APP + 6)  // lParam: the ReplacedRecords
#define WM_NOTE_FAVOURITE_ADDRESSES (WM_APP + 7)  // lParam: the update's favourites
// The game search's question (lParam: the folder; the answer is IDYES or
// IDNO) and its end (wParam: how it ended).
#define WM_CONFIRM_GAME_FOLDER (WM_APP + 8)
#define WM_GAME_SEARCH_DONE (WM_APP + 9)
#define WM_OFFER_SERVERS (WM_APP + 10)  // wParam: count, lParam: the record indexes
#define WM_APPEND_SERVERS (WM_APP + 11)  // wParam: count, lParam: the servers; the result: added
#define WM_SHOW_PROGRESS_TEXT (WM_APP + 16)  // posted: the latest progress line waits
#define WM_NOTE_SILENT_SERVERS (WM_APP + 17)  // wParam: count, lParam: the record indexes

// The engine's refreshed copies and where they go.
struct ServerRecord;
struct ReplacedRecords {
    const int* recordIndexes;
    const ServerRecord* fresh;
    int count;
};

extern HWND MainWindow;
extern DWORD IsXpOrLater;

// Creates the main window, which starts the first update; null on failure.
HWND CreateMainWindow(HINSTANCE instance);

// Turns Ctrl+C, Ctrl+R, Insert, Ctrl+F, Alt+Enter, F5, the menu key and
// Shift+F10 into the main window's commands; true when the message was one
// of them.
bool TranslateMainWindowKeys(MSG* message);

// Creates the main window, which follows `link` when it is not empty, and
// runs the message loop; returns the exit code.
int RunMainWindow(HINSTANCE instance, const wchar_t* link = L"");

void InitMainWindow(HWND window);

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
