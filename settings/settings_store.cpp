// The settings store.
#include <winsock2.h>

#include "settings/settings_store.h"

#include <shlobj.h>
#include <stdlib.h>

#include "engine/last_list.h"
#include "engine/status_text.h"

#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/player_list.h"

const wchar_t InstallKeyName[] = L"SOFTWARE\\Quarrix";

namespace {

// "Version" 1 (or none) means the buddy list is stored as ANSI text.
const DWORD AnsiBuddyListVersion = 1;
const DWORD SavedVersion = 2;
const int PlacementSize = 44;

// A value's bytes replace the variable's only when the whole query works,
// so a value too large for it can never leave it half written.
void ReadNumber(HKEY key, const wchar_t* name, DWORD* variable)
{
    DWORD value = *variable;
    DWORD size = sizeof(value);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS)
        *variable = value;
}

void ReadNumber(HKEY key, const wchar_t* name, int* variable)
{
    ReadNumber(key, name, reinterpret_cast<DWORD*>(variable));
}

// A path is always terminated within 259 characters, whatever is stored.
void ReadPath(HKEY key, const wchar_t* name, wchar_t* path)
{
    wchar_t value[PathSize + 1];
    DWORD size = PathSize * sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_SUCCESS)
        return;
    DWORD length = size / sizeof(wchar_t);
    value[length < PathSize - 1 ? length : PathSize - 1] = L'\0';
    lstrcpynW(path, value, PathSize);
}

void CheckBox(int id)
{
    SendDlgItemMessageW(MainWindow, id, BM_SETCHECK, BST_CHECKED, 0);
}

// Pixels of the caption that must show for the user to take hold of it.
const LONG CaptionGrip = 64;

// A stored placement is applied only when the user can reach the window: its
// normal size fits the screen, and its caption lies on a monitor, in full
// height and wide enough to drag. Windows itself pulls back only windows that
// lie wholly off-screen, and the placement would be saved back as it is.
bool PlacementReachable(const RECT& normal)
{
    LONGLONG width = static_cast<LONGLONG>(normal.right) - normal.left;
    LONGLONG height = static_cast<LONGLONG>(normal.bottom) - normal.top;
    if (width <= 0 || height <= 0 || width > GetSystemMetrics(SM_CXVIRTUALSCREEN) ||
        height > GetSystemMetrics(SM_CYVIRTUALSCREEN))
        return false;
    // The normal rectangle is in workspace coordinates: the primary monitor's
    // work area is their origin.
    MONITORINFO primary = {};
    primary.cbSize = sizeof(primary);
    const POINT origin = {0, 0};
    GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &primary);
    RECT caption = normal;
    OffsetRect(&caption, primary.rcWork.left, primary.rcWork.top);
    caption.bottom = caption.top + GetSystemMetrics(SM_CYCAPTION) + GetSystemMetrics(SM_CYSIZEFRAME);
    HMONITOR monitor = MonitorFromRect(&caption, MONITOR_DEFAULTTONULL);
    MONITORINFO shown = {};
    shown.cbSize = sizeof(shown);
    if (monitor == nullptr || !GetMonitorInfoW(monitor, &shown))
        return false;
    RECT visible;
    IntersectRect(&visible, &caption, &shown.rcWork);
    return visible.top == caption.top && visible.bottom == caption.bottom &&
           visible.right - visible.left >= (width < CaptionGrip ? width : CaptionGrip);
}

void RestorePlacement(HKEY key)
{
    OpenMaximized = false;
    WINDOWPLACEMENT placement = {};
    DWORD size = sizeof(placement);
    // A shorter value would leave most of the record unknown: it is ignored.
    if (RegQueryValueExW(key, L"Window Position", nullptr, nullptr, reinterpret_cast<BYTE*>(&placement), &size) !=
            ERROR_SUCCESS ||
        size != PlacementSize || !PlacementReachable(placement.rcNormalPosition))
        return;
    OpenMaximized = placement.showCmd == SW_SHOWMAXIMIZED;
    if (!(GetWindowLongW(MainWindow, GWL_STYLE) & WS_VISIBLE))
        placement.showCmd = SW_HIDE;
    placement.length = PlacementSize;
    SetWindowPlacement(MainWindow, &placement);
}

