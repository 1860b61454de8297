// The sweep's progress on the program's taskbar button, where the taskbar
// shows progress (Windows 7 and later); elsewhere nothing happens.
#pragma once

#include <windows.h>

const UINT_PTR ProgressTimerId = 2;
const UINT ProgressInterval = 250;

// An update begins: the button follows its sweep from now on.
void StartTaskbarProgress();

// On ProgressTimerId's WM_TIMER: the button shows how far the sweep is.
void ShowTaskbarProgress();

// The update is over: the button shows no progress.
void EndTaskbarProgress();

// The taskbar made the button anew (it started, or restarted): whether the
// message is the one that says so, in which case the button is taken anew.
bool TakeNewTaskbarButton(UINT message);
