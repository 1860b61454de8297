// Measures the window's side of an update against a running lab network:
// the UI thread's time per offered server, the total, and the longest time
// the window does not answer. Not part of the test suite.
//
//   ui_benchmark <packets per second>
#include <winsock2.h>

#include <commctrl.h>
#include <mmsystem.h>
#include <stdio.h>
#include <stdlib.h>

#include <algorithm>

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "settings/settings.h"
#include "tests/message_pump.h"
#include "ui/main_window.h"

namespace {

WNDPROC dialogProc;
LARGE_INTEGER frequency;
double offerSeconds;
double longestOffer;
int offers;
volatile LONG probing = 1;
volatile LONG longestStall;

double Now()
{
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / frequency.QuadPart;
}

// Times every offer the UI thread carries out.
LRESULT CALLBACK TimingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_OFFER_SERVER)
        return CallWindowProcW(dialogProc, window, message, wParam, lParam);
    double start = Now();
    LRESULT result = CallWindowProcW(dialogProc, window, message, wParam, lParam);
    double spent = Now() - start;
    offerSeconds += spent;
    longestOffer = std::max(longestOffer, spent);
    offers++;
    return result;
}

// Asks the window every few milliseconds and notes the longest wait.
DWORD WINAPI ProbeResponsiveness(LPVOID)
{
    while (probing) {
        DWORD start = timeGetTime();
        DWORD_PTR result;
        SendMessageTimeoutW(MainWindow, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
        LONG waited = static_cast<LONG>(timeGetTime() - start);
        if (waited > longestStall)
            longestStall = waited;
        Sleep(5);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: ui_benchmark <packets per second>\n");
        return 2;
    }
    QueryPerformanceFrequency(&frequency);
    timeBeginPeriod(1);
    INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    InitializeCriticalSection(&TableLock);
    MasterHostName = L"127.0.0.1";
    ShowFull = ShowEmpty = 1;
    GoodPing = 100;
    MediumPing = 200;

    // The first update starts with the window; the rate must be set before.
    PacketsPerSecond = atoi(argv[1]);
    DWORD start = timeGetTime();
    if (CreateMainWindow(GetModuleHandleW(nullptr)) == nullptr) {
        fprintf(stderr, "ui_benchmark: the main window was not created (error %lu)\n", GetLastError());
        return 1;
    }
    dialogProc = reinterpret_cast<WNDPROC>(
        SetWindowLongW(MainWindow, GWL_WNDPROC, reinterpret_cast<LONG>(TimingProc)));
    HANDLE probe = CreateThread(nullptr, 0, ProbeResponsiveness, nullptr, 0, nullptr);
    PumpUntil([] { return !UpdateBusy; }, 600000, MainWindow);
    DWORD total = timeGetTime() - start;
    probing = 0;
    WaitForSingleObject(probe, INFINITE);

    int rows = static_cast<int>(SendDlgItemMessageW(MainWindow, 1017, LVM_GETITEMCOUNT, 0, 0));
    printf("window  servers %ld, rate %d/s: update %lu ms, %d rows, UI time in offers %.0f ms "
           "(%.3f ms each, longest %.1f ms), longest unresponsive %ld ms\n",
           ServerTable.count, PacketsPerSecond, total, rows, offerSeconds * 1000,
           offers ? offerSeconds * 1000 / offers : 0.0, longestOffer * 1000, longestStall);
    return 0;
}
