// The status reply parser: lines, info keys, player lines, limits, ping and
// what the window is told.
#include <gtest/gtest.h>

#include <windows.h>
#include <mmsystem.h>

#include <string>
#include <vector>

#include "engine/status_parser.h"
#include "tests/window_ops_recorder.h"

namespace {

const std::string Header = "\xff\xff\xff\xffprint\n";
const int ParsedIndex = 1;

// A table of three records, the middle one parsed, as the receiver would.
class StatusParserTest : public testing::Test {
protected:
    std::vector<ServerRecord> records = std::vector<ServerRecord>(3);

    void SetUp() override
    {
        ServerTable = {records.data(), (int)records.size()};
        ClearWindowCalls();
    }
    void TearDown() override { ServerTable = {}; }

    ServerRecord& Parse(const std::string& reply)
    {
        ServerRecord& record = records[ParsedIndex];
        record.sentAt = timeGetTime();
        // As the receiver does: the fields, then the offer.
        ParseStatusFields(reply.data(), (int)reply.size(), timeGetTime(), &record);
        OfferServers(&ParsedIndex, 1);
        return record;
    }

    ServerRecord& ParseInfo(const std::string& infoLine) { return Parse(Header + infoLine + "\n"); }
};

TEST_F(StatusParserTest, WorkedReplyFillsRecordAndReports)
{
    ServerRecord& record = Parse(Header + "\\hostname\\Alpha\\mapname\\m1\\maxclients\\8\\gamename\\\\\n" +
                                 "3 52 \"Bob\"\n");
    EXPECT_EQ(record.responded, 1);
    EXPECT_STREQ(record.hostName, L"Alpha");
    EXPECT_STREQ(record.mapName, L"m1");
    EXPECT_EQ(record.maxClients, 8);
    // Sent empty, so empty: "default" stands only for a missing key.
    EXPECT_STREQ(record.gameName, L"");
    ASSERT_EQ(record.playerCount, 1);
    EXPECT_EQ(record.players[0].score, 3);
    EXPECT_EQ(record.players[0].ping, 52);
    EXPECT_STREQ(record.players[0].name, L"Bob");

    std::vector<WindowCall> calls = RecordedWindowCalls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].kind, CallOfferServer);
    EXPECT_EQ(calls[0].argument, ParsedIndex);
    EXPECT_EQ(calls[1].kind, CallStatusMessage);
    EXPECT_EQ(calls[1].text, L"Found 1 player on 'Alpha'");
}

