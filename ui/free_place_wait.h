// Waiting for a free place on a full server: the server is asked for its
// status every FreePlaceAskInterval, by the refresh's own exchange and its
// retries, and the join goes ahead the moment an answer shows a free place.
// A refresh runs only while no update does, and an update stops the wait,
// so the wait never shares the sweep's socket or its table.
#pragma once

#include <windows.h>

#include "engine/server_table.h"
#include "launcher/game_launcher.h"

#define WM_TAKE_FREE_PLACE (WM_APP + 12)

const DWORD FreePlaceAskInterval = 5000;
// A server silent for this long (60 s) ends the wait; tests shorten it.
extern DWORD FreePlaceSilenceLimit;
const UINT_PTR FreePlaceTimerId = 4;

// Starts waiting for a place on the server of this record, to join it as
// `choice` says.
void StartFreePlaceWait(int recordIndex, const JoinChoice& choice);

// Escape, Update, another join: "Stopped waiting for <host>."; the window
// closing: nothing said.
void StopFreePlaceWait(bool quietly);

bool FreePlaceWaitRunning();

// For FreePlaceTimerId's WM_TIMER: asks the server again, or ends a wait
// it has not answered for FreePlaceSilenceLimit.
void AskForFreePlace();

// A record was refreshed: the awaited server's answer is told. One that
// shows a free place is held, and WM_TAKE_FREE_PLACE posted: the join never
// runs inside the refresh's own message, which holds the table lock.
void FollowFreePlace(int recordIndex);

// For WM_TAKE_FREE_PLACE: the place found, to be joined now, unless a
// dialog is open over the window. The place is then held, and offered again
// when the last dialog has closed (the window enabled again), if the wait
// was not stopped meanwhile. True, with the wait ended, when it is taken.
bool TakeFreePlace(wchar_t server[ServerAddressTextSize], JoinChoice* choice);

// The window was enabled again: a held place is taken.
void FollowWindowEnabled();
