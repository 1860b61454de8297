// One browser at a time.
#include "ui/running_copy.h"

#include "settings/settings_store.h"

namespace {

// How long a later copy waits for the first one to show its window.
const DWORD WindowWait = 5000;

// The first copy's main window, in memory shared under the copy's name; kept
// open for the life of the process.
HANDLE SharedWindow;

HWND* MapWindowSlot(HANDLE mapping)
{
    return static_cast<HWND*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(HWND)));
}

void BringForward(HWND window)
{
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

}  // namespace

bool ClaimFirstCopy()
{
    HANDLE mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(HWND), InstanceName);
    if (mapping == nullptr)
        return true;
    if (GetLastError() != ERROR_ALREADY_EXISTS) {
        SharedWindow = mapping;
        return true;
    }
    HWND* slot = MapWindowSlot(mapping);
    // The first copy may still be setting its window up.
    for (DWORD waited = 0; slot != nullptr && waited < WindowWait; waited += 50) {
        HWND window = *const_cast<volatile HWND*>(slot);
        if (window != nullptr && IsWindow(window)) {
            BringForward(window);
            break;
        }
        Sleep(50);
    }
    if (slot != nullptr)
        UnmapViewOfFile(slot);
    CloseHandle(mapping);
    return false;
}

void PublishMainWindow(HWND window)
{
    HWND* slot = SharedWindow != nullptr ? MapWindowSlot(SharedWindow) : nullptr;
    if (slot == nullptr)
        return;
    *slot = window;
    UnmapViewOfFile(slot);
}
