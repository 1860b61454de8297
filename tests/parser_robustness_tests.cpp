// Hostile and broken replies: a seeded run of random and mutated datagrams
// through the parser, checking after each that the record stays sound.
#include <gtest/gtest.h>

#include <malloc.h>
#include <string.h>

#include <random>
#include <string>

#include "engine/status_parser.h"
#include "tests/window_ops_recorder.h"

namespace {

const int DatagramLimit = 4096;
const int Iterations = 100000;
const unsigned char GuardByte = 0xA5;

// The record with guard bytes on both sides, to catch writes past it.
struct GuardedRecord {
    unsigned char before[512];
    ServerRecord record;
    unsigned char after[512];
};

// A datagram whose last byte is the last readable byte of its page, so a
// read past the received length faults at once.
class FencedDatagram {
public:
    FencedDatagram()
    {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        pageSize = system.dwPageSize;
        pages = static_cast<char*>(VirtualAlloc(nullptr, 3 * pageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
        DWORD previous;
        VirtualProtect(pages + 2 * pageSize, pageSize, PAGE_NOACCESS, &previous);
    }
    ~FencedDatagram() { VirtualFree(pages, 0, MEM_RELEASE); }

    const char* Place(const std::string& bytes)
    {
        char* start = pages + 2 * pageSize - bytes.size();
        memcpy(start, bytes.data(), bytes.size());
        return start;
    }

private:
    DWORD pageSize;
    char* pages;
};

class DatagramGenerator {
public:
    explicit DatagramGenerator(unsigned seed) : random(seed) {}

    std::string Next()
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

private:
    std::mt19937 random;

    int Below(int limit) { return std::uniform_int_distribution<int>(0, limit - 1)(random); }

    // Bytes the parser treats specially are drawn far more often than chance.
    char InterestingByte()
    {
        static const char special[] = {'\\', '\n', '"', ' ', '\0', '\r', '\t', '-', '0', '9'};
        int pick = Below(4);
        if (pick == 0)
            return special[Below(sizeof(special))];
        if (pick == 1)
            return static_cast<char>(0x80 + Below(0x80));
        return static_cast<char>(Below(256));
    }

    std::string RandomBytes(int length)
    {
        std::string bytes(length, '\0');
        for (char& byte : bytes)
            byte = InterestingByte();
        return bytes;
    }

    std::string RandomCase(std::string text)
    {
        for (char& character : text) {
            if (Below(2))
                character = static_cast<char>(toupper(static_cast<unsigned char>(character)));
        }
        return text;
    }

    std::string PlausibleReply()
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

    std::string Mutated(std::string datagram)
    {
        int mutations = 1 + Below(20);
        for (int step = 0; step < mutations; step++) {
            int at = datagram.empty() ? 0 : Below((int)datagram.size());
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

    std::string HugeLines()
    {
        std::string datagram = RandomBytes(Below(100));
        while (datagram.size() < DatagramLimit)
            datagram += std::string(2000 + Below(2200), InterestingByte()) + (Below(2) ? "\n" : "");
        return datagram;
    }

    std::string ManyLines()
    {
        static const char* lines[] = {"\n", "1 2\n", "1 2 \"x\"\n", "3\n", "\\a\\b\n", " \n"};
        std::string datagram;
        const char* line = lines[Below(6)];
        while (datagram.size() < DatagramLimit)
            datagram += Below(50) ? line : RandomBytes(Below(20));
        return datagram;
    }
};

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

// Returns what is wrong with a parsed record, or an empty text.
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

TEST(ParserRobustness, RandomAndMutatedDatagramsLeaveSoundRecords)
{
    DatagramGenerator generator(20261207);
    FencedDatagram fence;
    GuardedRecord* guarded = new GuardedRecord;
    memset(guarded->before, GuardByte, sizeof(guarded->before));
    memset(guarded->after, GuardByte, sizeof(guarded->after));
    ServerTable = {&guarded->record, 1};

    int playersSeen = 0;
    for (int iteration = 0; iteration < Iterations; iteration++) {
        std::string datagram = generator.Next();
        guarded->record = {};
        guarded->record.sentAt = 1;
        ParseStatusReply(fence.Place(datagram), (int)datagram.size(), 1, &guarded->record);
        std::string fault = RecordFault(*guarded);
        ASSERT_EQ(fault, "") << "datagram " << iteration;
        playersSeen += guarded->record.playerCount;
        ClearWindowCalls();
    }
    EXPECT_EQ(_heapchk(), _HEAPOK);
    // The generator must reach the player code, not only the info line.
    EXPECT_GT(playersSeen, Iterations);
    ServerTable = {};
    delete guarded;
}

}  // namespace
