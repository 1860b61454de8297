// Measures the real program, window and all, through one update against a
// lab network served from this process: master request to "Completed", replies
// per second, how far the shown pings lie from the delays the lab injected,
// the longest time the window did not answer, and the peak working set.
// Not part of the test suite; scripts/benchmark runs it beside qstat.
//
//   browser_benchmark write-scenario <servers> <file>
//       writes the scenario: server i answers after i % 50 ms and is named
//       "lab-<delay>-<i>", so any client's output can be scored;
//   browser_benchmark run <servers> <packets per second> <program>
//       serves that scenario, starts the program and prints one line of
//       figures.
#include <winsock2.h>

#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lab/lab_network.h"
#include "settings/settings_store.h"
#include "tools/browser_driver.h"

namespace {

const int FirstPort = 30000;
const int DelayCycle = 50;
const int PingColumn = 6;
const DWORD UpdateLimitMilliseconds = 600000;

LabServer BenchServer(int index)
{
    int delay = index % DelayCycle;
    LabServer server;
    server.port = FirstPort + index;
    server.info = {{"hostname", "lab-" + std::to_string(delay) + "-" + std::to_string(index)},
                   {"mapname", "q2dm" + std::to_string(1 + index % 8)},
                   {"maxclients", "16"},
                   {"version", "q2pro r2161 Linux x86_64"},
                   {"gamedate", "Dec  1 2026 10:00:00"}};
    server.players = {{index % 20, delay, "Bench Player"}};
    server.replyDelay = delay;
    return server;
}

LabScenario BenchScenario(int servers)
{
    LabScenario scenario;
    scenario.hasMaster = true;
    for (int index = 0; index < servers; index++)
        scenario.servers.push_back(BenchServer(index));
    return scenario;
}

int WriteScenario(int servers, const char* path)
{
    FILE* file = fopen(path, "w");
    if (file == nullptr)
        return 1;
    fprintf(file, "master 127.0.0.1:27900\n");
    for (int index = 0; index < servers; index++) {
        LabServer server = BenchServer(index);
        fprintf(file, "server 127.0.0.1:%d\n", server.port);
        // The scenario file calls the map key "map".
        for (const auto& pair : server.info)
            fprintf(file, "  %s %s\n", pair.first == "mapname" ? "map" : pair.first.c_str(), pair.second.c_str());
        const LabPlayer& player = server.players[0];
        fprintf(file, "  player %d %d %s\n  delay %d\n", player.score, player.ping, player.name.c_str(),
                server.replyDelay);
    }
    return fclose(file) == 0 ? 0 : 1;
}

// The rate, and both filters open, as a user would set them in Config.
bool StoreSettings(int packetsPerSecond)
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return false;
    DWORD one = 1;
    DWORD rate = static_cast<DWORD>(packetsPerSecond);
    RegSetValueExW(key, L"Packets Per Second", 0, REG_DWORD, reinterpret_cast<BYTE*>(&rate), sizeof(rate));
    RegSetValueExW(key, L"Show Full Servers", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(one));
    RegSetValueExW(key, L"Show Empty Servers", 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof(one));
    RegCloseKey(key);
    return true;
}

struct StallProbe {
    HWND window;
    volatile LONG running;
    volatile LONG longest;
};

// Sends the window a message every few milliseconds and notes the longest
// round trip: how long a user's click would have waited.
DWORD WINAPI ProbeStalls(LPVOID parameter)
{
    StallProbe* probe = static_cast<StallProbe*>(parameter);
    while (probe->running) {
        DWORD start = timeGetTime();
        DWORD_PTR result;
        SendMessageTimeoutW(probe->window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        LONG waited = static_cast<LONG>(timeGetTime() - start);
        if (waited > probe->longest)
            probe->longest = waited;
        Sleep(5);
    }
    return 0;
}

int Percentile(std::vector<int> values, int percent)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, values.size() * percent / 100)];
}

// Waits for the end of the first update, watching the Update button's
// caption (a cheap question for the window); the time it ended if its status
// line reads "Completed.", or 0.
DWORD WaitForCompleted(const BrowserProcess& browser)
{
    if (!WaitForCaption(browser, L"Abort", 5000) || !WaitForCaption(browser, L"Update", UpdateLimitMilliseconds))
        return 0;
    DWORD ended = timeGetTime();
    return StatusText(browser, 0).compare(0, 10, L"Completed.") == 0 ? ended : 0;
}

void ScorePings(const BrowserProcess& browser, std::vector<int>* errors)
{
    std::vector<std::wstring> hosts = ServerColumn(browser, 0);
    std::vector<std::wstring> pings = ServerColumn(browser, PingColumn);
    for (size_t row = 0; row < hosts.size() && row < pings.size(); row++) {
        int delay;
        if (swscanf(hosts[row].c_str(), L"lab-%d-", &delay) == 1)
            errors->push_back(abs(_wtoi(pings[row].c_str()) - delay));
    }
}

int RunBenchmark(int servers, int packetsPerSecond, const wchar_t* program)
{
    std::string error;
    LabNetwork* lab = StartLab(BenchScenario(servers), &error);
    if (lab == nullptr) {
        fprintf(stderr, "browser_benchmark: %s\n", error.c_str());
        return 1;
    }
    BrowserProcess browser;
    if (!StoreSettings(packetsPerSecond) || !StartBrowser(program, &browser)) {
        fprintf(stderr, "browser_benchmark: the browser did not start\n");
        StopLab(lab);
        return 1;
    }
    StallProbe probe = {browser.window, 1, 0};
    HANDLE prober = CreateThread(nullptr, 0, ProbeStalls, &probe, 0, nullptr);
    DWORD completed = WaitForCompleted(browser);
    probe.running = 0;
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);

    LabRequests master = LabMasterRequests(lab);
    int status = 0;
    if (completed == 0 || master.arrivals.empty()) {
        fprintf(stderr, "browser_benchmark: the update did not complete: \"%ls\"\n", StatusText(browser, 0).c_str());
        status = 1;
    } else {
        std::vector<int> errors;
        ScorePings(browser, &errors);
        DWORD total = completed - master.arrivals.front();
        // Fields for scripts/benchmark: total ms, rows, replies/s, ping error
        // median, p95 and max, longest UI stall, peak working set in KiB.
        printf("%lu %d %.0f %d %d %d %ld %lu\n", total, (int)errors.size(),
               total > 0 ? errors.size() * 1000.0 / total : 0.0, Percentile(errors, 50), Percentile(errors, 95),
               Percentile(errors, 100), probe.longest, static_cast<unsigned long>(PeakWorkingSet(browser) / 1024));
    }
    if (CloseBrowser(&browser, 30000) != 0) {
        fprintf(stderr, "browser_benchmark: the browser did not close cleanly\n");
        status = 1;
    }
    StopLab(lab);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "write-scenario") == 0)
        return WriteScenario(atoi(argv[2]), argv[3]);
    if (argc != 5 || strcmp(argv[1], "run") != 0) {
        fprintf(stderr, "usage: browser_benchmark write-scenario <servers> <file> | run <servers> <rate> <program>\n");
        return 2;
    }
    timeBeginPeriod(1);
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    std::wstring program(argv[4], argv[4] + strlen(argv[4]));
    return RunBenchmark(atoi(argv[2]), atoi(argv[3]), program.c_str());
}
