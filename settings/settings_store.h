// The settings store: loads every setting from the registry while the main
// window is set up, and saves them all when it is destroyed.
#pragma once

#include <windows.h>

extern const wchar_t SettingsKeyName[];
// The folder below the user's local application data that keeps the last
// list of servers.
extern const wchar_t DataFolderName[];
const wchar_t LastListFileName[] = L"Last Servers.txt";
// The name that tells a running copy of this program from a second start.
extern const wchar_t InstanceName[];
extern const wchar_t InstallKeyName[];

// Needs the main window and its Full and Empty boxes.
void LoadSettings();

// Puts the default in place of every value that a restart would load as its
// default (0, or an empty text).
void ApplySettingDefaults();

// Every setting into the registry, as the window closes.
void StoreSettings();

// Stores the settings, and ends by releasing Winsock whether or not anything
// was saved.
void SaveSettings();

// Saves the master servers, the favourites and the watched servers alone, as
// soon as they change.
void SaveServerLists();

// Points the last list at its file in the data folder; without a local
// application data folder no list is kept.
void LocateLastList();
