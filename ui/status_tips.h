// Tips over the status bar: the message line's whole text when its part
// cuts it, and, over the server count, how many answering servers the list
// hides and why. Their texts are made when a tip is about to show, so they
// are always those of the moment and cost nothing while the counts change.
#pragma once

#include <windows.h>

// Gives the status bar its tips; call once the bar exists.
void CreateStatusTips(HWND mainWindow);

// The parts have new places (SizeStatusBarParts): the tips follow them.
void PlaceStatusTips();

// "6 hidden: 4 empty, 2 full, 0 by the ping limit, 0 by the filter line",
// over the servers that have answered.
void FormatHiddenServers(wchar_t* text, int textSize);
