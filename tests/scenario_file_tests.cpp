// The lab's scenario files and the datagrams the lab builds from them.
#include <gtest/gtest.h>

#include <windows.h>

#include <set>

#include "lab/scenario_file.h"

namespace {

TEST(ScenarioFile, ReadsMasterAndServers)
{
    const char* text =
        "# comment\r\n"
        "master 127.0.0.1\n"
        "  delay 250\n"
        "  trailing 3\n"
        "\n"
        "server 127.0.0.1:27920\n"
        "  hostname Two  Spaces Kept\n"
        "  map q2dm3\n"
        "  maxclients 16\n"
        "  info admin Somebody Else\n"
        "  player -2 48 Red Fox\n"
        "  player 7 12\n"
        "  delay 30\n"
        "  answer-from 2\n"
        "  wrong-port\n"
        "server 127.0.0.1\n"
        "  raw \\xff\\xff\\xff\\xffprint\\n\\\\hostname\\\\x\\0y\n"
        "  silent\n";
    LabScenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario(text, &scenario, &error)) << error;
    ASSERT_TRUE(scenario.hasMaster);
    EXPECT_EQ(scenario.master.port, 27900);
    EXPECT_EQ(scenario.master.replyDelay, 250);
    EXPECT_EQ(scenario.master.trailingBytes, 3);
    ASSERT_EQ(scenario.servers.size(), 2u);

    const LabServer& first = scenario.servers[0];
    EXPECT_EQ(first.port, 27920);
    EXPECT_EQ(first.info, (std::vector<std::pair<std::string, std::string>>{
                              {"hostname", "Two  Spaces Kept"}, {"mapname", "q2dm3"}, {"maxclients", "16"},
                              {"admin", "Somebody Else"}}));
    ASSERT_EQ(first.players.size(), 2u);
    EXPECT_EQ(first.players[0].score, -2);
    EXPECT_EQ(first.players[0].name, "Red Fox");
    EXPECT_EQ(first.players[1].name, "");
    EXPECT_EQ(first.replyDelay, 30);
    EXPECT_EQ(first.answerFrom, 2);
    EXPECT_TRUE(first.wrongPort);
    EXPECT_EQ(BuildStatusReply(first), "\xff\xff\xff\xffprint\n\\hostname\\Two  Spaces Kept\\mapname\\q2dm3"
                                       "\\maxclients\\16\\admin\\Somebody Else\n-2 48 \"Red Fox\"\n7 12 \"\"\n");

    const LabServer& second = scenario.servers[1];
    EXPECT_EQ(second.port, 27910);
    EXPECT_TRUE(second.silent);
    EXPECT_EQ(second.rawReply, std::string("\xff\xff\xff\xffprint\n\\hostname\\x\0y", 23));
}

TEST(ScenarioFile, RejectsWhatItCannotRead)
{
    struct Case {
        const char* text;
        const char* error;
    };
    const Case cases[] = {
        {"hostname Orphan\n", "line 1: cannot read \"hostname Orphan\""},
        {"server 127.0.0.1:27910\n  bogus 1\n", "line 2: cannot read \"  bogus 1\""},
        {"server 127.0.0.1:27910\n  delay soon\n", "line 2: cannot read \"  delay soon\""},
        {"server 127.0.0.1:x\n", "line 1: cannot read \"server 127.0.0.1:x\""},
        {"master 127.0.0.1\n  trailing 6\n", "line 2: cannot read \"  trailing 6\""},
        {"server 127.0.0.1\n  silent please\n", "line 2: cannot read \"  silent please\""},
    };
    for (const Case& test : cases) {
        LabScenario scenario;
        std::string error;
        EXPECT_FALSE(ParseScenario(test.text, &scenario, &error)) << test.text;
        EXPECT_EQ(error, test.error);
    }
}

TEST(ScenarioFile, MasterListNamesServersInOrder)
{
    LabScenario scenario;
    std::string error;
    ASSERT_TRUE(ParseScenario("master 127.0.0.1\n  trailing 2\n  phantoms 1\n"
                              "server 127.0.0.1:27910\n  listed-twice\n"
                              "server 127.0.0.1:258\n  unlisted\n"
                              "server 10.1.2.3:513\n"
                              "master 127.0.0.1:27901\n  lists 3 2\n",
                              &scenario, &error))
        << error;
    ASSERT_EQ(scenario.otherMasters.size(), 1u);
    EXPECT_EQ(scenario.otherMasters[0].port, 27901);
    EXPECT_EQ(BuildMasterReply(scenario, scenario.otherMasters[0]),
              std::string("\xff\xff\xff\xffservers \x0a\x01\x02\x03\x02\x01\x7f\0\0\x01\x01\x02", 24));
    EXPECT_EQ(BuildMasterReply(scenario, scenario.master), std::string("\xff\xff\xff\xffservers "
                                                      "\x7f\0\0\x01\x6d\x06"
                                                      "\x7f\0\0\x01\x6d\x06"
                                                      "\x0a\x01\x02\x03\x02\x01"
                                                      "\x7f\0\0\x01\x71\x48"
                                                      "\x7f\x7f",
                                                      12 + 4 * 6 + 2));
    scenario.master.replyLength = 5;
    EXPECT_EQ(BuildMasterReply(scenario, scenario.master), "\xff\xff\xff\xffs");
}

TEST(ScenarioFile, DefaultScenarioIsVaried)
{
    wchar_t programPath[MAX_PATH];
    GetModuleFileNameW(nullptr, programPath, MAX_PATH);
    std::wstring folder(programPath, wcsrchr(programPath, L'\\') + 1);
    char path[MAX_PATH * 3];
    WideCharToMultiByte(CP_ACP, 0, (folder + L"default.scenario").c_str(), -1, path, sizeof(path), nullptr, nullptr);

    LabScenario scenario;
    std::string error;
    ASSERT_TRUE(LoadScenarioFile(path, &scenario, &error)) << error;
    EXPECT_TRUE(scenario.hasMaster);
    EXPECT_EQ(scenario.servers.size(), 40u);
    std::set<int> ports;
    int silent = 0;
    int empty = 0;
    for (const LabServer& server : scenario.servers) {
        EXPECT_EQ(server.address, "127.0.0.1");
        ports.insert(server.port);
        silent += server.silent;
        empty += server.players.empty();
    }
    EXPECT_EQ(ports.size(), scenario.servers.size());
    EXPECT_GE(silent, 2);
    EXPECT_GE(empty, 2);
}

}  // namespace
