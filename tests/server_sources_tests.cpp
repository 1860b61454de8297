// Where an update's servers come from: several masters at once, the last
// list kept on disk (and what a damaged one yields), and the favourites.
#include <winsock2.h>

#include <string.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/last_list.h"
#include "engine/local_network.h"
#include "engine/master_query.h"
#include "engine/master_update.h"
#include "engine/name_lookup.h"
#include "engine/server_table.h"
#include "settings/settings.h"
#include "lab/web_list_server.h"
#include "tests/scratch_space.h"
#include "tests/update_fixture.h"

namespace {

void ChooseMasters(const std::wstring& lines)
{
    ReadAddressEntries(&MasterServers, lines.c_str(), (int)lines.size(), DefaultMasterPort, MaxMasterServers, true);
    MasterServersChosen = true;
}

void ChooseFavourites(const std::wstring& lines)
{
    ReadAddressEntries(&FavouriteServers, lines.c_str(), (int)lines.size(), DefaultServerPort, MaxFavouriteServers);
}

std::string ReadFileText(const std::wstring& path)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    std::string text(64 * 1024, '\0');
    DWORD read = 0;
    ReadFile(file, &text[0], (DWORD)text.size(), &read, nullptr);
    CloseHandle(file);
    text.resize(read);
    return text;
}

void WriteFileText(const std::wstring& path, const std::string& text)
{
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written = 0;
    WriteFile(file, text.data(), (DWORD)text.size(), &written, nullptr);
    CloseHandle(file);
}

std::vector<int> TablePorts()
{
    std::vector<int> ports;
    for (int index = 0; index < ServerTable.count; index++)
        ports.push_back(ServerTable.records[index].port);
    return ports;
}

// The last list lives in a scratch folder; masters and favourites are the
// test's own.
class ServerSourcesTest : public UpdateTest {
protected:
    ScratchFolder scratch;
    std::wstring lastList;

    void SetUp() override
    {
        UpdateTest::SetUp();
        ASSERT_FALSE(scratch.path.empty()) << "no scratch folder could be made";
        // A folder of its own below the scratch one: the list makes it.
        lastList = scratch.path + L"Browser\\Last Servers.txt";
        lstrcpynW(LastListPath, lastList.c_str(), PathSize);
    }

    void TearDown() override
    {
        UpdateTest::TearDown();
        LastListPath[0] = L'\0';
        ClearAddressList(&MasterServers);
        MasterServersChosen = false;
        ClearAddressList(&FavouriteServers);
    }
};

// A lab on free ports runs beside one on the scenario's own ports, and an
// update asking its master finds its servers at their moved ports.
TEST_F(ServerSourcesTest, LabOnFreePortsServesBesideTheFixedOne)
{
    LabScenario scenario;
    scenario.hasMaster = true;
    scenario.servers = {AnsweringServer(28110, "fixed"), AnsweringServer(28111, "fixed too")};
    ASSERT_TRUE(ServeLab(scenario));
    std::string error;
    int offset = 0;
    LabNetwork* moved = StartLabOnFreePorts(scenario, &offset, &error);
    ASSERT_NE(moved, nullptr) << error;
    EXPECT_GE(offset, 10000);
    ChooseMasters(L"127.0.0.1:" + std::to_wstring(27900 + offset));
    bool updated = RunUpdate();
    StopLab(moved);
    ASSERT_TRUE(updated);
    EXPECT_EQ(TablePorts(), (std::vector<int>{28110 + offset, 28111 + offset}));
    EXPECT_EQ(RecordedStatusMessages().back().rfind(L"Completed. 2 of 2 servers responded.", 0), 0u);
    EXPECT_EQ(MasterRequests(), 0);
}

