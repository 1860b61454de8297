// The user's settings, process-wide, read and written in place by the rest
// of the program; loaded and saved by the settings store.
#pragma once

#include <windows.h>

#include "settings/address_list.h"
#include "settings/watch_list.h"

// Paths hold at most 259 characters and their terminator.
const int PathSize = 260;

// The executable's name until the player sets another.
const wchar_t DefaultGameExecutable[] = L"quake2.exe";

// The directory that holds the game, and the game's file name.
extern wchar_t GamePath[PathSize];
extern wchar_t GameExecutable[PathSize];

const int DefaultPacketsPerSecond = 10;

// Status requests per second during a sweep.
extern int PacketsPerSecond;

// Pings up to GoodPing are good, up to MediumPing medium, above that bad.
extern int GoodPing;
extern int MediumPing;

// Non-zero: full servers, and empty servers, are listed.
extern DWORD ShowFull;
extern DWORD ShowEmpty;

// The server list column the list is sorted by, plus ReverseSortFlag.
extern DWORD SortOrder;
const DWORD ReverseSortFlag = 0x4000;

// Non-zero while the player list is meant to show its details view.
extern DWORD PlayerViewDetails;

// Servers slower than this many milliseconds are not listed; 0 for no limit.
extern DWORD MaximumPing;

// Non-zero: every update also looks for servers on the local network. On
// unless the player turned it off.
extern DWORD SearchLocalNetwork;

// Minutes between refreshes of the listed servers while the window is open;
// 0 for none, else 1 to MaxRefreshMinutes.
extern DWORD RefreshMinutes;
const DWORD MaxRefreshMinutes = 60;

// Non-zero: a minimised window leaves the taskbar and keeps running as its
// icon in the notification area.
extern DWORD KeepInNotificationArea;

// The stored window placement was maximized: the window opens so.
extern bool OpenMaximized;

// The buddy list as the user typed it, one name per line; on the process
// heap, or null.
extern wchar_t* BuddyText;

// The master servers the player chose; while none are chosen, the master
// built into the program is asked alone.
extern AddressList MasterServers;
extern bool MasterServersChosen;

// The player's favourite servers, in the order they were added.
extern AddressList FavouriteServers;
