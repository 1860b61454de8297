// The master phase of an update: tries, time-outs, abort, failures, and the
// table rebuilt from the master's list.
#include <winsock2.h>

#include <mmsystem.h>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "tests/update_fixture.h"

namespace {

const std::wstring Host = LabMasterName;

// A finished earlier update whose results must survive a failed one.
void InstallPreviousResults()
{
    InstallTable({AnsweringServer(28000, "old one"), AnsweringServer(28001, "old two")});
    ServerTable.records[0].responded = 1;
    ServerTable.records[0].ping = 42;
}

void ExpectPreviousResultsKept(const ServerRecord* previousRecords)
{
    EXPECT_EQ(ServerTable.records, previousRecords);
    EXPECT_EQ(ServerTable.count, 2);
    EXPECT_EQ(ServerTable.records[0].ping, 42u);
    for (const WindowCall& call : RecordedWindowCalls()) {
        EXPECT_NE(call.kind, CallResetServerViews);
        EXPECT_NE(call.kind, CallRefreshCounts);
    }
}

std::vector<int> ButtonStates()
{
    std::vector<int> states;
    for (const WindowCall& call : RecordedWindowCalls()) {
        if (call.kind == CallSetUpdateButtons)
            states.push_back(call.argument);
    }
    return states;
}

using MasterUpdateTest = UpdateTest;

TEST_F(MasterUpdateTest, SilentMasterIsAskedThreeTimesTwoSecondsApart)
{
    LabScenario scenario;
    scenario.master.silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    InstallPreviousResults();
    const ServerRecord* previous = ServerTable.records;

    ASSERT_TRUE(RunUpdate());
    LabRequests requests = LabMasterRequests(lab);
    ASSERT_EQ(requests.arrivals.size(), 3u);
    EXPECT_EQ(requests.lastRequest, "query");
    for (int gap = 1; gap < 3; gap++) {
        DWORD interval = requests.arrivals[gap] - requests.arrivals[gap - 1];
        EXPECT_GE(interval, 1900u);
        EXPECT_LE(interval, 4000u);
    }
    EXPECT_EQ(RecordedStatusMessages(),
              (std::vector<std::wstring>{L"Resolving " + Host + L"...", L"Querying " + Host + L"...",
                                         L"Retrying " + Host + L" (attempt 1)...",
                                         L"Retrying " + Host + L" (attempt 2)...",
                                         L"Retrying " + Host + L" (attempt 3)...",
                                         L"No response from " + Host + L"."}));
    EXPECT_EQ(ButtonStates(), (std::vector<int>{UpdateButtonsBusy, UpdateButtonsIdle}));
    ExpectPreviousResultsKept(previous);
    ExpectSoundWindowCalls();
}

TEST_F(MasterUpdateTest, AbortDuringFirstWaitEndsAtOnce)
{
    LabScenario scenario;
    scenario.master.silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    InstallPreviousResults();
    const ServerRecord* previous = ServerTable.records;

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([this] { return MasterRequests() == 1; }, 5000));
    // Well inside the first wait.
    PumpFor(300);
    StartOrAbortUpdate();
    DWORD pressed = GetTickCount();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 10000));
    EXPECT_LT(GetTickCount() - pressed, 1000u);

    EXPECT_EQ(MasterRequests(), 1);
    EXPECT_EQ(MessagesFrom(L"Querying " + Host + L"..."),
              (std::vector<std::wstring>{L"Querying " + Host + L"...", L"Error querying " + Host + L"."}));
    EXPECT_EQ(ButtonStates(), (std::vector<int>{UpdateButtonsBusy, UpdateButtonsAborting, UpdateButtonsIdle}));
    EXPECT_EQ(WaitForSingleObject(AbortEvent, 0), (DWORD)WAIT_TIMEOUT);
    ExpectPreviousResultsKept(previous);

    // A new update starts at once.
    StartOrAbortUpdate();
    EXPECT_EQ(UpdateBusy, 1);
    EXPECT_EQ(ButtonStates().back(), UpdateButtonsBusy);
    ExpectSoundWindowCalls();
}

TEST_F(MasterUpdateTest, UnresolvableNameEndsTheUpdate)
{
    static const std::wstring badName = std::wstring(90, L'x') + L".invalid";
    MasterHostName = badName.c_str();
    InstallPreviousResults();
    const ServerRecord* previous = ServerTable.records;

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages(), (std::vector<std::wstring>{L"Resolving " + badName + L"...",
                                                                   L"Couldn't resolve " + badName + L"."}));
    EXPECT_EQ(ButtonStates(), (std::vector<int>{UpdateButtonsBusy, UpdateButtonsIdle}));
    ExpectPreviousResultsKept(previous);

    static const std::wstring tooLong(400, L'y');
    MasterHostName = tooLong.c_str();
    ClearWindowCalls();
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Couldn't resolve " + tooLong + L".");

    // With nothing listed, as on a first start, the line says where to look.
    ReleaseTable();
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Couldn't resolve " + tooLong + L". Check Master Servers in Config.");
}

TEST_F(MasterUpdateTest, ReplyShorterThanItsHeaderKeepsThePreviousList)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "a")};
    scenario.master.replyLength = 11;
    ASSERT_TRUE(ServeLab(scenario));
    InstallPreviousResults();
    const ServerRecord* previous = ServerTable.records;

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Error querying " + Host + L".");
    ExpectPreviousResultsKept(previous);
}

