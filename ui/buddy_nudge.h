// Tells the player when a buddy starts playing. A buddy seen on a server
// where this run has not seen them before is noted; once the update or the
// refresh that found them has ended, the status line names them, and when
// the window is not the active one its taskbar button flashes until it is.
#pragma once

#include <windows.h>

const UINT_PTR NudgeTimerId = 3;

// Whether the taskbar button flashes for a buddy now.
extern bool BuddyFlashing;

// On the UI thread, for the record at this index each time an update or a
// refresh has parsed it.
void NoteBuddySightings(int recordIndex);

// On NudgeTimerId's WM_TIMER: tells what was noted, once the update or
// refresh has ended.
void TellBuddySightings();

// The window became active: the button has stopped flashing.
void NoteWindowActivated();

// Forgets every sighting, as at the start of a run.
void ForgetBuddySightings();
