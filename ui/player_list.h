// The player list of the selected server, and buddy highlighting in both
// lists.
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

// Builds the player list's columns; false when one cannot be made.
bool BuildPlayerColumns(HWND mainWindow);

void FillPlayerList();
void GetPlayerCell(NMLVDISPINFOW* request);
int CALLBACK ComparePlayers(LPARAM entryA, LPARAM entryB, LPARAM column);
void TogglePlayerView();
void ResizePlayerColumns(float scale);

void ParseBuddyList();
bool IsBuddy(const wchar_t* playerName);
bool ServerHasBuddy(const ServerRecord& record);
LRESULT CustomDrawList(HWND list, NMLVCUSTOMDRAW* draw);
