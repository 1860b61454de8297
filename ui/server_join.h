// Joining a row's server: the password it needs is asked first, and a full
// server offers a wait for a free place; the launcher then starts the game.
#pragma once

#include <windows.h>

// Item index of the double-clicked row, or -1 for none: a join as a player.
void LaunchGame(int item);

// Joins the row's server as a player or a spectator. Any wait for a free
// place stops first.
void LaunchGameAs(int item, bool spectator);
