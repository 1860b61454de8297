// The status sweep: passes, retries, pacing, abort, matching of replies and
// the measured ping.
#include <winsock2.h>

#include <mmsystem.h>

#include <algorithm>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "engine/status_sweep.h"
#include "settings/settings.h"
#include "tests/update_fixture.h"

namespace {

using StatusSweepTest = UpdateTest;

int CountMessages(const std::wstring& text)
{
    std::vector<std::wstring> messages = RecordedStatusMessages();
    return (int)std::count(messages.begin(), messages.end(), text);
}

// How often the record at this index was offered to the window.
int OffersOf(int record)
{
    int offers = 0;
    for (const WindowCall& call : RecordedWindowCalls())
        offers += call.kind == CallOfferServer && call.argument == record ? 1 : 0;
    return offers;
}

DWORD LastOfferTime()
{
    DWORD time = 0;
    for (const WindowCall& call : RecordedWindowCalls()) {
        if (call.kind == CallOfferServer)
            time = call.time;
    }
    return time;
}

DWORD MessageTime(const std::wstring& text)
{
    for (const WindowCall& call : RecordedWindowCalls()) {
        if (call.kind == CallStatusMessage && call.text == text)
            return call.time;
    }
    ADD_FAILURE() << "no message " << std::string(text.begin(), text.end());
    return 0;
}

DWORD WINAPI SweepThread(LPVOID)
{
    StatusSweep();
    return 0;
}

// Runs a sweep over the installed table on a worker thread, as an update
// would, serving the UI thread meanwhile.
bool SweepOnWorker(DWORD timeoutMilliseconds = 20000)
{
    HANDLE worker = CreateThread(nullptr, 0, SweepThread, nullptr, 0, nullptr);
    bool ended = PumpUntil([worker] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, timeoutMilliseconds);
    CloseHandle(worker);
    return ended;
}

// What SweepProgress says while a sweep runs, read every 10 ms from a
// thread of its own, as the window's timer would.
class ProgressSampler {
public:
    ProgressSampler() { thread = CreateThread(nullptr, 0, Sample, this, 0, nullptr); }
    std::vector<std::pair<int, int>> Stop()
    {
        InterlockedExchange(&stop, 1);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        return seen;
    }

private:
    static DWORD WINAPI Sample(LPVOID context)
    {
        ProgressSampler* sampler = static_cast<ProgressSampler*>(context);
        int done = 0;
        int total = 0;
        while (!sampler->stop) {
            if (SweepProgress(&done, &total))
                sampler->seen.push_back({done, total});
            Sleep(10);
        }
        return 0;
    }
    HANDLE thread;
    volatile LONG stop = 0;
    std::vector<std::pair<int, int>> seen;
};

TEST(PacingInterval, FollowsThePacketRate)
{
    struct Case {
        int packetsPerSecond;
        DWORD interval;
    };
    const Case cases[] = {{10, 100}, {3, 333}, {7, 142}, {1000, 1}, {1001, 0}, {100000, 0},
                          {1, 1000}, {0, 100},  {-5, 100}, {INT_MIN, 100}};
    for (const Case& test : cases) {
        PacketsPerSecond = test.packetsPerSecond;
        EXPECT_EQ(PacingInterval(), test.interval) << test.packetsPerSecond;
    }
}

TEST_F(StatusSweepTest, EveryServerAnswersInTheFirstPass)
{
    LabScenario scenario;
    for (int host = 1; host <= 5; host++)
        scenario.servers.push_back(AnsweringServer(27910 + host, "server " + std::to_string(host), host));
    ASSERT_TRUE(ServeLab(scenario));

    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 5 of 5 servers responded.");
    for (int index = 0; index < 5; index++) {
        LabRequests requests = LabServerRequests(lab, index);
        EXPECT_EQ(requests.arrivals.size(), 1u);
        EXPECT_EQ(requests.lastRequest, std::string("\xff\xff\xff\xffstatus\n\0", 12));
        EXPECT_EQ(ServerTable.records[index].playerCount, index + 1);
        EXPECT_EQ(ServerTable.records[index].attempts, 1);
    }
    for (int index = 0; index < 5; index++)
        EXPECT_EQ(OffersOf(index), 1) << index;
    EXPECT_EQ(CountMessages(L"Querying " + Endpoint(scenario.servers[4]) + L"..."), 1);
    // No pause for late replies once everyone has answered.
    EXPECT_LT(MessageTime(L"Completed. 5 of 5 servers responded.") - LastOfferTime(), 600u);
    ExpectSoundWindowCalls();
}

TEST_F(StatusSweepTest, RetriesGoOnlyToServersThatHaveNotAnswered)
{
    LabScenario scenario;
    LabServer secondTime = AnsweringServer(27911, "second time lucky");
    secondTime.answerFrom = 2;
    LabServer mute = AnsweringServer(27912, "mute");
    mute.silent = true;
    LabServer elsewhere = AnsweringServer(27913, "answers from another port");
    elsewhere.wrongPort = true;
    LabServer oversized = AnsweringServer(27914, "oversized");
    oversized.oversized = true;
    LabServer eager = AnsweringServer(27915, "eager");
    eager.twice = true;
    scenario.servers = {secondTime, mute, elsewhere, oversized, eager};
    ASSERT_TRUE(ServeLab(scenario));

    ProgressSampler sampler;
    ASSERT_TRUE(RunUpdate());
    std::vector<std::pair<int, int>> progress = sampler.Stop();
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 2 of 5 servers responded.");
    // The progress only grows, and the servers given up after their third
    // request make it whole before the sweep's last pause.
    ASSERT_FALSE(progress.empty());
    EXPECT_LT(progress.front().first, 5);
    EXPECT_EQ(progress.back(), std::make_pair(5, 5));
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(RequestsTo(0), 2);
    EXPECT_EQ(RequestsTo(1), 3);
    EXPECT_EQ(RequestsTo(2), 3);
    EXPECT_EQ(RequestsTo(3), 3);
    EXPECT_EQ(RequestsTo(4), 1);
    EXPECT_EQ(OffersOf(4), 1) << "a second reply of the same server was offered";

    const ServerRecord& lucky = ServerTable.records[0];
    EXPECT_EQ(lucky.responded, 1);
    EXPECT_EQ(lucky.attempts, 2);
    // Measured from the retry, not from the first request a second earlier.
    EXPECT_LT(lucky.ping, 500u);

    std::wstring mutedAt = Endpoint(mute);
    EXPECT_EQ(CountMessages(L"Querying " + mutedAt + L"..."), 1);
    EXPECT_EQ(CountMessages(L"Retrying " + mutedAt + L" (attempt 2)..."), 1);
    EXPECT_EQ(CountMessages(L"Retrying " + mutedAt + L" (attempt 3)..."), 1);
    EXPECT_EQ(CountMessages(L"Retrying " + Endpoint(secondTime) + L" (attempt 3)..."), 0);
    const ServerRecord& muted = ServerTable.records[1];
    EXPECT_EQ(muted.responded, 0);
    EXPECT_EQ(muted.attempts, 3);
    EXPECT_STREQ(muted.mapName, L"");
    EXPECT_NE(muted.sentAt, 0u);
    EXPECT_EQ(ServerTable.records[2].responded, 0);
    ExpectSoundWindowCalls();
}

// What the pacing promises at 10 requests a second: no more than 11 in any
// second, none closer than half an interval, and a pass's mean interval
// within a few percent of 100 ms; single gaps may vary, since a late request
// is followed by the next one sooner.
TEST_F(StatusSweepTest, RequestsArePacedByThePacketRate)
{
    const int servers = 16;
    LabScenario scenario;
    for (int host = 1; host <= servers; host++) {
        scenario.servers.push_back(AnsweringServer(27910 + host, "mute"));
        scenario.servers.back().silent = true;
    }
    ASSERT_TRUE(ServeLab(scenario));
    PacketsPerSecond = 10;

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([this] { return RequestsTo(servers - 1) == 1; }, 10000));
    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 5000));
    std::vector<DWORD> sent;
    for (int index = 0; index < servers; index++)
        sent.push_back(LabServerRequests(lab, index).arrivals[0]);
    for (int index = 1; index < servers; index++)
        EXPECT_GE(sent[index] - sent[index - 1], 50u) << "request " << index;
    for (int first = 0; first < servers; first++) {
        int inSecond = 0;
        for (int index = first; index < servers && sent[index] - sent[first] < 1000; index++)
            inSecond++;
        EXPECT_LE(inSecond, 11) << "from request " << first;
    }
    double mean = (sent[servers - 1] - sent[0]) / double(servers - 1);
    EXPECT_NEAR(mean, 100.0, 8.0);
}