wchar_t* EmptyHeapText()
{
    return static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(wchar_t)));
}

// Returns the stored bytes, terminated however they were stored, on the
// process heap; `bytes` receives their number.
BYTE* ReadBuddyBytes(HKEY key, DWORD* bytes)
{
    DWORD size = 0;
    if (RegQueryValueExW(key, L"Buddy List", nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS)
        size = 0;
    // Room for a wide terminator after the last, possibly odd, byte.
    BYTE* buffer = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + 2 * sizeof(wchar_t)));
    if (buffer == nullptr)
        return nullptr;
    if (size > 0 && RegQueryValueExW(key, L"Buddy List", nullptr, nullptr, buffer, &size) != ERROR_SUCCESS)
        size = 0;
    *bytes = size;
    ZeroMemory(buffer + size, 2 * sizeof(wchar_t));
    return buffer;
}

// The bytes of an old buddy list are ANSI text up to their first zero.
wchar_t* ConvertAnsiBuddyList(const BYTE* bytes, DWORD size)
{
    int length = 0;
    while (static_cast<DWORD>(length) < size && bytes[length] != 0)
        length++;
    wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, (length + 1) * sizeof(wchar_t)));
    if (text == nullptr)
        return nullptr;
    int converted = MultiByteToWideChar(CP_ACP, 0, reinterpret_cast<const char*>(bytes), length, text, length);
    text[converted] = L'\0';
    return text;
}

void ReplaceBuddyText(wchar_t* text)
{
    if (BuddyText != nullptr)
        HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = text;
}

void LoadBuddyList(HKEY key, DWORD version)
{
    DWORD size = 0;
    BYTE* bytes = ReadBuddyBytes(key, &size);
    if (bytes == nullptr) {
        ReplaceBuddyText(EmptyHeapText());
        return;
    }
    if (version != AnsiBuddyListVersion) {
        ReplaceBuddyText(reinterpret_cast<wchar_t*>(bytes));
        return;
    }
    ReplaceBuddyText(ConvertAnsiBuddyList(bytes, size));
    HeapFree(GetProcessHeap(), 0, bytes);
    if (BuddyText == nullptr)
        BuddyText = EmptyHeapText();
}

// A list value larger than this is damaged: it is not read.
const DWORD AddressValueLimit = 1024 * 1024;

// A server list's value that is there but could not be read (of another
// type, too large) is left as it is at the next save, until the player gives
// that list entries of their own.
bool MasterValueUnread;
bool FavouriteValueUnread;

// Reads a multi-string of addresses; false when the value is absent, of
// another type or too large, and the list is then left empty. `unread` tells
// whether a value was there all the same.
bool ReadAddressValue(HKEY key, const wchar_t* name, AddressList* list, WORD defaultPort, int limit, bool* unread,
                      bool webLists = false)
{
    ClearAddressList(list);
    DWORD type = REG_NONE;
    DWORD size = 0;
    *unread = RegQueryValueExW(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (!*unread || type != REG_MULTI_SZ || size > AddressValueLimit)
        return false;
    wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + sizeof(wchar_t)));
    if (text == nullptr)
        return false;
    bool read = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) == ERROR_SUCCESS &&
                type == REG_MULTI_SZ;
    *unread = !read;
    // The entries are bounded by the size read, terminated or not.
    if (read)
        ReadAddressEntries(list, text, static_cast<int>(size / sizeof(wchar_t)), defaultPort, limit, webLists);
    HeapFree(GetProcessHeap(), 0, text);
    return read;
}

// An empty list of favourites, or no chosen masters, leaves no value behind.
void WriteAddressValue(HKEY key, const wchar_t* name, const AddressList& list, bool stored)
{
    if (!stored) {
        RegDeleteValueW(key, name);
        return;
    }
    int length = 0;
    wchar_t* text = JoinAddressEntries(list, L"", 1, true, &length);
    if (text == nullptr)
        return;
    // The terminator after the last entry ends the multi-string.
    RegSetValueExW(key, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text), (length + 1) * sizeof(wchar_t));
    free(text);
}

