// The player list of the selected server, and the highlighting of buddies
// in both lists and of favourite servers.
#pragma once

#include <windows.h>
#include <commctrl.h>

struct PlayerEntry;
struct ServerRecord;

extern HWND PlayerList;

const int BuddyNameSize = 32;

// The names parsed from BuddyText, each in a slot of BuddyNameSize.
extern wchar_t (*BuddyNames)[BuddyNameSize];
extern int BuddyCount;

const COLORREF BuddyBackground = 0xFFFF;

// Favourite servers are drawn in this bold face of the list's font.
extern HFONT FavouriteFont;

void CreateFavouriteFont(HWND serverList);

// Whether the record at this index is a favourite; false for no such record.
bool IsFavouriteRecord(LPARAM recordIndex);

// Whether the record's server did not answer the last refresh of the list.
bool IsSilentRecord(LPARAM recordIndex);

// Builds the player list's columns; false when one cannot be made.
bool BuildPlayerColumns(HWND mainWindow);

void FillPlayerList();
// Selects the row of this player, if listed, and scrolls it into view.
void ShowPlayerRow(const PlayerEntry* player);
void GetPlayerCell(NMLVDISPINFOW* request);
int CALLBACK ComparePlayers(LPARAM entryA, LPARAM entryB, LPARAM column);
void TogglePlayerView();
void ResizePlayerColumns(float scale);

void ParseBuddyList();
bool IsBuddy(const wchar_t* playerName);
bool ServerHasBuddy(const ServerRecord& record);
LRESULT CustomDrawList(HWND list, NMLVCUSTOMDRAW* draw);
