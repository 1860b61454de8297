// The "Join Server" dialog: asks for the password a server needs before the
// game is started, and keeps it for the player when asked to.
#pragma once

#include <windows.h>

#include "settings/password_store.h"

// Why the game cannot take this text as a password of this kind, or null
// when it can. The game keeps a password as an info value, so it refuses a
// backslash or a semicolon; its command line would break on a double quote,
// be split at a space, and start a command at a '+'. A '-' is taken: the
// game reads "+set" and its two words whole before it looks for commands,
// where a '-' would end one. A spectator password of "0" or "" means none
// to the game.
const wchar_t* PasswordRefusal(const wchar_t* text, PasswordKind kind);

// Asks for the password of the server `server` ("a.b.c.d:port"), named
// `hostName`, filled in with a kept one, in a dialog `owner` owns; false on
// Cancel.
bool AskJoinPassword(HINSTANCE instance, HWND owner, const wchar_t* hostName, const wchar_t* server,
                     PasswordKind kind, wchar_t password[GamePasswordSize]);

INT_PTR CALLBACK JoinDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
