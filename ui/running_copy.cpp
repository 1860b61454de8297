// One browser at a time.
#include "ui/running_copy.h"

#include "settings/settings_store.h"
#include "ui/link_join.h"

namespace {

// How long a later copy waits for the first one to show its window, or to
// end when it is closing, and how often it looks.
const DWORD WindowWait = 5000;
const DWORD WindowPoll = 50;
const UINT HandOverWait = 5000;

// The first copy's main window, in memory shared under the copy's name; kept
// open for the life of the process. A window handle means the same in 32
// and 64 bits and fits 32 of them, which is what the memory holds: a copy
// of either build finds a first copy of the other.
HANDLE SharedWindow;
typedef LONG WindowSlot;

WindowSlot* MapWindowSlot(HANDLE mapping)
{
    return static_cast<WindowSlot*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(WindowSlot)));
}

// The window the first copy published; null while it is still starting, or
// a window that is gone while it is closing.
HWND PublishedWindow(HANDLE mapping)
{
    WindowSlot* slot = MapWindowSlot(mapping);
    if (slot == nullptr)
        return nullptr;
    HWND window = static_cast<HWND>(LongToHandle(*const_cast<volatile WindowSlot*>(slot)));
    UnmapViewOfFile(slot);
    return window;
}

void TellOtherCopy(const wchar_t* text)
{
    MessageBoxW(nullptr, text, L"Quarrix Server Browser", MB_OK | MB_ICONINFORMATION);
}

void BringForward(HWND window)
{
    if (IsIconic(window))
        ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
}

// The running copy checks the link again; one that hangs is not waited for.
void HandOverLink(HWND window, const wchar_t* link)
{
    if (link[0] == L'\0')
        return;
    COPYDATASTRUCT data = {JoinLinkCopyData, static_cast<DWORD>((lstrlenW(link) + 1) * sizeof(wchar_t)),
                           const_cast<wchar_t*>(link)};
    DWORD_PTR taken = 0;
    SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG,
                        HandOverWait, &taken);
}

}  // namespace

bool ClaimFirstCopy(const wchar_t* link)
{
    for (DWORD waited = 0;; waited += WindowPoll) {
        HANDLE mapping =
            CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(WindowSlot), InstanceName);
        if (mapping == nullptr && GetLastError() == ERROR_ACCESS_DENIED) {
            TellOtherCopy(L"Another copy of the Quarrix Server Browser is running with other rights (as "
                          L"administrator, perhaps). Close it before starting this one.");
            return false;
        }
        if (mapping == nullptr)
            return true;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            SharedWindow = mapping;
            return true;
        }
        HWND window = PublishedWindow(mapping);
        CloseHandle(mapping);
        if (window != nullptr && IsWindow(window)) {
            BringForward(window);
            HandOverLink(window, link);
            return false;
        }
        if (waited >= WindowWait) {
            TellOtherCopy(L"Another copy of the Quarrix Server Browser is running but shows no window. Close it "
                          L"before starting this one.");
            return false;
        }
        Sleep(WindowPoll);
    }
}

void PublishMainWindow(HWND window)
{
    WindowSlot* slot = SharedWindow != nullptr ? MapWindowSlot(SharedWindow) : nullptr;
    if (slot == nullptr)
        return;
    *slot = HandleToLong(window);
    UnmapViewOfFile(slot);
}
