// Updates and aborts in quick succession: no deadlock, no update left busy,
// no thread or handle left behind.
#include <winsock2.h>

#include <tlhelp32.h>

#include <random>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "settings/settings.h"
#include "tests/update_fixture.h"

namespace {

const int Cycles = 60;

int CountThreads()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof(entry);
    int threads = 0;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            threads++;
    }
    CloseHandle(snapshot);
    return threads;
}

// Every open handle of the process, sockets and events included.
int CountHandles()
{
    int handles = 0;
    for (ULONG_PTR value = 4; value < 0x10000; value += 4) {
        DWORD flags;
        if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags))
            handles++;
    }
    return handles;
}

using UpdateConcurrencyTest = UpdateTest;

TEST_F(UpdateConcurrencyTest, RapidUpdatesAndAbortsLeaveNothingBehind)
{
    LabScenario scenario;
    for (int host = 1; host <= 30; host++) {
        scenario.servers.push_back(AnsweringServer(27910 + host, "server " + std::to_string(host), host % 5));
        scenario.servers.back().replyDelay = host % 7;
    }
    scenario.servers[3].silent = true;
    ASSERT_TRUE(ServeLab(scenario));
    PacketsPerSecond = 100000;

    // One full update first, so every lazily created resource exists.
    ASSERT_TRUE(RunUpdate());
    int threadsBefore = CountThreads();
    int handlesBefore = CountHandles();

    std::mt19937 random(7);
    for (int cycle = 0; cycle < Cycles; cycle++) {
        StartOrAbortUpdate();
        ASSERT_EQ(UpdateBusy, 1);
        PumpFor(random() % 40);
        StartOrAbortUpdate();
        ASSERT_TRUE(PumpUntil([] { return !UpdateBusy; }, 15000)) << "update " << cycle << " never ended";
        EXPECT_EQ(WaitForSingleObject(AbortEvent, 0), (DWORD)WAIT_TIMEOUT);
    }

    // The last worker may still be returning from its thread procedure.
    EXPECT_TRUE(PumpUntil([threadsBefore] { return CountThreads() <= threadsBefore; }, 5000))
        << CountThreads() << " threads, " << threadsBefore << " before";
    EXPECT_EQ(CountHandles(), handlesBefore);

    std::vector<WindowCall> calls = RecordedWindowCalls();
    for (const WindowCall& call : calls) {
        if (call.kind != CallSetUpdateButtons)
            continue;
        if (call.argument == UpdateButtonsIdle) {
            EXPECT_NE(call.callerThread, GetCurrentThreadId()) << "idle state set by the UI thread";
        } else {
            EXPECT_EQ(call.callerThread, GetCurrentThreadId()) << "busy state set off the UI thread";
        }
    }
    ExpectSoundWindowCalls();
}

TEST_F(UpdateConcurrencyTest, PressDuringTheWorkersExitNeverLeavesButtonsDisabled)
{
    LabScenario scenario;
    scenario.servers = {AnsweringServer(27911, "quick")};
    ASSERT_TRUE(ServeLab(scenario));

    // The press is handled right after the worker's exit has shown the idle
    // state, while the update is still marked busy.
    int presses = 0;
    SetButtonStateHook([&presses](UpdateButtonState state) {
        if (state == UpdateButtonsIdle && presses++ == 0)
            StartOrAbortUpdate();
    });
    ASSERT_TRUE(RunUpdate());
    EXPECT_EQ(presses, 1);

    std::vector<WindowCall> calls = RecordedWindowCalls();
    int lastButtons = -1;
    for (const WindowCall& call : calls) {
        if (call.kind == CallSetUpdateButtons)
            lastButtons = call.argument;
    }
    EXPECT_EQ(lastButtons, UpdateButtonsIdle);
    EXPECT_EQ(WaitForSingleObject(AbortEvent, 0), (DWORD)WAIT_TIMEOUT);
    // No second worker was started by the press.
    PumpFor(200);
    EXPECT_EQ(UpdateBusy, 0);
    EXPECT_EQ(MessagesFrom(L"Completed. 1 of 1 servers responded.").size(), 1u);
}

}  // namespace
