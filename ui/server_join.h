// Joining a row's server: the password it needs is asked first, and a full
// server offers a wait for a free place; the launcher then starts the game,
// and the browser closes once it has started.
#pragma once

#include <windows.h>

#include "launcher/game_launcher.h"

// Item index of the double-clicked row, or -1 for none: a join as a player.
void LaunchGame(int item);

// How a join goes: as a player, asked for a password only when the server
// says it needs one; as a spectator; or as a player with a password asked
// for whatever the server says (one that does not say it needs one may).
enum JoinKind { JoinAsPlayer, JoinAsSpectator, JoinWithPassword };

// Joins the row's server. Any wait for a free place stops first.
void LaunchGameAs(int item, JoinKind kind);

// The same for the server of a record, listed or not (a join link's).
void JoinRecordAs(LPARAM record, JoinKind kind);

// A join that is settled: the game is started (after a search for its
// folder when that is not known), and the browser closes once it runs.
void JoinAndClose(const wchar_t* address, const JoinChoice& choice);

// The search for the game's folder has ended (WM_GAME_SEARCH_DONE).
void FinishJoinSearch(int outcome);

// The place a wait found is joined (WM_TAKE_FREE_PLACE), unless a dialog
// holds it.
void JoinFreePlace();
