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

// Whether a text taken from a player, a server or a link may stand as one
// argument of the game's command line. The game splits its command line at
// every character that is not printable ASCII and does not honour quotes,
// so white space would start an argument of the sender's choosing; a '+'
// starts a console command wherever it stands in the game's reading, and a
// '"' would close the quotes the argument stands in.
bool GameArgumentAllowed(const wchar_t* text);

// The game's command line: the executable in quotes, the game directory,
// then "+set password", or "+set spectator" with 1 or its password, and the
// server to connect to; cut at `size`. Every join passes here: false, with
// nothing formed, unless the server is "a.b.c.d:port" and the password an
// allowed argument. The executable's path is the program's name, which the
// game does not read as an argument.
bool FormatGameCommandLine(const wchar_t* executablePath, const wchar_t* address, const JoinChoice& choice,
                           wchar_t* commandLine, int size);

// What became of a join: the game started, a search for its folder went
// off (FinishGameSearch tells the rest), or it was not started (the player
// has been told why).
enum JoinOutcome { GameStarted, GameSearching, GameNotStarted };

// Starts the game for a server whose join is settled ("a.b.c.d:port").
// While the game's folder is not known, the known places and then the fixed
// drives are searched on a thread of its own, and the launch goes on when
// the search is done. Nothing while a search runs. The browser stays open:
// closing it is the window's choice.
JoinOutcome JoinServer(const wchar_t* address, const JoinChoice& choice);

// The UI thread's side of the search: the question for each folder that
// holds the game (IDYES or IDNO), and the launch once the search has ended;
// true when the game started.
int ConfirmGameFolder(const wchar_t* directory);
bool FinishGameSearch(int outcome);

bool GameSearchRunning();

// A new window is a new run: the folders the player turned down are asked
// about again.
void ForgetDeclinedFolders();

// Escape stops the search and the status line says so; the window closing
// stops it quietly.
void StopGameSearch(bool quietly);
