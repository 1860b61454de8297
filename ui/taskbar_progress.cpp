// The sweep's progress on the taskbar button.
#undef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#undef WINVER
#define WINVER 0x0601
#include "ui/taskbar_progress.h"

#include <shobjidl.h>

#include "engine/status_sweep.h"
#include "ui/main_window.h"

namespace {

ITaskbarList3* Taskbar;
bool TaskbarAsked;
const UINT TaskbarButtonCreated = RegisterWindowMessageW(L"TaskbarButtonCreated");

void ReleaseTaskbar()
{
    if (Taskbar != nullptr)
        Taskbar->Release();
    Taskbar = nullptr;
}

// Asked once per taskbar button; without one (Windows before 7, or no
// taskbar) the program goes on without it.
ITaskbarList3* TaskbarOfButton()
{
    if (TaskbarAsked)
        return Taskbar;
    TaskbarAsked = true;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    void* taskbar = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3, &taskbar))) {
        Taskbar = static_cast<ITaskbarList3*>(taskbar);
        if (FAILED(Taskbar->HrInit()))
            ReleaseTaskbar();
    }
    return Taskbar;
}

}  // namespace

void StartTaskbarProgress()
{
    SetTimer(MainWindow, ProgressTimerId, ProgressInterval, nullptr);
}

void ShowTaskbarProgress()
{
    int done = 0;
    int total = 0;
    ITaskbarList3* taskbar = TaskbarOfButton();
    if (taskbar == nullptr || !SweepProgress(&done, &total) || total == 0)
        return;
    taskbar->SetProgressValue(MainWindow, static_cast<ULONGLONG>(done), static_cast<ULONGLONG>(total));
}

void EndTaskbarProgress()
{
    KillTimer(MainWindow, ProgressTimerId);
    if (TaskbarOfButton() != nullptr)
        Taskbar->SetProgressState(MainWindow, TBPF_NOPROGRESS);
}

bool TakeNewTaskbarButton(UINT message)
{
    if (message != TaskbarButtonCreated || TaskbarButtonCreated == 0)
        return false;
    ReleaseTaskbar();
    TaskbarAsked = false;
    return true;
}
