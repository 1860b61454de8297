// browser_driver.exe: lets scripts act on a running browser from outside.
//
//   browser_driver wait-sweep <seconds>   waits until the first update has
//                                         ended and prints the status line
//   browser_driver close <seconds>        closes the window through its close
//                                         box; the exit code is the browser's
//   browser_driver update-loop <seconds>  presses Update again and again for
//                                         that long, reporting each update's
//                                         end and the browser's memory
//   browser_driver pose <seconds> <host>  uses the filter line, sorts by
//                                         players, most first, selects that
//                                         server with its players
//                                         in details view, and prints the
//                                         window's rectangle on the screen
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "tools/browser_driver.h"

namespace {

const DWORD UpdateLimitMilliseconds = 90000;

int UpdateLoop(const BrowserProcess& browser, DWORD duration)
{
    if (!WaitForIdle(browser, UpdateLimitMilliseconds)) {
        fprintf(stderr, "browser_driver: the first update did not end\n");
        return 1;
    }
    DWORD start = GetTickCount();
    for (int update = 1; GetTickCount() - start < duration; update++) {
        DWORD began = GetTickCount();
        if (!RunUpdate(browser, UpdateLimitMilliseconds)) {
            fprintf(stderr, "browser_driver: update %d did not end (or the browser is gone)\n", update);
            return 1;
        }
        printf("update %d: %lu ms, %lu KiB committed, \"%ls\"\n", update, GetTickCount() - began,
               static_cast<unsigned long>(CommittedBytes(browser) / 1024), StatusText(browser, 0).c_str());
        fflush(stdout);
    }
    return 0;
}

const int PlayersColumn = 3;
const int HostColumn = 0;

// Whether the rows go from the most players to the fewest.
bool MostPlayersFirst(const BrowserProcess& browser)
{
    std::vector<std::wstring> players = ServerColumn(browser, PlayersColumn);
    for (size_t row = 1; row < players.size(); row++) {
        if (_wtoi(players[row].c_str()) > _wtoi(players[row - 1].c_str()))
            return false;
    }
    return true;
}

// Clicks the Players header (twice at most: ascending, then reversed) until
// the most players come first.
bool SortByMostPlayers(const BrowserProcess& browser)
{
    for (int click = 0; click < 2 && !MostPlayersFirst(browser); click++) {
        std::vector<std::wstring> before = ServerColumn(browser, PlayersColumn);
        ClickServerHeader(browser, PlayersColumn);
        for (int wait = 0; wait < 100 && ServerColumn(browser, PlayersColumn) == before; wait++)
            Sleep(20);
    }
    return MostPlayersFirst(browser);
}

int Pose(const BrowserProcess& browser, DWORD limit, const char* hostName)
{
    if (!WaitForIdle(browser, limit) || !UseFilterLine(browser, L"rail")) {
        fprintf(stderr, "browser_driver: the filter line could not be used\n");
        return 1;
    }
    if (!SortByMostPlayers(browser)) {
        fprintf(stderr, "browser_driver: the list could not be sorted by players\n");
        return 1;
    }
    std::vector<std::wstring> hosts = ServerColumn(browser, HostColumn);
    wchar_t wanted[256];
    MultiByteToWideChar(CP_ACP, 0, hostName, -1, wanted, 256);
    auto row = std::find(hosts.begin(), hosts.end(), std::wstring(wanted));
    if (row == hosts.end()) {
        fprintf(stderr, "browser_driver: no server named %s is listed\n", hostName);
        return 1;
    }
    if (!ShowPlayerDetails(browser)) {
        fprintf(stderr, "browser_driver: the player list did not switch to details\n");
        return 1;
    }
    // Clicked last, so the server list has the focus and shows the selection.
    SelectServerRow(browser, static_cast<int>(row - hosts.begin()));
    RECT window;
    GetWindowRect(browser.window, &window);
    printf("%ld %ld %ld %ld\n", window.left, window.top, window.right - window.left, window.bottom - window.top);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "pose") == 0) {
        BrowserProcess browser;
        DWORD limit = static_cast<DWORD>(atoi(argv[2])) * 1000;
        if (!AttachBrowser(&browser, limit)) {
            fprintf(stderr, "browser_driver: no browser window appeared\n");
            return 1;
        }
        return Pose(browser, limit, argv[3]);
    }
    if (argc != 3) {
        fprintf(stderr, "usage: browser_driver wait-sweep|update-loop|close <seconds>, or pose <seconds> <host>\n");
        return 2;
    }
    DWORD limit = static_cast<DWORD>(atoi(argv[2])) * 1000;
    BrowserProcess browser;
    if (!AttachBrowser(&browser, limit)) {
        fprintf(stderr, "browser_driver: no browser window appeared\n");
        return 1;
    }
    if (strcmp(argv[1], "wait-sweep") == 0) {
        std::wstring line = WaitForStatus(
            browser, {L"Completed.", L"Aborted.", L"No response from", L"Couldn't resolve", L"Error querying"},
            limit);
        if (line.empty()) {
            fprintf(stderr, "browser_driver: the update did not end within %s seconds\n", argv[2]);
            return 1;
        }
        printf("%ls\n", line.c_str());
        bool completed = line.compare(0, 10, L"Completed.") == 0;
        return completed ? 0 : 1;
    }
    if (strcmp(argv[1], "update-loop") == 0)
        return UpdateLoop(browser, limit);
    if (strcmp(argv[1], "close") == 0)
        return CloseBrowser(&browser, limit);
    fprintf(stderr, "browser_driver: unknown command %s\n", argv[1]);
    return 2;
}
