// The browser's icon in the notification area: there while the player keeps
// the browser there when minimised, and while news told in a balloon waits
// to be seen. A click on the balloon brings the window forward with the
// news's server selected; the icon's menu offers Open, Update and Exit. The
// icon goes at exit, and comes back when the shell restarts.
#pragma once

#include <windows.h>
#include <shellapi.h>

// The icon's messages to the main window; lParam: the mouse or balloon event.
#define WM_NOTIFICATION_ICON (WM_APP + 18)

// A balloon holds at most this many characters and its terminator.
const int NotificationTextSize = 256;

// How the shell is told; tests record the calls instead.
extern BOOL(WINAPI* NotifyShell)(DWORD message, PNOTIFYICONDATAW data);

// Tells the news in a balloon; a click on it selects the server of this
// address and port.
void ShowNewsBalloon(const wchar_t* text, DWORD address, WORD port);

// The window came to the front: an icon that was there only for news goes.
void NoteNewsSeen();

// After Config and at start-up: the icon is there while the player keeps the
// browser in the notification area.
void FollowNotificationChoice();

// The window goes: so does the icon.
void RemoveNotificationIcon();

// For WM_SIZE: a window minimised while the player keeps the browser in the
// notification area leaves the taskbar; true when it was hidden.
bool HideWhenMinimised(WPARAM sizeKind);

// For WM_NOTIFICATION_ICON.
void TakeNotificationIconEvent(LPARAM event);

// The icon menu's commands; false for any other.
bool RunNotificationCommand(WORD command);

// For a message the window does not know: the shell restarted, and the icon
// is added again; true when it was that message.
bool TakeShellRestart(UINT message);
