// The game launcher: starts Quake II connected to the double-clicked server,
// after searching the fixed drives for it when its directory is not known.
// The search runs beside the window, which goes on answering.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// The drive scan learns each drive's root and type from these; they are the
// platform's unless a test points them at folders of its own.
extern void (*FormDriveRoot)(wchar_t letter, wchar_t* root, int rootSize);
extern UINT(WINAPI* DriveTypeOf)(LPCWSTR root);

// Item index of the double-clicked row, or -1 for none. While the game's
// folder is not known, the fixed drives are searched on a thread of its own,
// and the launch goes on when the search is done.
void LaunchGame(int item);

// The UI thread's side of the search: the question for each folder that
// holds the game (IDYES or IDNO), and the launch once the search has ended.
int ConfirmGameFolder(const wchar_t* directory);
void FinishGameSearch(int outcome);

bool GameSearchRunning();

// Escape stops the search and the status line says so; the window closing
// stops it quietly.
void StopGameSearch(bool quietly);
