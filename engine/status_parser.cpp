// The status reply parser.
#include "engine/status_parser.h"

#include <stdlib.h>
#include <string.h>

#include "engine/status_text.h"

namespace {

struct InfoKey {
    const char* key;
    int slot;
};

const InfoKey InfoKeyTable[] = {
    {"maxclients", 0}, {"mapname", 1},   {"timelimit", 2}, {"needpass", 3}, {"gamename", 4},
    {"hostname", 5},   {"anticheat", 6}, {"gamedate", 7},  {"version", 8},
};

enum InfoSlot {
    SlotMaxClients = 0,
    SlotMapName = 1,
    SlotTimeLimit = 2,
    SlotNeedPass = 3,
    SlotGameName = 4,
    SlotHostName = 5,
    SlotAntiCheat = 6,
    SlotGameDate = 7,
    SlotVersion = 8,
    InfoSlotCount = 9,
};

const int KeyBufferSize = 64;
const int GameDateWords = 3;

// Cuts the next token off a player line in place. Runs of separators count
// as one and leading ones are skipped, so a token is never empty. Afterwards
// the cursor stands just past the separator that ended the token.
char* NextToken(char** cursor, char separator)
{
    char* position = *cursor;
    while (*position == separator)
        position++;
    if (*position == '\0') {
        *cursor = position;
        return nullptr;
    }
    char* token = position;
    while (*position != '\0' && *position != separator)
        position++;
    if (*position != '\0')
        *position++ = '\0';
    *cursor = position;
    return token;
}

bool IsWhiteSpace(wchar_t character)
{
    return character == L' ' || (character >= L'\t' && character <= L'\r');
}

// "Mar 12 2026 10:15:00" becomes "Mar 12 2026"; the day may follow two blanks.
void CutToThreeWords(wchar_t* text)
{
    int wordStarts = 0;
    for (wchar_t* position = text; *position != L'\0'; position++) {
        if (IsWhiteSpace(position[0]) && position[1] != L'\0' && !IsWhiteSpace(position[1])) {
            if (++wordStarts == GameDateWords) {
                *position = L'\0';
                return;
            }
        }
    }
}

// Cuts the next field off an info string in place, as the game reads it:
// every backslash ends a field, so two in a row leave an empty one. Null
// once the line is used up.
char* NextInfoField(char** cursor)
{
    char* field = *cursor;
    if (field == nullptr)
        return nullptr;
    char* position = field;
    while (*position != '\0' && *position != '\\')
        position++;
    if (*position == '\0') {
        *cursor = nullptr;
    } else {
        *position = '\0';
        *cursor = position + 1;
    }
    return field;
}

void CollectInfoValues(char* infoLine, const char* slots[InfoSlotCount])
{
    char* cursor = FirstInfoField(infoLine);
    char* keyToken;
    char* value;
    while (NextInfoPair(&cursor, &keyToken, &value)) {
        char key[KeyBufferSize];
        lstrcpynA(key, keyToken, KeyBufferSize);
        for (const InfoKey& row : InfoKeyTable) {
            if (_stricmp(key, row.key) == 0)
                slots[row.slot] = value;
        }
    }
}

int IntegerValue(const char* value)
{
    return value != nullptr ? atoi(value) : 0;
}

void FillInfoFields(ServerRecord* record, const char* slots[InfoSlotCount])
{
    record->maxClients = IntegerValue(slots[SlotMaxClients]);
    record->timeLimit = IntegerValue(slots[SlotTimeLimit]);
    record->antiCheat = IntegerValue(slots[SlotAntiCheat]);
    record->needPass = IntegerValue(slots[SlotNeedPass]) & (NeedsPlayerPassword | NeedsSpectatorPassword);
    CopyGameText(record->mapName, LongTextSize, slots[SlotMapName] ? slots[SlotMapName] : "?");
    CopyNetworkText(record->gameName, ShortTextSize,
                    slots[SlotGameName] ? slots[SlotGameName] : "default");
    CopyNetworkText(record->version, LongTextSize, slots[SlotVersion] ? slots[SlotVersion] : "");
    CopyGameText(record->hostName, LongTextSize, slots[SlotHostName] ? slots[SlotHostName] : "");
    if (slots[SlotGameDate] != nullptr) {
        CopyNetworkText(record->gameDate, ShortTextSize, slots[SlotGameDate]);
        CutToThreeWords(record->gameDate);
    }
}

// A player line reads: score, ping, then the name in double quotes.
bool ReadPlayerLine(char* line, PlayerEntry* player)
{
    char* cursor = line;
    char* score = NextToken(&cursor, ' ');
    char* ping = score != nullptr ? NextToken(&cursor, ' ') : nullptr;
    if (ping == nullptr)
        return false;
    player->score = atoi(score);
    player->ping = atoi(ping);

    char* name = cursor;
    while (*name == '"')
        name++;
    char* closingQuote = strchr(name, '"');
    if (closingQuote != nullptr)
        *closingQuote = '\0';
    CopyGameText(player->name, PlayerNameSize, name);
    return true;
}

void ParseInfoLine(const char** cursor, int* bytesLeft, ServerRecord* record)
{
    const char* slots[InfoSlotCount] = {};
    char* infoLine = ReadLine(cursor, bytesLeft);
    ReleaseStatusInfo(record, 1);
    record->info = KeepStatusInfo(infoLine);
    if (infoLine != nullptr)
        CollectInfoValues(infoLine, slots);
    FillInfoFields(record, slots);
    free(infoLine);
}

// Stores the first MaxPlayers players; further lines are read and ignored.
int ParsePlayerLines(const char** cursor, int* bytesLeft, ServerRecord* record)
{
    int players = 0;
    while (char* line = ReadLine(cursor, bytesLeft)) {
        if (players < MaxPlayers && ReadPlayerLine(line, &record->players[players]))
            players++;
        free(line);
    }
    return players;
}

}  // namespace

