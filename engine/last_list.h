// The last list of game servers that the masters gave, kept in a file, so
// that the browser can still reach those servers when no master answers.
#pragma once

#include <windows.h>

#include "engine/server_table.h"
#include "settings/settings.h"

// More than this many servers, or bytes of file, are not read.
const int MaxLastListServers = 32768;
const DWORD LastListReadLimit = 1024 * 1024;

// A kept server is dropped once this many sweeps in a row asked it and had
// no answer.
const int MaxUnansweredSweeps = 3;

// The file, "a.b.c.d:port" on each line; empty while no list is kept. A
// server that the last sweeps asked in vain has the line "# unanswered N"
// before its own, which a reader of addresses alone skips as no address.
extern wchar_t LastListPath[PathSize];

struct KeptServer {
    DWORD address;  // network byte order
    WORD port;      // host byte order
    WORD unanswered;  // sweeps in a row that asked it and had no answer
};

// Writes the list whole or not at all: a new file, flushed, then put in the
// place of the old one. Makes the file's folders as needed.
bool SaveLastList(const KeptServer* servers, int count);

// Reads the kept list into a new C-heap array (null when there is none) and
// returns its length; lines that are not an address and port are skipped.
int LoadLastList(KeptServer** servers);

// After a sweep that ran to its end over these records: each kept server
// it asked counts as answered or not, and one that has not answered in the
// last MaxUnansweredSweeps sweeps that asked it is dropped. False when the
// changed list could not be saved (the old one then stays).
bool AgeLastList(const ServerRecord* records, int count);
