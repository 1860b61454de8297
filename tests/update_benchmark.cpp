// Measures whole updates against a running lab network: the master phase,
// the sweep, replies parsed per second, and how far the measured pings lie
// from the delays the lab injected. Not part of the test suite.
//
//   update_benchmark write-scenario <servers> <file>
//       writes a scenario whose server i answers after i % 50 ms and is
//       named "lab-<delay>-<i>", so any client's output can be scored;
//   update_benchmark run <servers> <packets per second>
//       runs one update against the lab master on 127.0.0.1 and reports.
#include <winsock2.h>

#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "settings/settings.h"
#include "tests/window_ops_recorder.h"

namespace {

const int FirstPort = 30000;
const int DelayCycle = 50;

int WriteScenario(int servers, const char* path)
{
    FILE* file = fopen(path, "w");
    if (file == nullptr)
        return 1;
    fprintf(file, "master 127.0.0.1:27900\n");
    for (int index = 0; index < servers; index++) {
        int delay = index % DelayCycle;
        fprintf(file,
                "server 127.0.0.1:%d\n  hostname lab-%d-%d\n  map q2dm%d\n  maxclients 16\n"
                "  version q2pro r2161 Linux x86_64\n  gamedate Dec  1 2026 10:00:00\n"
                "  player %d %d Bench Player\n  delay %d\n",
                FirstPort + index, delay, index, 1 + index % 8, index % 20, delay, delay);
    }
    return fclose(file) == 0 ? 0 : 1;
}

DWORD MessageTime(const std::vector<WindowCall>& calls, const std::wstring& prefix)
{
    for (const WindowCall& call : calls) {
        if (call.kind == CallStatusMessage && call.text.compare(0, prefix.size(), prefix) == 0)
            return call.time;
    }
    return 0;
}

int Percentile(std::vector<int> values, int percent)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * percent / 100)];
}

int RunBenchmark(int servers, int packetsPerSecond)
{
    MasterHostName = L"127.0.0.1";
    PacketsPerSecond = packetsPerSecond;
    AttachWindowDouble();
    DWORD start = timeGetTime();
    StartOrAbortUpdate();
    if (!PumpUntil([] { return !UpdateBusy; }, 600000)) {
        fprintf(stderr, "update did not end\n");
        return 1;
    }
    std::vector<WindowCall> calls = RecordedWindowCalls();
    DWORD sweepStart = MessageTime(calls, L"Querying servers...");
    DWORD sweepEnd = MessageTime(calls, L"Completed.");
    if (sweepStart == 0 || sweepEnd == 0) {
        fprintf(stderr, "the update did not complete a sweep\n");
        return 1;
    }

    std::vector<int> errors;
    int responded = 0;
    for (int index = 0; index < ServerTable.count; index++) {
        const ServerRecord& record = ServerTable.records[index];
        int delay;
        if (!record.responded || swscanf(record.hostName, L"lab-%d-", &delay) != 1)
            continue;
        responded++;
        errors.push_back(abs((int)record.ping - delay));
    }
    double sweepSeconds = (sweepEnd - sweepStart) / 1000.0;
    printf("servers %d, rate %d/s: master %lu ms, sweep %lu ms, total %lu ms, %d of %ld answered, "
           "%.0f replies/s, ping error median %d ms, p95 %d ms, max %d ms\n",
           servers, packetsPerSecond, sweepStart - start, sweepEnd - sweepStart, sweepEnd - start, responded,
           ServerTable.count, sweepSeconds > 0 ? responded / sweepSeconds : 0.0, Percentile(errors, 50),
           Percentile(errors, 95), Percentile(errors, 100));
    DetachWindowDouble();
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "write-scenario") == 0)
        return WriteScenario(atoi(argv[2]), argv[3]);
    if (argc != 4 || strcmp(argv[1], "run") != 0) {
        fprintf(stderr, "usage: update_benchmark write-scenario <servers> <file> | run <servers> <rate>\n");
        return 2;
    }
    InitializeCriticalSection(&TableLock);
    AbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    WSADATA winsock;
    WSAStartup(MAKEWORD(1, 1), &winsock);
    timeBeginPeriod(1);
    return RunBenchmark(atoi(argv[2]), atoi(argv[3]));
}