TEST_F(StatusSweepTest, AbortDuringAPacingWaitEndsTheSweepAtOnce)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "first", 3), AnsweringServer(27912, "second"),
                        AnsweringServer(27913, "third")};
    ASSERT_TRUE(ServeLab(scenario));
    PacketsPerSecond = 1;

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !RecordedStatusMessages().empty() &&
                                      RecordedStatusMessages().back() == L"Found 3 players on 'first'"; },
                          5000));
    DWORD pressed = timeGetTime();
    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 5000));
    EXPECT_LT(timeGetTime() - pressed, 800u);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Aborted. 1 of 3 servers responded.");
    EXPECT_EQ(RequestsTo(1), 0);
    EXPECT_EQ(WaitForSingleObject(AbortEvent, 0), (DWORD)WAIT_TIMEOUT);
    ExpectSoundWindowCalls();
}

TEST_F(StatusSweepTest, AbortDuringThePauseEndsTheSweepAtOnce)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "mute")};
    scenario.servers[0].silent = true;
    ASSERT_TRUE(ServeLab(scenario));

    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([this] { return RequestsTo(0) == 1; }, 5000));
    PumpFor(300);
    StartOrAbortUpdate();
    ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 5000));
    EXPECT_EQ(RequestsTo(0), 1);
    EXPECT_EQ(RecordedStatusMessages().back(), L"Aborted. 0 of 1 servers responded.");
}

