// The game launcher: starts Quake II connected to the double-clicked server,
// after searching the fixed drives for it when its directory is not known.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// The drive scan learns each drive's root and type from these; they are the
// platform's unless a test points them at folders of its own.
extern void (*FormDriveRoot)(wchar_t letter, wchar_t* root, int rootSize);
extern UINT(WINAPI* DriveTypeOf)(LPCWSTR root);

// Item index of the double-clicked row, or -1 for none.
void LaunchGame(int item);
