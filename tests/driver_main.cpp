// browser_driver.exe: lets scripts act on a running browser from outside.
//
//   browser_driver wait-sweep <seconds>   waits until the first update has
//                                         ended and prints the status line
//   browser_driver close <seconds>        closes the window through its close
//                                         box; the exit code is the browser's
//   browser_driver update-loop <seconds>  presses Update again and again for
//                                         that long, reporting each update's
//                                         end and the browser's memory
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/browser_driver.h"

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

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        fprintf(stderr, "usage: browser_driver wait-sweep|update-loop|close <seconds>\n");
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