// Five masters, three silent, the others naming overlapping lists: the
// sweep starts as the first list comes, each server is listed once, in the
// order of the masters, and kept on disk; the closing line names the silent
// masters. An answer that names no server leaves that list as it was.
TEST_F(ServerSourcesTest, SeveralMastersGiveEachServerOnce)
{
    LabScenario scenario;
    for (int port = 28100; port < 28105; port++)
        scenario.servers.push_back(AnsweringServer(port, "server " + std::to_string(port)));
    scenario.master.silent = true;
    LabMaster second;
    second.port = 27901;
    second.lists = {0, 1, 2, 1};
    LabMaster third;
    third.port = 27902;
    third.lists = {2, 3, 4, 0};
    // Later than the second whichever name is looked up first: its servers
    // join the running sweep after the second's.
    third.replyDelay = 300;
    scenario.otherMasters = {second, third};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901\r\n127.0.0.1:27902\r\n127.0.0.1:27903\r\n127.0.0.1:27904\r\n"
                  L"127.0.0.1:27905");

    DWORD start = GetTickCount();
    ASSERT_TRUE(RunUpdate());
    DWORD took = GetTickCount() - start;
    EXPECT_EQ(TablePorts(), (std::vector<int>{28100, 28101, 28102, 28103, 28104}));
    EXPECT_EQ(LabMasterRequests(lab, 0).arrivals.size(), 3u);
    EXPECT_EQ(LabMasterRequests(lab, 1).arrivals.size(), 1u);
    DWORD firstRequest = LabServerRequests(lab, 0).arrivals.at(0);
    for (int server = 1; server < 5; server++)
        firstRequest = std::min(firstRequest, LabServerRequests(lab, server).arrivals.at(0));
    EXPECT_LT(firstRequest - LabMasterRequests(lab, 1).arrivals[0], 1500u) << "a silent master held the sweep";
    std::vector<std::wstring> messages = RecordedStatusMessages();
    EXPECT_EQ(messages.front(), L"Querying 6 master servers...");
    EXPECT_EQ(messages.back(), L"Completed. 5 of 5 servers responded. No response from 127.0.0.1, 127.0.0.1:27903, "
                               L"127.0.0.1:27904 and 1 more.");
    // The closing line waits for the silent masters' three tries.
    EXPECT_GE(took, 5500u);
    EXPECT_LT(took, 15000u);
    std::string kept = ReadFileText(lastList);
    EXPECT_EQ(kept, "127.0.0.1:28100\r\n127.0.0.1:28101\r\n127.0.0.1:28102\r\n127.0.0.1:28103\r\n"
                    "127.0.0.1:28104\r\n");

    StopLab(lab);
    scenario.master.silent = false;
    for (LabMaster* master : {&scenario.master, &scenario.otherMasters[0], &scenario.otherMasters[1]})
        master->replyLength = MasterHeaderSize;
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901\r\n127.0.0.1:27902");
    ClearWindowCalls();
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(TablePorts(), (std::vector<int>{28100, 28101, 28102, 28103, 28104}));
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 5 of 5 servers responded. 3 of 3 master servers "
                                               L"answered. The masters named no server: the last list was queried.");
    EXPECT_EQ(ReadFileText(lastList), kept);
}

// A master that answers only its second request adds its servers to the
// running sweep: each is asked once and listed after the first ones, and a
// favourite it names keeps its place at the top.
TEST_F(ServerSourcesTest, LateMasterJoinsTheRunningSweep)
{
    LabScenario scenario;
    for (int port = 28150; port < 28154; port++)
        scenario.servers.push_back(AnsweringServer(port, "server " + std::to_string(port)));
    scenario.master.lists = {0, 1};
    LabMaster late;
    late.port = 27901;
    late.answerFrom = 2;
    late.lists = {3, 1, 2};
    scenario.otherMasters = {late};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901");
    ChooseFavourites(L"127.0.0.1:28153");

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(TablePorts(), (std::vector<int>{28153, 28150, 28151, 28152}));
    for (int server = 0; server < 4; server++)
        EXPECT_EQ(LabServerRequests(lab, server).arrivals.size(), 1u) << server;
    EXPECT_GT(LabServerRequests(lab, 2).arrivals.at(0), LabMasterRequests(lab, 1).arrivals.at(1));
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 4 of 4 servers responded. 2 of 2 master servers answered.");
    ExpectSoundWindowCalls();
}

