// The settings store: loads every setting from the registry while the main
// window is set up, and saves them all when it is destroyed.
#pragma once

#include <windows.h>

extern const wchar_t SettingsKeyName[];
extern const wchar_t InstallKeyName[];

// Needs the main window and its Full and Empty boxes.
void LoadSettings();

// Ends by releasing Winsock, whether or not anything was saved.
void SaveSettings();
