// The browser as the opener of quarrix:// links, for the signed-in user
// only, without administrator rights: the URL protocol entry
// HKEY_CURRENT_USER\Software\Classes\quarrix, whose command starts this
// program with the link.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// The entry's key below HKEY_CURRENT_USER; a test points it at one of its
// own.
extern const wchar_t* LinkClassKey;

enum LinkOpener { LinksOpenNothing, LinksOpenThisCopy, LinksOpenAnother };

// Who opens links now; for another program, its path goes to `program`.
LinkOpener WhoOpensLinks(wchar_t program[PathSize]);

// Makes this program the opener; false when the entry could not be written.
bool RegisterLinks();

// Removes the entry, only while it still starts this program.
void UnregisterLinks();

// The entry starts a program that is no longer there (this one, before it
// was moved), which the player has not been asked about: its path goes to
// `program`, and it counts as asked about from then on.
bool LinksOpenAMovedCopy(wchar_t program[PathSize]);