// Only answers that open as a master's list are lists. A busy master's
// answer is that master's error: none of its bytes is queried, and the kept
// list is swept in its place; a list from some of the masters is added to
// the kept one, so the servers of the others stay.
TEST_F(ServerSourcesTest, KeptListHoldsOnlyMasterLists)
{
    LabScenario scenario;
    for (int port = 28140; port < 28143; port++)
        scenario.servers.push_back(AnsweringServer(port, "server " + std::to_string(port)));
    scenario.master.lists = {0};
    LabMaster second;
    second.port = 27901;
    second.lists = {1};
    scenario.otherMasters = {second};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901");
    ASSERT_TRUE(RunUpdate());
    const std::string both = "127.0.0.1:28140\r\n127.0.0.1:28141\r\n";
    EXPECT_EQ(ReadFileText(lastList), both);

    const std::string busy("\xff\xff\xff\xffprint\nbu", 12);
    StopLab(lab);
    scenario.master.header = busy;
    scenario.master.lists = {2};
    scenario.otherMasters[0].header = busy;
    ASSERT_TRUE(ServeLab(scenario));
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(TablePorts(), (std::vector<int>{28140, 28141}));
    EXPECT_EQ(LabServerRequests(lab, 2).arrivals.size(), 0u);
    EXPECT_EQ(RecordedStatusMessages().back(),
              L"Completed. 2 of 2 servers responded. No response from 127.0.0.1, 127.0.0.1:27901. "
              L"The last list was queried.");
    EXPECT_EQ(ReadFileText(lastList), both);

    StopLab(lab);
    scenario.master.header = LabMaster().header;
    ASSERT_TRUE(ServeLab(scenario));
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(ReadFileText(lastList), "127.0.0.1:28142\r\n" + both);
}

// A list that cannot be kept (its folder's path leaves no room for the new
// file's name) is said once, not at every update, also when a master still
// unheard as the sweep starts is kept late.
TEST_F(ServerSourcesTest, ListThatCannotBeKeptIsSaidOnce)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28130, "listed")};
    LabMaster late;
    late.port = 27901;
    late.replyDelay = 300;
    scenario.otherMasters = {late};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901");
    std::wstring longPath = scratch.path + std::wstring(PathSize - 3 - scratch.path.size(), L'x');
    lstrcpynW(LastListPath, longPath.c_str(), PathSize);
    ASSERT_EQ(lstrlenW(LastListPath), PathSize - 3);
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 1 of 1 servers responded. 2 of 2 master servers answered. "
                                               L"The list of servers could not be kept for the next time.");
    ClearWindowCalls();
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 1 of 1 servers responded. 2 of 2 master servers answered.");
}

// Abort after a silent master's last try ends the update at once: the rows
// shown stay, and the last list does not take their place.
TEST_F(ServerSourcesTest, AbortAmongSilentMastersKeepsTheRowsShown)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28130, "kept")};
    scenario.master.silent = true;
    LabMaster second;
    second.port = 27901;
    second.silent = true;
    scenario.otherMasters = {second};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"127.0.0.1\r\n127.0.0.1:27901");
    KeptServer kept = {inet_addr("127.0.0.1"), 28130, 0};
    ASSERT_TRUE(SaveLastList(&kept, 1));
    InstallTable({AnsweringServer(28000, "shown")});
    const ServerRecord* shown = ServerTable.records;

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([this] { return MasterRequests() == MasterAttempts; }, 10000));
    PumpFor(300);
    DWORD pressed = GetTickCount();
    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 10000));
    // Well before the masters' last two seconds are up.
    EXPECT_LT(GetTickCount() - pressed, 1000u);
    EXPECT_EQ(ServerTable.records, shown);
    EXPECT_EQ(ServerTable.count, 1);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Aborted.");
    for (const WindowCall& call : RecordedWindowCalls())
        EXPECT_NE(call.kind, CallResetServerViews);
}

// Slow names hold the update no longer than the lookups' bound, side by
// side however many; a favourite or a master the resolver never answers is
// said so, and Abort ends the wait at once.
HANDLE ReleaseLookups;

bool SlowResolve(const char* host, DWORD* address)
{
    *address = inet_addr("127.0.0.1");
    if (strncmp(host, "slow", 4) == 0)
        return WaitForSingleObject(ReleaseLookups, 1500) == WAIT_TIMEOUT;
    WaitForSingleObject(ReleaseLookups, INFINITE);
    return false;
}