// Converts network text from the ANSI code page and cuts it to the field.
void CopyNetworkText(wchar_t* field, int fieldSize, const char* text)
{
    // A line never holds more than LineBufferSize - 1 bytes, and no ANSI code
    // page makes more UTF-16 units than bytes.
    wchar_t wide[LineBufferSize];
    int length = MultiByteToWideChar(CP_ACP, 0, text, (int)strnlen(text, LineBufferSize - 1), wide,
                                     LineBufferSize);
    if (length > fieldSize - 1)
        length = fieldSize - 1;
    memcpy(field, wide, length * sizeof(wchar_t));
    field[length] = L'\0';
}

namespace {

// Quake II draws names with a font of its own: bytes 128 to 255 are the
// letters of 0 to 127 in colour, and the glyphs below 32 read as the plain
// characters given here; 0 marks a glyph (a frame piece, a tab, a line end)
// that stands for no character and is left out.
const char GameGlyphs[32] = {0,   0,   0,   0,   0,   '.', 0,   0,   0,   0,   0,   0,   0,   0,   '.', '.',
                             '[', ']', '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', '.', '<', '=', '>'};
// The left arrow of the font.
const char GameDelete = 127;

// A name as the game shows it, in plain 7-bit characters.
void ReadableGameText(const char* text, char* readable, int readableSize)
{
    int length = 0;
    for (const unsigned char* byte = reinterpret_cast<const unsigned char*>(text);
         *byte != 0 && length < readableSize - 1; byte++) {
        unsigned char letter = *byte & 0x7F;
        char shown = letter < 32 ? GameGlyphs[letter] : letter == GameDelete ? '<' : static_cast<char>(letter);
        if (shown != 0)
            readable[length++] = shown;
    }
    readable[length] = '\0';
}

}  // namespace

// Host, map and player names, as the game shows them.
void CopyGameText(wchar_t* field, int fieldSize, const char* text)
{
    char readable[LineBufferSize];
    ReadableGameText(text, readable, LineBufferSize);
    CopyNetworkText(field, fieldSize, readable);
}

void FoldTypedName(const wchar_t* typed, wchar_t* folded, int foldedSize)
{
    // Two bytes a character at the most, in any ANSI code page.
    char bytes[LineBufferSize];
    int count = lstrlenW(typed);
    if (count > (LineBufferSize - 1) / 2)
        count = (LineBufferSize - 1) / 2;
    int length = WideCharToMultiByte(CP_ACP, 0, typed, count, bytes, LineBufferSize - 1, nullptr, nullptr);
    bytes[length] = '\0';
    CopyGameText(folded, foldedSize, bytes);
}

char* FirstInfoField(char* info)
{
    return *info == '\\' ? info + 1 : info;
}

bool NextInfoPair(char** cursor, char** key, char** value)
{
    *key = NextInfoField(cursor);
    *value = *key != nullptr ? NextInfoField(cursor) : nullptr;
    return *value != nullptr;
}

char* ReadLine(const char** cursor, int* bytesLeft)
{
    if (*bytesLeft <= 0)
        return nullptr;
    const char* start = *cursor;
    const char* lineFeed = static_cast<const char*>(memchr(start, '\n', *bytesLeft));
    int length;
    if (lineFeed != nullptr) {
        length = (int)(lineFeed - start);
        *cursor = lineFeed + 1;
        *bytesLeft -= length + 1;
    } else {
        length = *bytesLeft;
        *cursor = start + length;
        *bytesLeft = 0;
    }

    char* line = static_cast<char*>(malloc(LineBufferSize));
    if (line == nullptr)
        return nullptr;
    if (length > LineBufferSize - 1)
        length = LineBufferSize - 1;
    memcpy(line, start, length);
    line[length] = '\0';
    return line;
}

void ParseStatusFields(const char* datagram, int length, DWORD arrivedAt, ServerRecord* record)
{
    record->responded = 1;

    const char* cursor = datagram;
    int bytesLeft = length;
    free(ReadLine(&cursor, &bytesLeft));
    // A reply stamped before its request's time was noted is no faster than 0.
    LONG ping = static_cast<LONG>(arrivedAt - record->sentAt);
    record->ping = ping > 0 ? static_cast<DWORD>(ping) : 0;

    ParseInfoLine(&cursor, &bytesLeft, record);
    record->playerCount = ParsePlayerLines(&cursor, &bytesLeft, record);
}

void FormatFoundLine(const ServerRecord& record, wchar_t* text, int textSize)
{
    FormatText(text, textSize, L"Found %d player%s on '%s'", record.playerCount, record.playerCount == 1 ? L"" : L"s",
               record.hostName);
}
