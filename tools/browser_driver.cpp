// Driving a browser process from the outside.
#include "tools/browser_driver.h"

#include <commctrl.h>
#include <psapi.h>

#include "resources/resource.h"

namespace {

const int RemoteTextSize = 1100;

// A block of memory inside the browser process, for messages that carry
// pointers.
class RemoteBuffer {
public:
    RemoteBuffer(HANDLE process, SIZE_T size) : process(process)
    {
        address = static_cast<BYTE*>(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBuffer() { VirtualFreeEx(process, address, 0, MEM_RELEASE); }

    BYTE* At(SIZE_T offset) const { return address + offset; }
    void Write(SIZE_T offset, const void* data, SIZE_T size) const
    {
        WriteProcessMemory(process, address + offset, data, size, nullptr);
    }
    void Read(SIZE_T offset, void* data, SIZE_T size) const
    {
        ReadProcessMemory(process, address + offset, data, size, nullptr);
    }

private:
    HANDLE process;
    BYTE* address;
};

struct WindowSearch {
    DWORD processId;
    const wchar_t* caption;
    HWND found;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t caption[128];
    GetWindowTextW(window, caption, 128);
    if ((search->processId == 0 || owner == search->processId) && lstrcmpW(caption, search->caption) == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

std::wstring RemoteCell(const RemoteBuffer& buffer, HWND list, int row, int column)
{
    LVITEMW item = {};
    item.iSubItem = column;
    item.pszText = reinterpret_cast<wchar_t*>(buffer.At(sizeof(LVITEMW)));
    item.cchTextMax = RemoteTextSize;
    buffer.Write(0, &item, sizeof(item));
    SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(buffer.At(0)));
    wchar_t text[RemoteTextSize] = {};
    buffer.Read(sizeof(LVITEMW), text, (RemoteTextSize - 1) * sizeof(wchar_t));
    return text;
}

void Click(HWND target, POINT point, bool twice)
{
    LPARAM at = MAKELPARAM(point.x, point.y);
    PostMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(target, WM_LBUTTONUP, 0, at);
    if (twice) {
        PostMessageW(target, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageW(target, WM_LBUTTONUP, 0, at);
    }
}

RECT RemoteRect(const BrowserProcess& browser, HWND control, UINT message, WPARAM wParam, LONG left)
{
    RemoteBuffer buffer(browser.process.hProcess, sizeof(RECT));
    RECT rect = {left, 0, 0, 0};
    buffer.Write(0, &rect, sizeof(rect));
    SendMessageW(control, message, wParam, reinterpret_cast<LPARAM>(buffer.At(0)));
    buffer.Read(0, &rect, sizeof(rect));
    return rect;
}

}  // namespace

HWND FindBrowserWindow(DWORD processId, const wchar_t* caption)
{
    WindowSearch search = {processId, caption, nullptr};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool AttachBrowser(BrowserProcess* browser, DWORD timeoutMilliseconds)
{
    *browser = {};
    for (DWORD waited = 0; waited < timeoutMilliseconds && browser->window == nullptr; waited += 50) {
        browser->window = FindBrowserWindow(0);
        if (browser->window == nullptr)
            Sleep(50);
    }
    if (browser->window == nullptr)
        return false;
    GetWindowThreadProcessId(browser->window, &browser->process.dwProcessId);
    browser->process.hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE |
                                                PROCESS_QUERY_INFORMATION | SYNCHRONIZE,
                                            FALSE, browser->process.dwProcessId);
    return browser->process.hProcess != nullptr;
}

bool StartBrowser(const std::wstring& program, BrowserProcess* browser, DWORD timeoutMilliseconds,
                  const std::wstring& arguments)
{
    *browser = {};
    std::wstring commandLine = L"\"" + program + L"\"" + (arguments.empty() ? L"" : L" " + arguments);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &browser->process))
        return false;
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 20) {
        browser->window = FindBrowserWindow(browser->process.dwProcessId);
        if (browser->window != nullptr)
            return true;
        Sleep(20);
    }
    return false;
}

std::wstring StatusText(const BrowserProcess& browser, int part)
{
    HWND bar = GetDlgItem(browser.window, IDC_STATUS_BAR);
    RemoteBuffer buffer(browser.process.hProcess, RemoteTextSize * sizeof(wchar_t));
    buffer.Write(0, L"", sizeof(wchar_t));
    SendMessageW(bar, SB_GETTEXTW, part, reinterpret_cast<LPARAM>(buffer.At(0)));
    wchar_t text[RemoteTextSize] = {};
    buffer.Read(0, text, (RemoteTextSize - 1) * sizeof(wchar_t));
    return text;
}

std::wstring WaitForStatus(const BrowserProcess& browser, const std::vector<std::wstring>& starts,
                           DWORD timeoutMilliseconds)
{
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 20) {
        std::wstring text = StatusText(browser, 0);
        for (const std::wstring& start : starts) {
            if (text.compare(0, start.size(), start) == 0)
                return text;
        }
        Sleep(20);
    }
    return L"";
}

