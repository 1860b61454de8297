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
//       figures;
//   browser_benchmark run-web <servers> <packets per second> <program>
//       the same with the servers listed by a web list in place of the
//       master, timed from the list's request;
//   browser_benchmark run-refresh <servers> <packets per second> <program>
//       lists the servers at that rate, then lets the list's refresh (one
//       minute later) ask them all again in place: the update's and the
//       refresh's time and longest stall, side by side;
//   browser_benchmark actions <servers> <program>
//       lists that many servers at full speed, then times the user's
//       actions on the list: a line each, the fastest and slowest of three
//       tries until the list has changed and until it is painted.
#include <winsock2.h>

#include <commctrl.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lab/lab_network.h"
#include "lab/web_list_server.h"
#include "resources/resource.h"
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
    // A third of the servers empty and a third full, for the filters.
    if (index % 3 != 0)
        server.players = {{index % 20, delay, "Bench Player"}};
    if (index % 3 == 1)
        server.info[2].second = "1";
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
        for (const LabPlayer& player : server.players)
            fprintf(file, "  player %d %d %s\n", player.score, player.ping, player.name.c_str());
        fprintf(file, "  delay %d\n", server.replyDelay);
    }
    return fclose(file) == 0 ? 0 : 1;
}

// The rate, both filters open and the lab's master (or web list), as a user
// would set them in Config; no search of the local network, which qstat
// does not make either.
bool StoreSettings(int packetsPerSecond, const std::wstring& master, DWORD refreshMinutes)
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
    DWORD zero = 0;
    RegSetValueExW(key, L"Search Local Network", 0, REG_DWORD, reinterpret_cast<BYTE*>(&zero), sizeof(zero));
    RegSetValueExW(key, L"Refresh Minutes", 0, REG_DWORD, reinterpret_cast<BYTE*>(&refreshMinutes),
                   sizeof(refreshMinutes));
    // One entry and the terminator that ends the list.
    std::wstring masters = master + L'\0';
    RegSetValueExW(key, L"Master Servers", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(masters.c_str()),
                   static_cast<DWORD>((masters.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return true;
}

// One round trip of the stall probe: when it was sent, how long it took,
// and how many rows the server list had then.
struct StallSample {
    DWORD sentAt;
    LONG waited;
    LONG rows;
};

struct StallProbe {
    HWND list;
    volatile LONG running;
    std::vector<StallSample> samples;  // read once the probe has ended
};

// Asks the server list its number of rows every few milliseconds and notes
// each round trip: how long a user's click would have waited, and when the
// rows came.
DWORD WINAPI ProbeStalls(LPVOID parameter)
{
    StallProbe* probe = static_cast<StallProbe*>(parameter);
    while (probe->running) {
        DWORD start = timeGetTime();
        DWORD_PTR rows = 0;
        SendMessageTimeoutW(probe->list, LVM_GETITEMCOUNT, 0, 0, SMTO_NORMAL, 10000, &rows);
        probe->samples.push_back({start, static_cast<LONG>(timeGetTime() - start), static_cast<LONG>(rows)});
        Sleep(5);
    }
    return 0;
}

// The longest round trip sent from `from` until `to`, and when it was sent.
StallSample WorstStallBetween(const StallProbe& probe, DWORD from, DWORD to)
{
    StallSample worst = {from, 0, 0};
    for (const StallSample& sample : probe.samples) {
        if (static_cast<LONG>(sample.sentAt - from) >= 0 && static_cast<LONG>(to - sample.sentAt) >= 0 &&
            sample.waited > worst.waited)
            worst = sample;
    }
    return worst;
}

// When the list had shown every row it came to: the answer to the first
// round trip that counted them all.
DWORD LastRowShownAt(const StallProbe& probe)
{
    LONG rows = probe.samples.empty() ? 0 : probe.samples.back().rows;
    for (const StallSample& sample : probe.samples) {
        if (sample.rows == rows)
            return sample.sentAt + sample.waited;
    }
    return 0;
}

// Where an update is at a moment: 0 in the master phase, before the first
// status request; 1 in the sweep, until the last answer; 2 at the end.
int PhaseAt(DWORD moment, DWORD firstRequest, DWORD lastAnswer)
{
    if (static_cast<LONG>(moment - firstRequest) < 0)
        return 0;
    return static_cast<LONG>(moment - lastAnswer) <= 0 ? 1 : 2;
}

// The sweep's first and last status request to reach a lab server, and its
// last answer: the lab answers a request after the server's delay.
struct SweepTimes {
    DWORD firstRequest;
    DWORD lastRequest;
    DWORD lastAnswer;
};

SweepTimes ReadSweepTimes(LabNetwork* lab, int servers)
{
    SweepTimes times = {0, 0, 0};
    bool any = false;
    for (int index = 0; index < servers; index++) {
        LabRequests requests = LabServerRequests(lab, index);
        if (requests.arrivals.empty())
            continue;
        DWORD first = requests.arrivals.front();
        DWORD last = requests.arrivals.back();
        DWORD answer = first + BenchServer(index).replyDelay;
        if (!any || static_cast<LONG>(first - times.firstRequest) < 0)
            times.firstRequest = first;
        if (!any || static_cast<LONG>(last - times.lastRequest) > 0)
            times.lastRequest = last;
        if (!any || static_cast<LONG>(answer - times.lastAnswer) > 0)
            times.lastAnswer = answer;
        any = true;
    }
    return times;
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

// A web list of the scenario's servers at their moved ports, served on the
// first free port from 39000; its address, or empty when none serves.
std::wstring ServeWebList(const LabScenario& scenario, int offset, LabWebServer** web)
{
    LabWebPage page;
    page.path = "/servers.txt";
    page.body = "# the benchmark's servers\n";
    for (const LabServer& server : scenario.servers)
        page.body += server.address + ":" + std::to_string(server.port + offset) + "\n";
    std::string error;
    for (int port = 39000; port < 39100; port++) {
        *web = StartLabWebServer(port, {page}, &error);
        if (*web != nullptr)
            return L"http://127.0.0.1:" + std::to_wstring(port) + L"/servers.txt";
    }
    fprintf(stderr, "browser_benchmark: %s\n", error.c_str());
    return L"";
}

// Serves the scenario on free ports and starts the browser, which asks the
// lab's master, or with `web` a web list of the same servers; nullptr, and
// nothing left running, when either fails.
LabNetwork* ServeAndStart(int servers, int packetsPerSecond, const wchar_t* program, BrowserProcess* browser,
                          LabWebServer** web = nullptr, DWORD refreshMinutes = 0)
{
    LabScenario scenario = BenchScenario(servers);
    std::string error;
    int offset = 0;
    LabNetwork* lab = StartLabOnFreePorts(scenario, &offset, &error);
    std::wstring master = L"127.0.0.1:" + std::to_wstring(scenario.master.port + offset);
    if (lab != nullptr && web != nullptr)
        master = ServeWebList(scenario, offset, web);
    if (lab == nullptr)
        fprintf(stderr, "browser_benchmark: %s\n", error.c_str());
    else if (master.empty())
        fprintf(stderr, "browser_benchmark: the web list could not be served\n");
    else if (!StoreSettings(packetsPerSecond, master, refreshMinutes))
        fprintf(stderr, "browser_benchmark: the settings could not be stored\n");
    else if (!StartBrowser(program, browser))
        fprintf(stderr, "browser_benchmark: the browser did not start\n");
    else
        return lab;
    StopLab(lab);
    if (web != nullptr)
        StopLabWebServer(*web);
    return nullptr;
}

int RunBenchmark(int servers, int packetsPerSecond, const wchar_t* program, bool fromWebList)
{
    BrowserProcess browser;
    LabWebServer* web = nullptr;
    LabNetwork* lab = ServeAndStart(servers, packetsPerSecond, program, &browser, fromWebList ? &web : nullptr);
    if (lab == nullptr)
        return 1;
    StallProbe probe = {GetDlgItem(browser.window, IDC_SERVER_LIST), 1, {}};
    HANDLE prober = CreateThread(nullptr, 0, ProbeStalls, &probe, 0, nullptr);
    DWORD completed = WaitForCompleted(browser);
    probe.running = 0;
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);

    LabRequests master = LabMasterRequests(lab);
    if (web != nullptr)
        master.arrivals = LabWebRequestTimes(web);
    int status = 0;
    if (completed == 0 || master.arrivals.empty()) {
        fprintf(stderr, "browser_benchmark: the update did not complete: \"%ls\"\n", StatusText(browser, 0).c_str());
        status = 1;
    } else {
        std::vector<int> errors;
        ScorePings(browser, &errors);
        DWORD start = master.arrivals.front();
        DWORD total = completed - start;
        SweepTimes sweep = ReadSweepTimes(lab, servers);
        StallSample worst = WorstStallBetween(probe, start, completed);
        // Fields for scripts/benchmark: total ms, rows, replies/s, ping error
        // median, p95 and max, longest UI stall, peak working set in KiB;
        // then the time line from the master request: first and last status
        // request, last answer, last row shown; the worst stall's moment and
        // phase; and the window's first round trip as it appeared.
        printf("%lu %d %.0f %d %d %d %ld %lu %ld %ld %ld %ld %ld %d %ld\n", total, (int)errors.size(),
               total > 0 ? errors.size() * 1000.0 / total : 0.0, Percentile(errors, 50), Percentile(errors, 95),
               Percentile(errors, 100), worst.waited, static_cast<unsigned long>(PeakWorkingSet(browser) / 1024),
               static_cast<LONG>(sweep.firstRequest - start), static_cast<LONG>(sweep.lastRequest - start),
               static_cast<LONG>(sweep.lastAnswer - start), static_cast<LONG>(LastRowShownAt(probe) - start),
               static_cast<LONG>(worst.sentAt - start), PhaseAt(worst.sentAt, sweep.firstRequest, sweep.lastAnswer),
               probe.samples.empty() ? -1L : probe.samples.front().waited);
    }
    if (CloseBrowser(&browser, 30000) != 0) {
        fprintf(stderr, "browser_benchmark: the browser did not close cleanly\n");
        status = 1;
    }
    StopLab(lab);
    StopLabWebServer(web);
    return status;
}

// The first status request any lab server had after this moment, or 0.
DWORD FirstRequestAfter(LabNetwork* lab, int servers, DWORD moment)
{
    DWORD first = 0;
    for (int index = 0; index < servers; index++) {
        for (DWORD arrival : LabServerRequests(lab, index).arrivals) {
            if (static_cast<LONG>(arrival - moment) > 0 && (first == 0 || static_cast<LONG>(arrival - first) < 0))
                first = arrival;
        }
    }
    return first;
}

// Waits for the status line to open with this text; the time it did, or 0.
DWORD WaitForStatus(const BrowserProcess& browser, const std::wstring& opening, DWORD timeoutMilliseconds)
{
    DWORD start = timeGetTime();
    while (timeGetTime() - start < timeoutMilliseconds) {
        if (StatusText(browser, 0).compare(0, opening.size(), opening) == 0)
            return timeGetTime();
        Sleep(20);
    }
    return 0;
}

// The update, then the refresh of the list a minute after it.
const DWORD RefreshLimitMilliseconds = 180000;

int RunRefreshBenchmark(int servers, int packetsPerSecond, const wchar_t* program)
{
    BrowserProcess browser;
    LabNetwork* lab = ServeAndStart(servers, packetsPerSecond, program, &browser, nullptr, 1);
    if (lab == nullptr)
        return 1;
    StallProbe probe = {GetDlgItem(browser.window, IDC_SERVER_LIST), 1, {}};
    HANDLE prober = CreateThread(nullptr, 0, ProbeStalls, &probe, 0, nullptr);
    DWORD completed = WaitForCompleted(browser);
    DWORD refreshed = completed != 0 ? WaitForStatus(browser, L"Refreshed ", RefreshLimitMilliseconds) : 0;
    std::wstring verdict = StatusText(browser, 0);
    probe.running = 0;
    WaitForSingleObject(prober, INFINITE);
    CloseHandle(prober);

    LabRequests master = LabMasterRequests(lab);
    DWORD refreshStart = refreshed != 0 ? FirstRequestAfter(lab, servers, completed) : 0;
    int status = 0;
    if (refreshStart == 0 || master.arrivals.empty()) {
        fprintf(stderr, "browser_benchmark: the refresh did not end: \"%ls\"\n", verdict.c_str());
        status = 1;
    } else {
        DWORD start = master.arrivals.front();
        StallSample updateWorst = WorstStallBetween(probe, start, completed);
        StallSample refreshWorst = WorstStallBetween(probe, refreshStart, refreshed);
        int answered = 0;
        int asked = 0;
        swscanf(verdict.c_str(), L"Refreshed %d of %d", &answered, &asked);
        // Fields for scripts/benchmark: the update's total and longest stall,
        // the refresh's total from its first request to its closing line and
        // longest stall, and how many of how many answered it.
        printf("%lu %ld %lu %ld %d %d\n", completed - start, updateWorst.waited, refreshed - refreshStart,
               refreshWorst.waited, answered, asked);
    }
    if (CloseBrowser(&browser, 30000) != 0) {
        fprintf(stderr, "browser_benchmark: the browser did not close cleanly\n");
        status = 1;
    }
    StopLab(lab);
    return status;
}

// One user action, what comes before each try of it (or null), and how to
// see that it took effect.
struct TimedAction {
    const char* name;
    void (*prepare)(const BrowserProcess& browser);
    void (*act)(const BrowserProcess& browser);
    // A reading of the list that the action changes.
    std::wstring (*look)(const BrowserProcess& browser);
};

HWND ServerListOf(const BrowserProcess& browser)
{
    return GetDlgItem(browser.window, IDC_SERVER_LIST);
}

std::wstring FirstHost(const BrowserProcess& browser)
{
    return ServerCell(browser, 0, 0);
}

std::wstring RowCount(const BrowserProcess& browser)
{
    return std::to_wstring(SendMessageW(ServerListOf(browser), LVM_GETITEMCOUNT, 0, 0));
}

// The focused row and the first row in view: a key moves the one, and
// scrolls when the other must follow.
std::wstring KeyRows(const BrowserProcess& browser)
{
    HWND list = ServerListOf(browser);
    return std::to_wstring(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_FOCUSED)) + L" " +
           std::to_wstring(SendMessageW(list, LVM_GETTOPINDEX, 0, 0));
}

// The first PageDown only moves to the foot of the page: the next scrolls.
void SelectFootOfFirstPage(const BrowserProcess& browser)
{
    SelectServerRow(browser, 0);
    PressKey(browser, VK_NEXT);
}

void GoToEnd(const BrowserProcess& browser)
{
    PressKey(browser, VK_END);
}

void GoHome(const BrowserProcess& browser)
{
    PressKey(browser, VK_HOME);
}

// As a player does: a row clicked first, so the keys move the selection and
// the player list follows.
void SelectFirstRow(const BrowserProcess& browser)
{
    SelectServerRow(browser, 0);
}

void SelectFirstRowThenEnd(const BrowserProcess& browser)
{
    SelectServerRow(browser, 0);
    PressKey(browser, VK_END);
}

HWND FilterLineOf(const BrowserProcess& browser)
{
    return GetDlgItem(browser.window, IDC_FILTER_TEXT);
}

// "/" in the list opens the filter line; it starts empty, every server listed.
void OpenEmptyFilterLine(const BrowserProcess& browser)
{
    PostMessageW(ServerListOf(browser), WM_CHAR, L'/', 1);
    SetWindowTextW(FilterLineOf(browser), L"");
}

void TypeInFilterLine(const BrowserProcess& browser)
{
    PostMessageW(FilterLineOf(browser), WM_CHAR, L'z', 1);
}

const TimedAction TimedActions[] = {
    {"column click", nullptr, [](const BrowserProcess& browser) { ClickServerHeader(browser, 0); }, FirstHost},
    {"Full click", nullptr, [](const BrowserProcess& browser) { ClickButton(browser, IDC_SHOW_FULL); }, RowCount},
    {"Empty click", nullptr, [](const BrowserProcess& browser) { ClickButton(browser, IDC_SHOW_EMPTY); }, RowCount},
    {"PageDown", SelectFootOfFirstPage, [](const BrowserProcess& browser) { PressKey(browser, VK_NEXT); }, KeyRows},
    {"End", SelectFirstRow, GoToEnd, KeyRows},
    {"Home", SelectFirstRowThenEnd, GoHome, KeyRows},
    {"filter keystroke", OpenEmptyFilterLine, TypeInFilterLine, RowCount},
};

// Whatever the window was given to do is done, paint included.
void LetWindowSettle(const BrowserProcess& browser)
{
    DWORD_PTR result;
    SendMessageTimeoutW(browser.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    Sleep(300);
}

// Times one action: until the list reads differently, and until its window
// answers again and has nothing left to paint. False when it changed nothing
// within 10 s.
bool TimeAction(const BrowserProcess& browser, const TimedAction& action, DWORD* changed, DWORD* painted)
{
    if (action.prepare != nullptr) {
        action.prepare(browser);
        LetWindowSettle(browser);
    }
    std::wstring before = action.look(browser);
    DWORD start = timeGetTime();
    action.act(browser);
    while (action.look(browser) == before) {
        if (timeGetTime() - start > 10000)
            return false;
    }
    *changed = timeGetTime() - start;
    DWORD_PTR result;
    SendMessageTimeoutW(browser.window, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
    while (GetUpdateRect(ServerListOf(browser), nullptr, FALSE) && timeGetTime() - start < 10000)
        Sleep(0);
    *painted = timeGetTime() - start;
    LetWindowSettle(browser);
    return true;
}

int TimeActions(int servers, const wchar_t* program)
{
    BrowserProcess browser;
    LabNetwork* lab = ServeAndStart(servers, 100000, program, &browser);
    if (lab == nullptr)
        return 1;
    int status = 0;
    if (WaitForCompleted(browser) == 0) {
        fprintf(stderr, "browser_benchmark: the update did not complete\n");
        status = 1;
    }
    // The user acts on the list once the update's last rows are painted.
    LetWindowSettle(browser);
    for (const TimedAction& action : TimedActions) {
        DWORD changed[3] = {};
        DWORD painted[3] = {};
        for (int attempt = 0; status == 0 && attempt < 3; attempt++) {
            if (!TimeAction(browser, action, &changed[attempt], &painted[attempt])) {
                fprintf(stderr, "browser_benchmark: %s changed nothing\n", action.name);
                status = 1;
            }
        }
        if (status == 0)
            printf("%s|%lu|%lu|%lu|%lu\n", action.name, *std::min_element(changed, changed + 3),
                   *std::max_element(changed, changed + 3), *std::min_element(painted, painted + 3),
                   *std::max_element(painted, painted + 3));
    }
    if (CloseBrowser(&browser, 30000) != 0)
        status = 1;
    StopLab(lab);
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "write-scenario") == 0)
        return WriteScenario(atoi(argv[2]), argv[3]);
    bool fromWebList = argc == 5 && strcmp(argv[1], "run-web") == 0;
    bool run = argc == 5 && (strcmp(argv[1], "run") == 0 || fromWebList);
    bool refresh = argc == 5 && strcmp(argv[1], "run-refresh") == 0;
    bool actions = argc == 4 && strcmp(argv[1], "actions") == 0;
    if (!run && !refresh && !actions) {
        fprintf(stderr, "usage: browser_benchmark write-scenario <servers> <file> | run[-web|-refresh] <servers> <rate>"
                        " <program> | actions <servers> <program>\n");
        return 2;
    }
    timeBeginPeriod(1);
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    std::wstring program(argv[argc - 1], argv[argc - 1] + strlen(argv[argc - 1]));
    if (actions)
        return TimeActions(atoi(argv[2]), program.c_str());
    if (refresh)
        return RunRefreshBenchmark(atoi(argv[2]), atoi(argv[3]), program.c_str());
    return RunBenchmark(atoi(argv[2]), atoi(argv[3]), program.c_str(), fromWebList);
}
