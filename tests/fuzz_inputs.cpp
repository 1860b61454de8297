// Hostile and broken input for the engine, and the checks of what it made.
#include "tests/fuzz_inputs.h"

#include "engine/status_parser.h"

#include <ctype.h>
#include <string.h>
#include <wchar.h>

#include <cmath>
#include <set>
#include <utility>

FencedBytes::FencedBytes(size_t limit)
{
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    pageSize = system.dwPageSize;
    readable = (limit + pageSize - 1) / pageSize * pageSize;
    pages = static_cast<char*>(VirtualAlloc(nullptr, readable + pageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    DWORD previous;
    VirtualProtect(pages + readable, pageSize, PAGE_NOACCESS, &previous);
}

FencedBytes::~FencedBytes()
{
    VirtualFree(pages, 0, MEM_RELEASE);
}

const char* FencedBytes::Place(const std::string& bytes)
{
    char* start = pages + readable - bytes.size();
    memcpy(start, bytes.data(), bytes.size());
    return start;
}

std::string InputGenerator::NextDatagram()
{
    std::string datagram;
    switch (Below(5)) {
    case 0: datagram = RandomBytes(Below(DatagramLimit + 1)); break;
    case 1: datagram = Mutated(PlausibleReply()); break;
    case 2: datagram = PlausibleReply(); break;
    case 3: datagram = HugeLines(); break;
    default: datagram = ManyLines(); break;
    }
    if (datagram.size() > DatagramLimit)
        datagram.resize(DatagramLimit);
    return datagram;
}

// Bytes the parser treats specially are drawn far more often than chance.
char InputGenerator::InterestingByte()
{
    static const char special[] = {'\\', '\n', '"', ' ', '\0', '\r', '\t', '-', '0', '9'};
    int pick = Below(4);
    if (pick == 0)
        return special[Below(sizeof(special))];
    if (pick == 1)
        return static_cast<char>(0x80 + Below(0x80));
    return static_cast<char>(Below(256));
}

std::string InputGenerator::RandomBytes(int length)
{
    std::string bytes(length, '\0');
    for (char& byte : bytes)
        byte = InterestingByte();
    return bytes;
}

std::string InputGenerator::RandomCase(std::string text)
{
    for (char& character : text) {
        if (Below(2))
            character = static_cast<char>(toupper(static_cast<unsigned char>(character)));
    }
    return text;
}

std::string InputGenerator::PlausibleReply()
{
    static const char* keys[] = {"hostname", "mapname",  "maxclients", "timelimit", "gamename",
                                 "anticheat", "gamedate", "version",    "other"};
    std::string reply = "\xff\xff\xff\xffprint\n";
    int pairs = Below(20);
    for (int pair = 0; pair < pairs; pair++) {
        reply += "\\" + RandomCase(keys[Below(9)]) + "\\";
        reply += Below(2) ? std::to_string(Below(100000) - 50000) : RandomBytes(Below(Below(2) ? 40 : 3000));
    }
    reply += "\n";
    int players = Below(Below(2) ? 10 : 200);
    for (int player = 0; player < players; player++) {
        reply += std::to_string(Below(200) - 100) + " " + std::to_string(Below(999)) + " \"" +
                 RandomBytes(Below(Below(4) ? 20 : 100)) + "\"\n";
    }
    return reply;
}

std::string InputGenerator::Mutated(std::string datagram)
{
    int mutations = 1 + Below(20);
    for (int step = 0; step < mutations; step++) {
        int at = datagram.empty() ? 0 : Below(static_cast<int>(datagram.size()));
        switch (Below(4)) {
        case 0:
            if (!datagram.empty())
                datagram[at] = InterestingByte();
            break;
        case 1: datagram.insert(at, std::string(Below(500), InterestingByte())); break;
        case 2: datagram.erase(at, Below(200)); break;
        default: datagram.insert(at, datagram.substr(at, Below(300))); break;
        }
    }
    return datagram;
}

std::string InputGenerator::HugeLines()
{
    std::string datagram = RandomBytes(Below(100));
    while (datagram.size() < DatagramLimit)
        datagram += std::string(2000 + Below(2200), InterestingByte()) + (Below(2) ? "\n" : "");
    return datagram;
}

std::string InputGenerator::ManyLines()
{
    static const char* lines[] = {"\n", "1 2\n", "1 2 \"x\"\n", "3\n", "\\a\\b\n", " \n"};
    std::string datagram;
    const char* line = lines[Below(6)];
    while (datagram.size() < DatagramLimit)
        datagram += Below(50) ? line : RandomBytes(Below(20));
    return datagram;
}

// Sizes around the header and the entries, the largest datagram, and
// otherwise spread evenly over the orders of magnitude.
int InputGenerator::MasterReplySize()
{
    static const int edges[] = {0, 1, 11, 12, 13, 17, 18, 19, 24, MasterReplyLimit - 1, MasterReplyLimit};
    if (Below(10) == 0)
        return edges[Below(sizeof(edges) / sizeof(edges[0]))];
    double scale = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    return static_cast<int>(std::pow(static_cast<double>(MasterReplyLimit + 1), scale)) - 1;
}

// Entries drawn from pools of every size, so that duplicates come from never
// to nearly always.
std::string InputGenerator::MasterEntries(int size)
{
    std::string reply = RandomBytes(size < 12 ? size : 12);
    int pool = 1 << Below(20);
    while (static_cast<int>(reply.size()) + 6 <= size) {
        unsigned drawn = static_cast<unsigned>(Below(pool));
        char entry[6] = {static_cast<char>(127), static_cast<char>(drawn >> 16), static_cast<char>(drawn >> 8),
                         static_cast<char>(drawn), static_cast<char>(drawn >> 3), static_cast<char>(drawn * 7)};
        reply.append(entry, 6);
    }
    return reply + RandomBytes(size - static_cast<int>(reply.size()));
}

std::string InputGenerator::NextMasterReply()
{
    int size = MasterReplySize();
    switch (Below(3)) {
    case 0: return RandomBytes(size);
    case 1: return MasterEntries(size);
    default: {
        std::string reply = MasterEntries(size);
        return reply.empty() ? reply : Mutated(reply).substr(0, MasterReplyLimit);
    }
    }
}

namespace {

bool GuardIntact(const unsigned char* guard, size_t size)
{
    for (size_t index = 0; index < size; index++) {
        if (guard[index] != GuardByte)
            return false;
    }
    return true;
}

bool Terminated(const wchar_t* field, int size)
{
    return wmemchr(field, L'\0', size) != nullptr;
}

// What is wrong with a parsed record, or an empty text.
std::string RecordFault(const GuardedRecord& guarded)
{
    const ServerRecord& record = guarded.record;
    if (!GuardIntact(guarded.before, sizeof(guarded.before)) || !GuardIntact(guarded.after, sizeof(guarded.after)))
        return "written outside the record";
    if (record.playerCount < 0 || record.playerCount > MaxPlayers)
        return "player count " + std::to_string(record.playerCount);
    if (!Terminated(record.hostName, LongTextSize) || !Terminated(record.mapName, LongTextSize) ||
        !Terminated(record.version, LongTextSize) || !Terminated(record.gameDate, ShortTextSize) ||
        !Terminated(record.gameName, ShortTextSize))
        return "unterminated server text";
    for (const PlayerEntry& player : record.players) {
        if (!Terminated(player.name, PlayerNameSize))
            return "unterminated player name";
    }
    if (record.responded != 1)
        return "not marked answered";
    return "";
}

}  // namespace

GuardedRecord::GuardedRecord() : record()
{
    memset(before, GuardByte, sizeof(before));
    memset(after, GuardByte, sizeof(after));
}

std::string ParseGuarded(const char* datagram, int length, GuardedRecord* guarded)
{
    ReleaseStatusInfo(&guarded->record, 1);
    guarded->record = {};
    guarded->record.sentAt = 1;
    ParseStatusFields(datagram, length, 1, &guarded->record);
    return RecordFault(*guarded);
}

std::string TableFault(const std::string& reply)
{
    int entries = reply.size() > 12 ? static_cast<int>(reply.size() - 12) / 6 : 0;
    std::set<std::pair<DWORD, WORD>> kept;
    int count = 0;
    for (int entry = 0; entry < entries; entry++) {
        const unsigned char* bytes = reinterpret_cast<const unsigned char*>(reply.data()) + 12 + entry * 6;
        DWORD address;
        memcpy(&address, bytes, sizeof(address));
        WORD port = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
        if (!kept.insert(std::make_pair(address, port)).second)
            continue;
        if (count >= ServerTable.count)
            return "the table has too few records";
        const ServerRecord& record = ServerTable.records[count];
        if (record.address != address || record.port != port)
            return "record " + std::to_string(count) + " is not the entry";
        if (record.sentAt != 0 || record.responded != 0 || record.attempts != 0 || record.offered != 0 ||
            record.playerCount != 0 || record.hostName[0] != 0)
            return "record " + std::to_string(count) + " is not zeroed";
        count++;
    }
    if (count != ServerTable.count)
        return "the table has " + std::to_string(ServerTable.count) + " records for " + std::to_string(count) +
               " servers";
    return "";
}
