// Tells the player what happened on the servers while they looked elsewhere:
// a buddy seen on a server where this run has not seen them before, and a
// watched server reaching its number of players. Once the update or the
// refresh that found it has ended, the status line tells it; when the window
// is not in front its taskbar button flashes until it is, and a balloon from
// the icon in the notification area tells it too.
#pragma once

#include <windows.h>

struct ServerRecord;

const UINT_PTR NewsTimerId = 3;

// Whether the taskbar button flashes for news now.
extern bool NewsFlashing;

// On the UI thread, for the record at this index each time an update or a
// refresh has parsed it.
void NoteBuddySightings(int recordIndex);

// News of this server: `line` for the status line ("Frostline: 6 of 16
// players."), the same without its full stop for the balloon.
void AddServerNews(const ServerRecord& record, const wchar_t* line);

// On NewsTimerId's WM_TIMER: tells what was noted, once the update or
// refresh has ended.
void TellServerNews();

// The window became active: the button has stopped flashing.
void NoteWindowActivated();

// Forgets every sighting and all news, as at the start of a run.
void ForgetServerNews();