TEST_F(MasterUpdateTest, HeaderOnlyReplyGivesAnEmptyTable)
{
    LabScenario scenario;
    ASSERT_TRUE(ServeLab(scenario));
    InstallPreviousResults();

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(ServerTable.count, 0);
    EXPECT_EQ(MessagesFrom(L"Querying servers..."),
              (std::vector<std::wstring>{L"Querying servers...", L"Completed. 0 of 0 servers responded."}));
    std::vector<WindowCall> calls = RecordedWindowCalls();
    auto reset = std::find_if(calls.begin(), calls.end(),
                              [](const WindowCall& call) { return call.kind == CallResetServerViews; });
    ASSERT_NE(reset, calls.end());
    EXPECT_EQ(std::count_if(reset, calls.end(), [](const WindowCall& call) { return call.kind == CallRefreshCounts; }),
              1);
    ExpectSoundWindowCalls();
}

TEST_F(MasterUpdateTest, DuplicatesAndPartialEntriesAreDropped)
{
    LabScenario scenario;
    LabServer first = AnsweringServer(27911, "first");
    first.listedTwice = true;
    LabServer second = AnsweringServer(27912, "second");
    LabServer secondOtherPort = AnsweringServer(27913, "second, other port");
    scenario.servers = {first, second, secondOtherPort};
    scenario.master.trailingBytes = 5;
    ASSERT_TRUE(ServeLab(scenario));

    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(ServerTable.count, 3);
    EXPECT_EQ(ServerTable.records[0].address, inet_addr("127.0.0.1"));
    EXPECT_EQ(ServerTable.records[0].port, 27911);
    EXPECT_EQ(ServerTable.records[1].address, inet_addr("127.0.0.1"));
    EXPECT_EQ(ServerTable.records[1].port, 27912);
    EXPECT_EQ(ServerTable.records[2].port, 27913);
    EXPECT_STREQ(ServerTable.records[0].hostName, L"first");
    EXPECT_EQ(RequestsTo(0), 1);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 3 of 3 servers responded.");
}

TEST_F(MasterUpdateTest, SecondUpdateStartsFromZeroedRecords)
{
    LabScenario scenario;
    LabServer slowStarter = AnsweringServer(27911, "slow starter", 2);
    slowStarter.answerFrom = 2;
    scenario.servers = {slowStarter};
    ASSERT_TRUE(ServeLab(scenario));

    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(ServerTable.count, 1);
    EXPECT_EQ(ServerTable.records[0].attempts, 2);
    ASSERT_TRUE(RunUpdate());
    ASSERT_EQ(ServerTable.count, 1);
    EXPECT_EQ(ServerTable.records[0].attempts, 1);
    EXPECT_EQ(ServerTable.records[0].playerCount, 2);
    EXPECT_EQ(RequestsTo(0), 3);
}

}  // namespace

namespace {

// Reserves address space until no free region of `largest` bytes is left, so
// that bigger allocations fail while small ones still succeed.
class AddressSpaceSqueeze {
public:
    explicit AddressSpaceSqueeze(SIZE_T largest)
    {
        for (SIZE_T size = 256 << 20; size >= largest; size /= 2) {
            while (void* region = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS))
                regions.push_back(region);
        }
    }
    ~AddressSpaceSqueeze()
    {
        for (void* region : regions)
            VirtualFree(region, 0, MEM_RELEASE);
    }

private:
    std::vector<void*> regions;
};

TEST_F(MasterUpdateTest, WorkerThatCannotStartLeavesTheButtonsIdle)
{
    {
        // Thread stacks reserve 2 MB; nothing that large is left.
        AddressSpaceSqueeze squeeze(1 << 20);
        StartOrAbortUpdate();
    }
    EXPECT_EQ(UpdateBusy, 0);
    EXPECT_EQ(ButtonStates(), (std::vector<int>{UpdateButtonsBusy, UpdateButtonsIdle}));
    EXPECT_EQ(RecordedStatusMessages(), std::vector<std::wstring>{L"Couldn't start the update."});

    // The next press starts an update as usual.
    StartOrAbortUpdate();
    EXPECT_EQ(UpdateBusy, 1);
}

TEST_F(MasterUpdateTest, TableTooLargeForMemoryEndsWithAnEmptyTable)
{
    LabScenario scenario;
    scenario.master.phantomEntries = 2000;
    ASSERT_TRUE(ServeLab(scenario));
    InstallPreviousResults();
    int ceiling = MaxTableServers;
    MaxTableServers = 1999;
    bool ran = RunUpdate();
    MaxTableServers = ceiling;
    ASSERT_TRUE(ran);
    EXPECT_EQ(ServerTable.count, 0);
    EXPECT_EQ(ServerTable.records, nullptr);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Not enough memory for 2000 servers.");
    EXPECT_EQ(ButtonStates(), (std::vector<int>{UpdateButtonsBusy, UpdateButtonsIdle}));

    // Under the ceiling again, the next update fills the table.
    StartOrAbortUpdate();
    EXPECT_TRUE(PumpUntil([] { return ServerTable.count == 2000; }, 10000));
    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 10000));
}

}  // namespace