TEST_F(StatusSweepTest, AbortRequestedBeforeTheSweepStillSendsTheFirstRequest)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "one"), AnsweringServer(27912, "two")};
    ASSERT_TRUE(ServeLab(scenario));
    InstallTable(scenario.servers);

    SetEvent(AbortEvent);
    ASSERT_TRUE(SweepOnWorker());
    EXPECT_EQ(RequestsTo(0), 1);
    EXPECT_EQ(RequestsTo(1), 0);
    std::wstring report = RecordedStatusMessages().back();
    EXPECT_TRUE(report == L"Aborted. 0 of 2 servers responded." || report == L"Aborted. 1 of 2 servers responded.")
        << std::string(report.begin(), report.end());

    InstallTable({});
    ClearWindowCalls();
    ASSERT_TRUE(SweepOnWorker());
    EXPECT_EQ(RecordedStatusMessages(), std::vector<std::wstring>{L"Aborted. 0 of 0 servers responded."});
    ResetEvent(AbortEvent);
}

TEST_F(StatusSweepTest, FailedSendIsReportedAndStillCounts)
{
    LabServer broadcast;
    broadcast.address = "255.255.255.255";
    broadcast.port = 27910;
    InstallTable({broadcast});

    ASSERT_TRUE(SweepOnWorker());
    std::vector<std::wstring> messages = RecordedStatusMessages();
    ASSERT_GE(messages.size(), 2u);
    EXPECT_EQ(messages[0], L"Querying 255.255.255.255:27910...");
    EXPECT_EQ(messages[1].rfind(L"Can't send: error ", 0), 0u);
    EXPECT_EQ(ServerTable.records[0].attempts, 3);
    EXPECT_EQ(messages.back(), L"Completed. 0 of 1 servers responded.");
}

TEST_F(StatusSweepTest, PingMeasuresTheServersDelayNotOurWaits)
{
    // Every status line keeps the window busy for 100 ms: replies arrive
    // while the sweep holds the lock for its next request and while the
    // receiver waits for the window over an earlier reply.
    const int delays[] = {0, 50, 200};
    SetStatusMessageDelay(100);
    PacketsPerSecond = 100000;
    LabScenario scenario;
    for (int server = 0; server < 3; server++) {
        scenario.servers.push_back(AnsweringServer(27911 + server, "delayed"));
        scenario.servers.back().replyDelay = delays[server];
    }
    ASSERT_TRUE(ServeLab(scenario));
    ASSERT_TRUE(RunUpdate());
    for (int server = 0; server < 3; server++) {
        const ServerRecord& record = ServerTable.records[server];
        ASSERT_EQ(record.responded, 1) << server;
        // One timer tick either way: the lab and the browser read the timer
        // at different moments.
        EXPECT_GE(record.ping + 1, (DWORD)delays[server]) << server;
        EXPECT_LE(record.ping, (DWORD)delays[server] + 60) << server;
    }
}

// A first reply that arrives while the retry's status line is shown is
// measured from its own request, not from the retry noted after it.
TEST_F(StatusSweepTest, LateFirstReplyIsMeasuredFromItsOwnRequest)
{
    SetStatusMessageDelay(300);
    PacketsPerSecond = 10;
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "late")};
    scenario.servers[0].replyDelay = 1200;
    ASSERT_TRUE(ServeLab(scenario));
    ASSERT_TRUE(RunUpdate());
    const ServerRecord& record = ServerTable.records[0];
    ASSERT_EQ(record.responded, 1);
    EXPECT_EQ(record.attempts, 2);
    EXPECT_GE(record.ping + 1, 1200u);
    EXPECT_LE(record.ping, 1300u);
}

// Replies read before the sweep ends of itself are matched before it says
// how many servers responded: here the second waits while the window is busy
// with the first beyond the last pause.
TEST_F(StatusSweepTest, RepliesThatArrivedAreMatchedBeforeTheEnd)
{
    SetStatusMessageDelay(1000, L"Found");
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "first"), AnsweringServer(27912, "second")};
    for (LabServer& server : scenario.servers)
        server.replyDelay = 2500;
    ASSERT_TRUE(ServeLab(scenario));
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(RecordedStatusMessages().back(), L"Completed. 2 of 2 servers responded.");
    EXPECT_EQ(ServerTable.records[1].responded, 1);
}

}  // namespace
