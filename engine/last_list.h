// The last list of game servers that the masters gave, kept in a file, so
// that the browser can still reach those servers when no master answers.
#pragma once

#include <windows.h>

#include "engine/server_table.h"
#include "settings/settings.h"

// More than this many servers, or bytes of file, are not read.
const int MaxLastListServers = 32768;
const DWORD LastListReadLimit = 1024 * 1024;

// The file, "a.b.c.d:port" on each line; empty while no list is kept.
extern wchar_t LastListPath[PathSize];

// Writes the list whole or not at all: a new file, flushed, then put in the
// place of the old one. Makes the file's folders as needed.
bool SaveLastList(const ServerAddress* servers, int count);

// Reads the kept list into a new C-heap array (null when there is none) and
// returns its length; lines that are not an address and port are skipped.
int LoadLastList(ServerAddress** servers);
