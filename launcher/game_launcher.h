// The game launcher: starts Quake II connected to the double-clicked server,
// after searching the fixed drives for it when its directory is not known.
// The search runs beside the window, which goes on answering.
#pragma once

#include <windows.h>

#include "settings/password_store.h"
#include "settings/settings.h"

// The drive scan learns each drive's root and type from these; they are the
// platform's unless a test points them at folders of its own.
extern void (*FormDriveRoot)(wchar_t letter, wchar_t* root, int rootSize);
extern UINT(WINAPI* DriveTypeOf)(LPCWSTR root);

// What a join tells the game besides the server: joining as a spectator,
// and the password of that kind; an empty password for none.
struct JoinChoice {
    bool spectator;
    wchar_t password[GamePasswordSize];
};

// The game's command line: the executable in quotes, the game directory,
// then "+set password", or "+set spectator" with 1 or its password, and the
// server to connect to; cut at `size`.
void FormatGameCommandLine(const wchar_t* executablePath, const wchar_t* address, const JoinChoice& choice,
                           wchar_t* commandLine, int size);

// Starts the game for a server whose join is settled ("a.b.c.d:port").
// While the game's folder is not known, the known places and then the fixed
// drives are searched on a thread of its own, and the launch goes on when
// the search is done. Nothing while a search runs.
void JoinServer(const wchar_t* address, const JoinChoice& choice);

// The UI thread's side of the search: the question for each folder that
// holds the game (IDYES or IDNO), and the launch once the search has ended.
int ConfirmGameFolder(const wchar_t* directory);
void FinishGameSearch(int outcome);

bool GameSearchRunning();

// A new window is a new run: the folders the player turned down are asked
// about again.
void ForgetDeclinedFolders();

// Escape stops the search and the status line says so; the window closing
// stops it quietly.
void StopGameSearch(bool quietly);