TEST_F(StatusParserTest, InfoKeyPairing)
{
    struct Case {
        const char* name;
        const char* infoLine;
        const wchar_t* hostName;
        const wchar_t* mapName;
    };
    const Case cases[] = {
        {"keys fold ASCII case", "\\HostName\\Beta\\MAPNAME\\q2dm1", L"Beta", L"q2dm1"},
        {"a repeated key keeps the last value", "\\hostname\\First\\mapname\\a\\hostname\\Second",
         L"Second", L"a"},
        {"an empty value is empty, and the pairs after it keep their keys", "\\hostname\\\\mapname\\x", L"",
         L"x"},
        {"every backslash ends a field", "\\\\hostname\\Gamma\\\\mapname\\\\", L"", L""},
        {"no leading backslash", "hostname\\Delta\\mapname\\base1", L"Delta", L"base1"},
        {"a trailing key without value is ignored", "\\hostname\\Eps\\mapname", L"Eps", L"?"},
        {"unknown keys are skipped", "\\admin\\me\\hostname\\Zeta\\mapname2\\no", L"Zeta", L"?"},
        {"a carriage return is left out of a name", "\\hostname\\Eta\r", L"Eta", L"?"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        records[ParsedIndex] = {};
        ServerRecord& record = ParseInfo(test.infoLine);
        EXPECT_STREQ(record.hostName, test.hostName);
        EXPECT_STREQ(record.mapName, test.mapName);
    }
}

TEST_F(StatusParserTest, NulByteSkipsRestOfLineOnly)
{
    const char infoLine[] = "\\hostname\\Th\0eta\\mapname\\m\n";
    std::string reply = Header + std::string(infoLine, sizeof(infoLine) - 1) + "1 2 \"P\"\n";
    ServerRecord& record = Parse(reply);
    EXPECT_STREQ(record.hostName, L"Th");
    EXPECT_STREQ(record.mapName, L"?");
    ASSERT_EQ(record.playerCount, 1);
    EXPECT_STREQ(record.players[0].name, L"P");
}

TEST_F(StatusParserTest, MissingKeysTakeTheirDefaults)
{
    ServerRecord& record = ParseInfo("\\foo\\bar");
    EXPECT_STREQ(record.hostName, L"");
    EXPECT_STREQ(record.mapName, L"?");
    EXPECT_STREQ(record.gameName, L"default");
    EXPECT_STREQ(record.version, L"");
    EXPECT_STREQ(record.gameDate, L"");
    EXPECT_EQ(record.maxClients, 0);
    EXPECT_EQ(record.timeLimit, 0);
    EXPECT_EQ(record.antiCheat, 0);
}

TEST_F(StatusParserTest, EveryKeyFillsItsField)
{
    ServerRecord& record = ParseInfo(
        "\\maxclients\\ 16abc\\mapname\\q2dm8\\timelimit\\-20\\gamename\\quarrix\\hostname\\Omega"
        "\\anticheat\\x1\\gamedate\\Dec  7 2026 10:11:12\\version\\q2pro r1 Linux x86_64\\needpass\\7");
    EXPECT_EQ(record.maxClients, 16);
    EXPECT_STREQ(record.mapName, L"q2dm8");
    EXPECT_EQ(record.timeLimit, -20);
    EXPECT_STREQ(record.gameName, L"quarrix");
    EXPECT_STREQ(record.hostName, L"Omega");
    EXPECT_EQ(record.antiCheat, 0);
    EXPECT_STREQ(record.gameDate, L"Dec  7 2026");
    EXPECT_STREQ(record.version, L"q2pro r1 Linux x86_64");
    // Only the player and spectator bits mean something.
    EXPECT_EQ(record.needPass, NeedsPlayerPassword | NeedsSpectatorPassword);
}

TEST_F(StatusParserTest, GameDateKeepsThreeWords)
{
    struct Case {
        const char* gameDate;
        const wchar_t* expected;
    };
    const Case cases[] = {
        {"Mar 12 2026 10:15:00", L"Mar 12 2026"},
        {"Mar  2 2026 10:15:00", L"Mar  2 2026"},
        {"2026-03-12", L"2026-03-12"},
        {"Mar 12 2026", L"Mar 12 2026"},
        {"Mar\t12\t2026\t10:15", L"Mar\t12\t2026"},
        {" Mar 12 2026", L" Mar 12"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.gameDate);
        records[ParsedIndex] = {};
        ServerRecord& record = ParseInfo(std::string("\\gamedate\\") + test.gameDate);
        EXPECT_STREQ(record.gameDate, test.expected);
    }
}

TEST_F(StatusParserTest, PlayerLines)
{
    ServerRecord& record = Parse(Header + "\\hostname\\P\n" +
                                 "7\n"                  // one token: not a player
                                 "\n"                   // empty line: not a player
                                 "5 100\n"              // no name
                                 "5 100 \"Red Fox\"\n"  // quoted name with a space
                                 "  -3   20 \"x\"\n"    // runs of spaces between numbers
                                 "1 2 Plain\n"          // unquoted name
                                 "1 2 \"\"\"Q\"tail\n"  // several opening quotes
                                 "9 9  \"Two\"\n"       // the name starts after one space
                                 "4 40 \"Last\"");      // no final line feed
    ASSERT_EQ(record.playerCount, 7);
    EXPECT_STREQ(record.players[0].name, L"");
    EXPECT_EQ(record.players[0].score, 5);
    EXPECT_EQ(record.players[0].ping, 100);
    EXPECT_STREQ(record.players[1].name, L"Red Fox");
    EXPECT_EQ(record.players[2].score, -3);
    EXPECT_EQ(record.players[2].ping, 20);
    EXPECT_STREQ(record.players[2].name, L"x");
    EXPECT_STREQ(record.players[3].name, L"Plain");
    EXPECT_STREQ(record.players[4].name, L"Q");
    EXPECT_STREQ(record.players[5].name, L" ");
    EXPECT_STREQ(record.players[6].name, L"Last");
    EXPECT_EQ(record.players[6].ping, 40);
}

TEST_F(StatusParserTest, TextsAreCutToTheirFields)
{
    std::string longName(40, 'n');
    std::string longHost(300, 'h');
    std::string longDate(100, 'd');
    ServerRecord& record = Parse(Header + "\\hostname\\" + longHost + "\\gamedate\\" + longDate +
                                 "\\gamename\\" + longDate + "\n1 2 \"" + longName + "\"\n");
    EXPECT_EQ(std::wstring(record.hostName), std::wstring(255, L'h'));
    EXPECT_EQ(std::wstring(record.gameDate), std::wstring(63, L'd'));
    EXPECT_EQ(std::wstring(record.gameName), std::wstring(63, L'd'));
    ASSERT_EQ(record.playerCount, 1);
    EXPECT_EQ(std::wstring(record.players[0].name), std::wstring(31, L'n'));
}

// Other texts than names come in the ANSI code page.
TEST_F(StatusParserTest, TextIsConvertedFromTheAnsiCodePage)
{
    ServerRecord& record = Parse(Header + "\\version\\Caf\xe9 \x80\\gamedate\\D\xe9" "c 1 2026\n");
    EXPECT_STREQ(record.version, L"Caf\u00e9 \u20ac");
    EXPECT_STREQ(record.gameDate, L"D\u00e9c 1 2026");
}

std::string Coloured(const std::string& text)
{
    std::string coloured;
    for (char letter : text)
        coloured += static_cast<char>(letter | 0x80);
    return coloured;
}

// Names read as the game draws them: coloured letters as their plain twins,
// the font's glyphs as the characters they look like, frame pieces and
// control characters left out; plain names as they were.
TEST_F(StatusParserTest, NamesReadAsTheGameShowsThem)
{
    struct Case {
        std::string sent;
        const wchar_t* shown;
    };
    const Case cases[] = {
        {Coloured("Rail Garden"), L"Rail Garden"},
        {"\x10" + Coloured("x") + "\x11 \x12\x1b \x90\x92\x9b\x91", L"[x] 09 [09]"},
        {"a\tb\x01\x8a\x1d\x1e\x1f\x7f", L"ab<=><"},
        {"Quarrix Central", L"Quarrix Central"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.sent);
        ServerRecord& record = Parse(Header + "\\hostname\\" + test.sent + "\\mapname\\" + test.sent + "\n0 0 \"" +
                                     test.sent + "\"\n");
        EXPECT_STREQ(record.hostName, test.shown);
        EXPECT_STREQ(record.mapName, test.shown);
        EXPECT_STREQ(record.players[0].name, test.shown);
    }
}

TEST_F(StatusParserTest, OverlongLineIsCutAndReadingGoesOn)
{
    std::string hugeLine = "1 2 \"A" + std::string(3000, 'x') + "\"";
    ServerRecord& record = Parse(Header + "\\hostname\\" + std::string(2500, 'h') + "\n" + hugeLine +
                                 "\n3 4 \"B\"\n");
    EXPECT_EQ(std::wstring(record.hostName), std::wstring(255, L'h'));
    ASSERT_EQ(record.playerCount, 2);
    EXPECT_EQ(std::wstring(record.players[0].name), L"A" + std::wstring(30, L'x'));
    EXPECT_STREQ(record.players[1].name, L"B");
}

TEST_F(StatusParserTest, AtMostSixtyFourPlayersAreKept)
{
    std::string reply = Header + "\\hostname\\Crowd\n";
    for (int player = 0; player < 100; player++)
        reply += std::to_string(player) + " 10 \"p" + std::to_string(player) + "\"\n";
    ServerRecord& record = Parse(reply);
    EXPECT_EQ(record.playerCount, MaxPlayers);
    EXPECT_EQ(record.players[MaxPlayers - 1].score, MaxPlayers - 1);
    EXPECT_STREQ(record.players[MaxPlayers - 1].name, L"p63");
    EXPECT_EQ(RecordedStatusMessages().back(), L"Found 64 players on 'Crowd'");
}

TEST_F(StatusParserTest, RepliesWithoutInfoStillCountAsAnswered)
{
    const std::string replies[] = {"", "header only", Header};
    for (const std::string& reply : replies) {
        records[ParsedIndex] = {};
        ClearWindowCalls();
        ServerRecord& record = Parse(reply);
        EXPECT_EQ(record.responded, 1);
        EXPECT_STREQ(record.mapName, L"?");
        EXPECT_STREQ(record.gameName, L"default");
        EXPECT_EQ(record.playerCount, 0);
        ASSERT_EQ(RecordedWindowCalls().size(), 2u);
        EXPECT_EQ(RecordedWindowCalls()[0].kind, CallOfferServer);
        EXPECT_EQ(RecordedStatusMessages(), std::vector<std::wstring>{L"Found 0 players on ''"});
    }
}

TEST_F(StatusParserTest, PlayerCountWordAgreesWithNumber)
{
    ParseInfo("\\hostname\\Quiet");
    records[ParsedIndex] = {};
    Parse(Header + "\\hostname\\Busy\n1 1 \"a\"\n2 2 \"b\"\n");
    EXPECT_EQ(RecordedStatusMessages(),
              (std::vector<std::wstring>{L"Found 0 players on 'Quiet'", L"Found 2 players on 'Busy'"}));
}

TEST_F(StatusParserTest, PingRunsFromTheRequestToTheArrival)
{
    ServerRecord& record = records[ParsedIndex];
    std::string reply = Header + "\\hostname\\Far\n";
    // The timer wraps around between the request and the reply.
    record.sentAt = 0xFFFFFF00u;
    ParseStatusFields(reply.data(), (int)reply.size(), 0x40u, &record);
    EXPECT_EQ(record.ping, 0x140u);
}

TEST(ReadLine, SplitsAtLineFeedsOnly)
{
    const char text[] = "one\r\n\ntwo";
    const char* cursor = text;
    int bytesLeft = (int)sizeof(text) - 1;
    std::vector<std::string> lines;
    while (char* line = ReadLine(&cursor, &bytesLeft)) {
        lines.push_back(line);
        free(line);
    }
    EXPECT_EQ(lines, (std::vector<std::string>{"one\r", "", "two"}));
    EXPECT_EQ(bytesLeft, 0);
    EXPECT_EQ(cursor, text + sizeof(text) - 1);

    const char* trailing = "last\n";
    int trailingLeft = 5;
    free(ReadLine(&trailing, &trailingLeft));
    EXPECT_EQ(trailingLeft, 0);
    EXPECT_EQ(ReadLine(&trailing, &trailingLeft), nullptr);
}

}  // namespace