TEST_F(ServerSourcesTest, FavouritesAreLookedUpSideBySideWithinABound)
{
    LabScenario scenario;
    for (int port = 28150; port < 28154; port++) {
        scenario.servers.push_back(AnsweringServer(port, "favourite " + std::to_string(port)));
        scenario.servers.back().unlisted = true;
    }
    ASSERT_TRUE(ServeLab(scenario));
    ChooseFavourites(L"slow1:28150\r\nslow2:28151\r\nslow3:28152\r\nslow4:28153\r\nstuck");
    ChooseMasters(L"127.0.0.1\r\nstuck-master");
    ReleaseLookups = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool (*systemResolve)(const char*, DWORD*) = ResolveHostName;
    ResolveHostName = SlowResolve;

    DWORD start = GetTickCount();
    bool updated = RunUpdate();
    DWORD took = GetTickCount() - start;
    EXPECT_TRUE(updated);
    // One after another, the fourth slow name would be found after six.
    EXPECT_GE(took, 4500u);
    EXPECT_LT(took, 8000u);
    EXPECT_EQ(ServerTable.count, 4);
    EXPECT_NE(RecordedStatusMessages().back().find(L" Couldn't resolve favourite stuck."), std::wstring::npos);
    EXPECT_NE(RecordedStatusMessages().back().find(L" No response from stuck-master."), std::wstring::npos);

    ClearWindowCalls();
    const ServerRecord* shown = ServerTable.records;
    StartOrAbortUpdate();
    PumpFor(2500);
    StartOrAbortUpdate();
    DWORD pressed = GetTickCount();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 10000));
    EXPECT_LT(GetTickCount() - pressed, 1000u);
    EXPECT_EQ(ServerTable.records, shown);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Aborted.");

    SetEvent(ReleaseLookups);
    ResolveHostName = systemResolve;
}

// A kept server is let go once three sweeps in a row asked it in vain. Its
// count stands on a line of its own before it, which a reader of addresses
// alone passes over.
TEST_F(ServerSourcesTest, KeptServerSilentForThreeSweepsIsDropped)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28160, "alive"), AnsweringServer(28161, "gone")};
    scenario.servers[1].silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"");
    KeptServer kept[] = {{inet_addr("127.0.0.1"), 28161, 0}, {inet_addr("127.0.0.1"), 28160, 0}};
    ASSERT_TRUE(SaveLastList(kept, 2));
    for (int sweep = 1; sweep < MaxUnansweredSweeps; sweep++) {
        ASSERT_TRUE(RunUpdate());
        EXPECT_EQ(ReadFileText(lastList),
                  "# unanswered " + std::to_string(sweep) + "\r\n127.0.0.1:28161\r\n127.0.0.1:28160\r\n");
    }
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(ReadFileText(lastList), "127.0.0.1:28160\r\n");
}

// With no master to ask, the last list stands in; of a damaged one only the
// good lines count, and a list too large is read no further than its limit.
TEST_F(ServerSourcesTest, LastListIsReadSafely)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28110, "kept"), AnsweringServer(28111, "never listed")};
    ASSERT_TRUE(ServeLab(scenario));
    ChooseMasters(L"");
    CreateDirectoryW((scratch.path + L"Browser").c_str(), nullptr);
    std::string damaged = "\x01\xff\xfe junk\r\n" + std::string(5000, '7') + "\n1.2.3:28111\n256.0.0.1:28111\n"
                          "127.0.0.1:0\n127.0.0.1:65536\n127.0.0.1:28111 \n";
    damaged += std::string("127.0.0.1:28111\0junk\n", 21);
    damaged += "127.0.0.1:28110\r\n\n127.0.0.1:28110";
    WriteFileText(lastList, damaged);

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(TablePorts(), std::vector<int>{28110});
    std::vector<std::wstring> messages = RecordedStatusMessages();
    EXPECT_EQ(messages.front(), L"Querying the last list of 1 server...");
    EXPECT_EQ(messages.back(), L"Completed. 1 of 1 servers responded. The last list was queried.");

    // Good lines beyond the first mebibyte are never read.
    std::string huge(LastListReadLimit + 10, '\n');
    huge += "127.0.0.1:28111\n";
    WriteFileText(lastList, huge);
    ClearWindowCalls();
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages(), std::vector<std::wstring>{L"No servers to query."});
    EXPECT_EQ(TablePorts(), std::vector<int>{28110});
}