bool WatchValueUnread;

// A damaged value is read as far as it is good.
void ReadWatchValue(HKEY key)
{
    WatchedServerCount = 0;
    DWORD type = REG_NONE;
    DWORD size = 0;
    WatchValueUnread = RegQueryValueExW(key, L"Watched Servers", nullptr, &type, nullptr, &size) == ERROR_SUCCESS;
    if (!WatchValueUnread || type != REG_MULTI_SZ || size > AddressValueLimit)
        return;
    wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size + sizeof(wchar_t)));
    if (text == nullptr)
        return;
    if (RegQueryValueExW(key, L"Watched Servers", nullptr, &type, reinterpret_cast<BYTE*>(text), &size) ==
            ERROR_SUCCESS &&
        type == REG_MULTI_SZ) {
        WatchValueUnread = false;
        ReadWatchedServers(text, static_cast<int>(size / sizeof(wchar_t)));
    }
    HeapFree(GetProcessHeap(), 0, text);
}

void WriteWatchValue(HKEY key)
{
    if (WatchedServerCount == 0) {
        if (!WatchValueUnread)
            RegDeleteValueW(key, L"Watched Servers");
        return;
    }
    int length = 0;
    wchar_t* text = JoinWatchedServers(&length);
    if (text == nullptr)
        return;
    RegSetValueExW(key, L"Watched Servers", 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(text),
                   (length + 1) * sizeof(wchar_t));
    free(text);
}

void WriteServerLists(HKEY key)
{
    WriteWatchValue(key);
    if (MasterServersChosen || !MasterValueUnread)
        WriteAddressValue(key, L"Master Servers", MasterServers, MasterServersChosen);
    if (FavouriteServers.count > 0 || !FavouriteValueUnread)
        WriteAddressValue(key, L"Favourite Servers", FavouriteServers, FavouriteServers.count > 0);
}

// Opens the settings key for writing, making it when it is missing.
bool OpenSettingsForWriting(HKEY* key)
{
    HKEY created;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE, nullptr,
                        &created, nullptr) == ERROR_SUCCESS)
        RegCloseKey(created);
    return RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, KEY_WRITE, key) == ERROR_SUCCESS;
}

void LoadStoredValues(HKEY key)
{
    ReadNumber(key, L"Packets Per Second", &PacketsPerSecond);
    ReadNumber(key, L"Player View Style", &PlayerViewDetails);
    ReadNumber(key, L"Good Ping Threshold", &GoodPing);
    ReadNumber(key, L"Medium Ping Threshold", &MediumPing);
    ReadNumber(key, L"Maximum Ping", &MaximumPing);
    ReadNumber(key, L"Search Local Network", &SearchLocalNetwork);
    ReadNumber(key, L"Refresh Minutes", &RefreshMinutes);
    if (RefreshMinutes > MaxRefreshMinutes)
        RefreshMinutes = MaxRefreshMinutes;
    ReadNumber(key, L"Keep In Notification Area", &KeepInNotificationArea);
    ReadNumber(key, L"Show Empty Servers", &ShowEmpty);
    if (ShowEmpty)
        CheckBox(IDC_SHOW_EMPTY);
    ReadNumber(key, L"Show Full Servers", &ShowFull);
    if (ShowFull)
        CheckBox(IDC_SHOW_FULL);
    DWORD version = AnsiBuddyListVersion;
    ReadNumber(key, L"Version", &version);
    ReadNumber(key, L"Sort Order", &SortOrder);
    ReadPath(key, L"Quake II Directory", GamePath);
    ReadPath(key, L"Quake II Executable", GameExecutable);
    RestorePlacement(key);
    LoadBuddyList(key, version);
    MasterServersChosen = ReadAddressValue(key, L"Master Servers", &MasterServers, DefaultMasterPort, MaxMasterServers,
                                           &MasterValueUnread, true);
    ReadAddressValue(key, L"Favourite Servers", &FavouriteServers, DefaultServerPort, MaxFavouriteServers,
                     &FavouriteValueUnread);
    ReadWatchValue(key);
}

