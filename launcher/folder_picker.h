// The platform's folder picker, for the folder that holds the game.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// A folder and a name with one backslash between them, whether or not the
// folder ends with one.
void JoinFolderPath(const wchar_t* folder, const wchar_t* name, wchar_t* path, int pathSize);

// Whether `folder` holds the file `executable` (a file, not a folder).
bool FolderHoldsGame(const wchar_t* folder, const wchar_t* executable);

// Asks for the folder that holds `executable`, starting at `folder` when it
// is set, else at the root of drive C: the picker's OK takes only such a
// folder, and it says so while another is selected. The chosen folder, ending with a backslash, goes to
// `folder`; false when the player cancels.
bool PickGameFolder(HWND owner, const wchar_t* executable, wchar_t folder[PathSize]);