// Favourites come first, found afresh, whether or not a master lists them;
// one whose name is not found is said so and left out.
TEST_F(ServerSourcesTest, FavouritesJoinEveryUpdate)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28120, "listed"), AnsweringServer(28121, "listed favourite"),
                        AnsweringServer(28122, "unlisted favourite")};
    scenario.servers[2].unlisted = true;
    ASSERT_TRUE(ServeLab(scenario));
    ChooseFavourites(L"127.0.0.1:28122\r\nnowhere.invalid\r\n127.0.0.1:28121");

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(TablePorts(), (std::vector<int>{28122, 28121, 28120}));
    EXPECT_EQ(ServerTable.records[0].favourite, 1);
    EXPECT_EQ(ServerTable.records[1].favourite, 1);
    EXPECT_EQ(ServerTable.records[2].favourite, 0);
    EXPECT_STREQ(ServerTable.records[0].hostName, L"unlisted favourite");
    EXPECT_EQ(RecordedStatusMessages().back(),
              L"Completed. 3 of 3 servers responded. Couldn't resolve favourite nowhere.invalid.");
    // Only what the master gave is kept as the last list.
    EXPECT_EQ(ReadFileText(lastList), "127.0.0.1:28120\r\n127.0.0.1:28121\r\n");
    ExpectSoundWindowCalls();
}

int LoopbackNetwork(LocalNetwork* networks, int capacity)
{
    if (capacity < 1)
        return 0;
    networks[0] = {htonl(INADDR_LOOPBACK), 0xFFFFFFFF};
    return 1;
}

// The local network, here the loopback address: its servers answer the two
// rounds of broadcasts a second apart and join the table once each, beside
// the master's; a server the master lists too is asked by the broadcast
// alone; an answer from a port that was not asked joins nothing; a server
// off the game's ports is never asked; none of them is kept.
TEST_F(ServerSourcesTest, LocalNetworkServersJoinOnceAndAreNotKept)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28120, "listed"), AnsweringServer(27913, "listed and local"),
                        AnsweringServer(27911, "local"), AnsweringServer(27912, "local too"),
                        AnsweringServer(27914, "other port"), AnsweringServer(28121, "unlisted")};
    scenario.master.lists = {0, 1};
    scenario.servers[2].twice = true;
    scenario.servers[2].replyDelay = 30;
    scenario.servers[4].wrongPort = true;
    ASSERT_TRUE(ServeLab(scenario));
    PacketsPerSecond = 100;
    SearchLocalNetwork = 1;
    FindLocalNetworks = LoopbackNetwork;
    bool updated = RunUpdate();
    FindLocalNetworks = [](LocalNetwork*, int) { return 0; };
    SearchLocalNetwork = 0;
    ASSERT_TRUE(updated);

    std::vector<int> ports = TablePorts();
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<int>{27911, 27912, 27913, 28120}));
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 4 of 4 servers responded. 3 on the local network.");
    for (int server : {1, 2, 4}) {
        ASSERT_EQ(RequestsTo(server), 2) << "server " << server;
        DWORD spacing = LabServerRequests(lab, server).arrivals[1] - LabServerRequests(lab, server).arrivals[0];
        EXPECT_GE(spacing, 950u);
        EXPECT_LT(spacing, 3000u);
    }
    EXPECT_EQ(RequestsTo(5), 0);
    int local = FindServerRecord(htonl(INADDR_LOOPBACK), 27911);
    ASSERT_GE(local, 0);
    EXPECT_GE(ServerTable.records[local].ping, 30u);
    EXPECT_LT(ServerTable.records[local].ping, 500u);
    EXPECT_EQ(ReadFileText(lastList), "127.0.0.1:28120\r\n127.0.0.1:27913\r\n");
}

const int WebListPort = 28190;

std::wstring WebListAddress(const char* path)
{
    return L"http://127.0.0.1:" + std::to_wstring(WebListPort) + std::wstring(path, path + strlen(path));
}

bool Said(const std::wstring& line)
{
    std::vector<std::wstring> messages = RecordedStatusMessages();
    return std::find(messages.begin(), messages.end(), line) != messages.end();
}