void ReadInstallDirectory()
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, InstallKeyName, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    ReadPath(key, L"InstallDir", GamePath);
    RegCloseKey(key);
}

}  // namespace

void ApplySettingDefaults()
{
    if (GamePath[0] == L'\0')
        ReadInstallDirectory();
    if (GameExecutable[0] == L'\0')
        lstrcpynW(GameExecutable, DefaultGameExecutable, PathSize);
    if (PacketsPerSecond == 0)
        PacketsPerSecond = DefaultPacketsPerSecond;
    if (GoodPing == 0)
        GoodPing = 100;
    if (MediumPing == 0)
        MediumPing = 200;
}

namespace {

void WriteText(HKEY key, const wchar_t* name, const wchar_t* text)
{
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   (lstrlenW(text) + 1) * sizeof(wchar_t));
}

void WriteNumber(HKEY key, const wchar_t* name, DWORD value)
{
    RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
}

DWORD BoxState(int id)
{
    return static_cast<DWORD>(SendDlgItemMessageW(MainWindow, id, BM_GETCHECK, 0, 0));
}

void WriteAll(HKEY key)
{
    WriteText(key, L"Quake II Directory", GamePath);
    WriteText(key, L"Quake II Executable", GameExecutable);
    WriteText(key, L"Buddy List", BuddyText != nullptr ? BuddyText : L"");
    WriteNumber(key, L"Packets Per Second", PacketsPerSecond);
    WriteNumber(key, L"Player View Style", PlayerViewDetails);
    WriteNumber(key, L"Good Ping Threshold", GoodPing);
    WriteNumber(key, L"Medium Ping Threshold", MediumPing);
    WriteNumber(key, L"Maximum Ping", MaximumPing);
    WriteNumber(key, L"Search Local Network", SearchLocalNetwork != 0);
    WriteNumber(key, L"Refresh Minutes", RefreshMinutes);
    WriteNumber(key, L"Keep In Notification Area", KeepInNotificationArea != 0);
    WriteNumber(key, L"Version", SavedVersion);
    WriteNumber(key, L"Sort Order", SortOrder);
    WriteNumber(key, L"Show Empty Servers", BoxState(IDC_SHOW_EMPTY));
    WriteNumber(key, L"Show Full Servers", BoxState(IDC_SHOW_FULL));
    WINDOWPLACEMENT placement = {};
    placement.length = PlacementSize;
    if (GetWindowPlacement(MainWindow, &placement))
        RegSetValueExW(key, L"Window Position", 0, REG_BINARY, reinterpret_cast<const BYTE*>(&placement),
                       PlacementSize);
    WriteServerLists(key);
}

}  // namespace

void LoadSettings()
{
    // Only a stored choice turns the search off.
    SearchLocalNetwork = 1;
    WatchedServerCount = 0;
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, KEY_READ, &key) == ERROR_SUCCESS) {
        LoadStoredValues(key);
        RegCloseKey(key);
    } else {
        ShowEmpty = 1;
        ShowFull = 1;
        CheckBox(IDC_SHOW_EMPTY);
        CheckBox(IDC_SHOW_FULL);
    }
    if (BuddyText == nullptr)
        BuddyText = EmptyHeapText();
    ParseBuddyList();
    ApplySettingDefaults();
}

void StoreSettings()
{
    HKEY key;
    if (OpenSettingsForWriting(&key)) {
        WriteAll(key);
        RegCloseKey(key);
    }
}

void SaveSettings()
{
    StoreSettings();
    WSACleanup();
}

void SaveServerLists()
{
    HKEY key;
    if (OpenSettingsForWriting(&key)) {
        WriteServerLists(key);
        RegCloseKey(key);
    }
}

void LocateLastList()
{
    wchar_t folder[MAX_PATH];
    LastListPath[0] = L'\0';
    if (SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return;
    // A path that would be cut names another file: none is kept then.
    if (lstrlenW(folder) + lstrlenW(DataFolderName) + lstrlenW(LastListFileName) + 2 >= PathSize)
        return;
    FormatText(LastListPath, PathSize, L"%s\\%s\\%s", folder, DataFolderName, LastListFileName);
}