std::vector<std::vector<std::wstring>> ServerRows(const BrowserProcess& browser)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    RemoteBuffer buffer(browser.process.hProcess, sizeof(LVITEMW) + RemoteTextSize * sizeof(wchar_t));
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::vector<std::wstring>> cells(rows);
    for (int row = 0; row < rows; row++) {
        for (int column = 0; column < 7; column++)
            cells[row].push_back(RemoteCell(buffer, list, row, column));
    }
    return cells;
}

std::wstring ServerCell(const BrowserProcess& browser, int row, int column)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    RemoteBuffer buffer(browser.process.hProcess, sizeof(LVITEMW) + RemoteTextSize * sizeof(wchar_t));
    return RemoteCell(buffer, list, row, column);
}

std::vector<std::wstring> ServerColumn(const BrowserProcess& browser, int column)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    RemoteBuffer buffer(browser.process.hProcess, sizeof(LVITEMW) + RemoteTextSize * sizeof(wchar_t));
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    std::vector<std::wstring> cells;
    for (int row = 0; row < rows; row++)
        cells.push_back(RemoteCell(buffer, list, row, column));
    return cells;
}

void ClickServerHeader(const BrowserProcess& browser, int column)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT rect = RemoteRect(browser, header, HDM_GETITEMRECT, column, 0);
    Click(header, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, false);
}

void DoubleClickServerRow(const BrowserProcess& browser, int row)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    RECT rect = RemoteRect(browser, list, LVM_GETITEMRECT, row, LVIR_LABEL);
    Click(list, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, true);
}