// Web lists beside each other as masters: a list with comments, a name and
// lines that are not understood; one reached through a redirect; an error
// page, a page of markup and a redirect loop, each that master's error with
// its status. Their servers are swept and kept as a master's are.
TEST_F(ServerSourcesTest, WebListsAreMastersOfTheSameUpdate)
{
    LabScenario scenario;
    for (int port = 28130; port < 28134; port++)
        scenario.servers.push_back(AnsweringServer(port, "server " + std::to_string(port)));
    scenario.master.silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    std::vector<LabWebPage> pages(5);
    pages[0].path = "/list.txt";
    pages[0].body = "# the lab's list\r\n127.0.0.1:28130\r\n\r\n  127.0.0.1:28131 # second\nlocalhost:28132\n"
                    "not a server line\n127.0.0.1:99999\n" + std::string(100 * 1024, 'x') + "\n";
    pages[1] = {"/moved", 302, "text/html", "<a href=\"/other.txt\">moved</a>", "/other.txt"};
    pages[2].path = "/other.txt";
    pages[2].body = "127.0.0.1:28133";
    pages[3] = {"/page", 200, "text/plain", "<html><body>Servers</body></html>", ""};
    pages[4] = {"/loop", 301, "text/html", "", "http://127.0.0.1:28190/loop"};
    std::string error;
    LabWebServer* web = StartLabWebServer(WebListPort, pages, &error);
    ASSERT_NE(web, nullptr) << error;
    ChooseMasters(WebListAddress("/list.txt") + L"\r\n" + WebListAddress("/moved") + L"\r\n" +
                  WebListAddress("/missing") + L"\r\n" + WebListAddress("/page") + L"\r\n" + WebListAddress("/loop"));
    bool updated = RunUpdate();
    std::vector<std::string> requests = LabWebRequests(web);
    StopLabWebServer(web);
    ASSERT_TRUE(updated);

    std::vector<int> ports = TablePorts();
    std::sort(ports.begin(), ports.end());
    EXPECT_EQ(ports, (std::vector<int>{28130, 28131, 28132, 28133}));
    EXPECT_EQ(std::count(requests.begin(), requests.end(), "/loop"), 4) << "three redirects followed, no more";
    EXPECT_TRUE(Said(L"Error querying " + WebListAddress("/missing") + L" (HTTP 404)."));
    EXPECT_TRUE(Said(L"Error querying " + WebListAddress("/page") + L": not a list of servers (HTTP 200)."));
    EXPECT_TRUE(Said(L"Error querying " + WebListAddress("/loop") + L": too many redirects (HTTP 301)."));
    std::wstring closing = RecordedStatusMessages().back();
    EXPECT_EQ(closing.rfind(L"Completed. 4 of 4 servers responded.", 0), 0u) << closing;
    EXPECT_NE(closing.find(L" 3 lines of " + WebListAddress("/list.txt") + L" were not understood."),
              std::wstring::npos) << closing;
    EXPECT_EQ(ReadFileText(lastList).size(), 4 * strlen("127.0.0.1:28130\r\n"));
}

// A body without end is read to its limit, a body that drips is given up
// at the time limit; the list that did answer is swept all the same.
TEST_F(ServerSourcesTest, WebListsThatNeverEndAreBounded)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(28130, "endless")};
    scenario.master.silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    std::vector<LabWebPage> pages(2);
    pages[0].path = "/endless";
    pages[0].body = "127.0.0.1:28130\n";
    pages[0].endless = true;
    pages[1].path = "/drip";
    pages[1].body = "127.0.0.1:28131\n";
    pages[1].dripMilliseconds = 200;
    pages[1].endless = true;
    std::string error;
    LabWebServer* web = StartLabWebServer(WebListPort, pages, &error);
    ASSERT_NE(web, nullptr) << error;
    ChooseMasters(WebListAddress("/endless") + L"\r\n" + WebListAddress("/drip"));
    DWORD start = GetTickCount();
    bool updated = RunUpdate(40000);
    DWORD took = GetTickCount() - start;
    StopLabWebServer(web);
    ASSERT_TRUE(updated);
    EXPECT_EQ(TablePorts(), (std::vector<int>{28130}));
    EXPECT_EQ(RecordedStatusMessages().back(),
              L"Completed. 1 of 1 servers responded. No response from " + WebListAddress("/drip") + L".");
    EXPECT_GE(took, 9000u);
    EXPECT_LT(took, 25000u);
}

}  // namespace
