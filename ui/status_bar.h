// The status bar along the bottom of the main window: the message line and
// the numbers of shown players and servers.
#pragma once

#include <windows.h>

// Empty until CreateStatusBar has run; StatusMessage tests it.
extern HWND StatusBar;

enum StatusBarPart { StatusMessagePart, StatusPlayersPart, StatusServersPart, StatusPartCount };

struct StatusBarEdges {
    int messageEnd;
    int playersEnd;
    int serversEnd;
};

// The right edges of the three parts for a main window client width.
StatusBarEdges StatusBarPartEdges(int clientWidth);

void CreateStatusBar(HWND mainWindow, HINSTANCE instance);

// Shows the progress line that waits, if one does, and then no other for a
// moment: at most one each ProgressLineSpacing, the latest. UI thread.
const UINT_PTR ProgressLineTimerId = 6;
const UINT ProgressLineSpacing = 15;
void ShowWaitingProgress();

// The moment is over: the line that waits meanwhile, if any, is shown.
void EndProgressLineSpacing();

// A line the engine has the window show after a progress line wins over it,
// however late the window comes to that line. Any thread, once the bar
// exists.
void DropWaitingProgress();

// The parts in their proportions of the main window's client width: at its
// creation, and after every resize and change of scale.
void SizeStatusBarParts(int clientWidth);

// The parts' icons, at the main window's display scale.
void SetStatusBarIcons(HINSTANCE instance);

// The UI thread's halves of the engine's StatusMessage and RefreshCounts,
// which live here too (window_ops.h).
void ShowStatusText(const wchar_t* text);

// The message line as it reads now; empty should it not fit `text`.
void ReadStatusText(wchar_t* text, int textSize);
void ShowCounts();