namespace {

BOOL CALLBACK MatchMenu(HWND window, LPARAM parameter)
{
    WindowSearch* search = reinterpret_cast<WindowSearch*>(parameter);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t className[16] = L"";
    GetClassNameW(window, className, 16);
    if (owner == search->processId && lstrcmpW(className, L"#32768") == 0 && IsWindowVisible(window)) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

bool ChooseFromServerMenu(const BrowserProcess& browser, int row, wchar_t accessKey)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    RECT rect = RemoteRect(browser, list, LVM_GETITEMRECT, row, LVIR_LABEL);
    POINT at = {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
    POINT onScreen = at;
    ClientToScreen(list, &onScreen);
    // The list opens its menu where the pointer is, as for a real click.
    SetCursorPos(onScreen.x, onScreen.y);
    PostMessageW(list, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(at.x, at.y));
    PostMessageW(list, WM_RBUTTONUP, 0, MAKELPARAM(at.x, at.y));
    WindowSearch search = {browser.process.dwProcessId, nullptr, nullptr};
    for (int wait = 0; wait < 250 && search.found == nullptr; wait++) {
        Sleep(20);
        EnumWindows(MatchMenu, reinterpret_cast<LPARAM>(&search));
    }
    if (search.found == nullptr)
        return false;
    PostMessageW(search.found, WM_CHAR, accessKey, 0);
    return true;
}

void SelectServerRow(const BrowserProcess& browser, int row)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    SendMessageW(list, LVM_ENSUREVISIBLE, row, FALSE);
    RECT rect = RemoteRect(browser, list, LVM_GETITEMRECT, row, LVIR_LABEL);
    Click(list, {(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2}, false);
    for (int wait = 0; wait < 100 && SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED) != row; wait++)
        Sleep(20);
}

bool ShowPlayerDetails(const BrowserProcess& browser)
{
    HWND players = GetDlgItem(browser.window, IDC_PLAYER_LIST);
    if (SendMessageW(players, LVM_GETVIEW, 0, 0) != LV_VIEW_DETAILS) {
        PostMessageW(players, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(5, 5));
        PostMessageW(players, WM_RBUTTONUP, 0, MAKELPARAM(5, 5));
    }
    for (int wait = 0; wait < 100 && SendMessageW(players, LVM_GETVIEW, 0, 0) != LV_VIEW_DETAILS; wait++)
        Sleep(20);
    return SendMessageW(players, LVM_GETVIEW, 0, 0) == LV_VIEW_DETAILS;
}

void PressKey(const BrowserProcess& browser, WORD key)
{
    HWND list = GetDlgItem(browser.window, IDC_SERVER_LIST);
    PostMessageW(list, WM_KEYDOWN, key, 1);
    PostMessageW(list, WM_KEYUP, key, 0xC0000001);
}

bool UseFilterLine(const BrowserProcess& browser, const wchar_t* text)
{
    HWND field = GetDlgItem(browser.window, IDC_FILTER_TEXT);
    PostMessageW(browser.window, WM_COMMAND, IDM_FILTER_LINE, 0);
    for (int wait = 0; wait < 100 && !IsWindowVisible(field); wait++)
        Sleep(20);
    if (!IsWindowVisible(field))
        return false;
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    // Escape with the focus in the field empties and closes it.
    PostMessageW(browser.window, WM_COMMAND, IDCANCEL, 0);
    for (int wait = 0; wait < 100 && IsWindowVisible(field); wait++)
        Sleep(20);
    return !IsWindowVisible(field);
}

void ClickButton(const BrowserProcess& browser, int id)
{
    PostMessageW(GetDlgItem(browser.window, id), BM_CLICK, 0, 0);
}

bool IsChecked(const BrowserProcess& browser, int id)
{
    return SendMessageW(GetDlgItem(browser.window, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

namespace {

// The browser's dialog of this caption, once it has opened; null on time-out.
HWND WaitForDialog(const BrowserProcess& browser, const wchar_t* caption)
{
    HWND dialog = nullptr;
    for (int wait = 0; wait < 250 && dialog == nullptr; wait++) {
        Sleep(20);
        dialog = FindBrowserWindow(browser.process.dwProcessId, caption);
    }
    return dialog;
}

// Presses the dialog's OK; true once the dialog has closed.
bool ConfirmDialog(HWND dialog)
{
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    for (int wait = 0; wait < 250 && IsWindow(dialog); wait++)
        Sleep(20);
    return !IsWindow(dialog);
}

}  // namespace

bool EditBuddyList(const BrowserProcess& browser, const std::wstring& text, std::wstring* shown)
{
    ClickButton(browser, IDC_CONFIG);
    HWND dialog = WaitForDialog(browser, L"Config");
    if (dialog == nullptr)
        return false;
    HWND field = GetDlgItem(dialog, IDC_BUDDY_LIST);
    if (shown != nullptr) {
        wchar_t current[RemoteTextSize] = {};
        SendMessageW(field, WM_GETTEXT, RemoteTextSize, reinterpret_cast<LPARAM>(current));
        *shown = current;
    }
    SendMessageW(field, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
    return ConfirmDialog(dialog);
}

bool AddServerByAddress(const BrowserProcess& browser, const std::wstring& address)
{
    PressKey(browser, VK_INSERT);
    HWND dialog = WaitForDialog(browser, L"Add Server");
    if (dialog == nullptr)
        return false;
    SendMessageW(GetDlgItem(dialog, IDC_SERVER_ADDRESS), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(address.c_str()));
    return ConfirmDialog(dialog);
}

namespace {

std::wstring UpdateCaption(const BrowserProcess& browser)
{
    wchar_t caption[32] = {};
    SendMessageW(GetDlgItem(browser.window, IDC_UPDATE), WM_GETTEXT, 32, reinterpret_cast<LPARAM>(caption));
    return caption;
}

}  // namespace

bool WaitForCaption(const BrowserProcess& browser, const wchar_t* caption, DWORD timeoutMilliseconds)
{
    for (DWORD waited = 0; waited < timeoutMilliseconds; waited += 5) {
        if (UpdateCaption(browser) == caption)
            return true;
        if (WaitForSingleObject(browser.process.hProcess, 5) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

bool RunUpdate(const BrowserProcess& browser, DWORD timeoutMilliseconds)
{
    ClickButton(browser, IDC_UPDATE);
    // A very short update may be over before its "Abort" is seen.
    WaitForCaption(browser, L"Abort", 2000);
    return WaitForCaption(browser, L"Update", timeoutMilliseconds) &&
           IsWindowEnabled(GetDlgItem(browser.window, IDC_UPDATE));
}

namespace {

PROCESS_MEMORY_COUNTERS MemoryCounters(const BrowserProcess& browser)
{
    PROCESS_MEMORY_COUNTERS counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(browser.process.hProcess, &counters, sizeof(counters));
    return counters;
}

}  // namespace

SIZE_T CommittedBytes(const BrowserProcess& browser)
{
    return MemoryCounters(browser).PagefileUsage;
}

SIZE_T PeakWorkingSet(const BrowserProcess& browser)
{
    return MemoryCounters(browser).PeakWorkingSetSize;
}

bool WaitForIdle(const BrowserProcess& browser, DWORD timeoutMilliseconds)
{
    return WaitForCaption(browser, L"Update", timeoutMilliseconds);
}

int WaitForExit(BrowserProcess* browser, DWORD timeoutMilliseconds)
{
    DWORD exitCode = static_cast<DWORD>(-1);
    if (WaitForSingleObject(browser->process.hProcess, timeoutMilliseconds) == WAIT_OBJECT_0)
        GetExitCodeProcess(browser->process.hProcess, &exitCode);
    else
        TerminateProcess(browser->process.hProcess, 1);
    CloseHandle(browser->process.hProcess);
    if (browser->process.hThread != nullptr)
        CloseHandle(browser->process.hThread);
    browser->process = {};
    return static_cast<int>(exitCode);
}

int CloseBrowser(BrowserProcess* browser, DWORD timeoutMilliseconds)
{
    PostMessageW(browser->window, WM_CLOSE, 0, 0);
    return WaitForExit(browser, timeoutMilliseconds);
}
