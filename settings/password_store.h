// The join passwords the player chose to remember, one per server and kind,
// for the signed-in Windows user only: each is encrypted with the user's
// data-protection key and kept under the settings key's "Passwords" subkey,
// never as plain text.
#pragma once

#include <windows.h>

// The game keeps a password as an info value: 63 characters at most.
const int GamePasswordSize = 64;

enum PasswordKind { PlayerPassword, SpectatorPassword };

// The kept password of this server ("a.b.c.d:port"); false, with an empty
// text, when none is kept or it cannot be decrypted (another user's, a
// damaged value).
bool RecallPassword(const wchar_t* server, PasswordKind kind, wchar_t password[GamePasswordSize]);

// Keeps the password; false when it could not be.
bool KeepPassword(const wchar_t* server, PasswordKind kind, const wchar_t* password);

void ForgetPassword(const wchar_t* server, PasswordKind kind);

// Whether a password of either kind is kept for this server.
bool PasswordKept(const wchar_t* server);
