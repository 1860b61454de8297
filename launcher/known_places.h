// Where Quake II is usually installed: looked at before any drive is
// walked. Every store is read as untrusted input: a value of the wrong type
// or length, or a damaged library list, gives no place and no more.
#pragma once

#include <windows.h>

#include "settings/settings.h"

const int MaxKnownPlaces = 64;

// The folders to look in, in this order, each ending with a backslash and
// named once: the game's folder in every Steam library (the Steam folder of
// HKCU\Software\Valve\Steam "SteamPath", then those its
// steamapps\libraryfolders.vdf names), the "path" of every game under
// HKLM\SOFTWARE\GOG.com\Games, each only when it holds `executable`; then
// the folder the App Paths entry of `executable` names, C:\Quake2,
// C:\Games\Quake2 and "Quake 2" and "Quake II" in the Program Files folders.
int ListKnownPlaces(const wchar_t* executable, wchar_t places[MaxKnownPlaces][PathSize]);

// The library folders a libraryfolders.vdf text names, in Valve's text
// key-value format: every "path" value, and in older files every value of a
// numbered key of "libraryfolders"; the first `limit` of a longer list.
int ReadSteamLibraries(const char* text, int length, wchar_t (*libraries)[PathSize], int limit);
