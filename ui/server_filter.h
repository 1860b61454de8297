// The filter line over the server list, and the ping limit: what the list
// shows besides what the Full and Empty boxes allow. The line is a field at
// the top of the "Servers" frame, shown by Ctrl+L or "/" in the list; the
// list gives up the field's height while it shows.
#pragma once

#include <windows.h>

struct ServerRecord;

const int MaxFilterWords = 16;

// Makes the field, hidden, in the main window.
void CreateFilterLine(HWND mainWindow);

// Shows the field and puts the focus in it.
void ShowFilterLine();

// Empties and hides the field; the list shows every server again.
void HideFilterLine();

bool FilterLineShown();

// Whether the focus is in the field (Escape there hides it).
bool FilterLineFocused();

// The field's text has changed: the list shows what matches it, and the
// status line says how many match.
void FollowFilterText();

// Whether the record's server passes the filter line: every word of the
// line (letters A-Z in either case) is found in its host name, map, address
// or a player's name, or is "buddy" for a server with a buddy or "fav" for
// a favourite.
bool MatchesFilterLine(const ServerRecord& record);

// Whether its ping is not above MaximumPing (none while that is 0).
bool WithinPingLimit(const ServerRecord& record);

// Sets the words the line holds, as the field does when typed into.
void SetFilterWords(const wchar_t* text);
