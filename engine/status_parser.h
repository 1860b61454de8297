// Turns a game server's status reply (header line, info string, one line per
// player) into the fields of its server record.
#pragma once

#include "engine/server_table.h"

// A returned line holds at most this many bytes, terminator included.
const int LineBufferSize = 2048;

// Returns the next line without its line feed as a new C-heap string that the
// caller frees, or nullptr when no bytes are left. A longer line is cut to
// LineBufferSize - 1 bytes; reading goes on after its line feed.
char* ReadLine(const char** cursor, int* bytesLeft);

// Converts network text from the ANSI code page and cuts it to the field.
void CopyNetworkText(wchar_t* field, int fieldSize, const char* text);

// Host, map and player names, as the game shows them: its coloured letters
// as plain ones, its glyphs as the characters they stand for.
void CopyGameText(wchar_t* field, int fieldSize, const char* text);

// A name the player typed, folded by the same rule as the game's names (in
// the ANSI code page the network text is read in), so that it compares with
// the names of the table as the player sees them.
void FoldTypedName(const wchar_t* typed, wchar_t* folded, int foldedSize);

// An info string ("\key\value\key\value") is read pair by pair, cut off in
// place as the game reads it: every backslash ends a field. FirstInfoField
// gives where the first key starts; NextInfoPair the next key and value, or
// false when no pair is left.
char* FirstInfoField(char* info);
bool NextInfoPair(char** cursor, char** key, char** value);

// Parses one reply into the fields of `record` and marks it answered; the
// ping runs from its `sentAt` to `arrivedAt`. Tells the window nothing.
void ParseStatusFields(const char* datagram, int length, DWORD arrivedAt, ServerRecord* record);

// "Found 3 players on 'Rail Garden'": the status line after a parsed reply.
void FormatFoundLine(const ServerRecord& record, wchar_t* text, int textSize);
