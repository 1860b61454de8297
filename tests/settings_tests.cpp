// The settings store against a scratch registry: first start, round trip,
// the stored types and sizes, old and hostile values.
#include <winsock2.h>

#include <commctrl.h>

#include <climits>
#include <string>
#include <vector>

#include "engine/server_table.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "tests/message_pump.h"
#include "tests/ui_test_support.h"
#include "ui/main_window.h"
#include "ui/player_list.h"

namespace {

struct StoredValue {
    DWORD type;
    std::vector<BYTE> bytes;
};

HKEY OpenSettingsKey()
{
    HKEY key = nullptr;
    RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

void Store(const wchar_t* name, DWORD type, const void* bytes, DWORD size)
{
    HKEY key = OpenSettingsKey();
    RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(bytes), size);
    RegCloseKey(key);
}

void StoreNumber(const wchar_t* name, DWORD value)
{
    Store(name, REG_DWORD, &value, sizeof(value));
}

void StoreText(const wchar_t* name, const std::wstring& text)
{
    Store(name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

bool Stored(const wchar_t* name, StoredValue* value)
{
    HKEY key = OpenSettingsKey();
    DWORD size = 0;
    bool found = RegQueryValueExW(key, name, nullptr, &value->type, nullptr, &size) == ERROR_SUCCESS;
    value->bytes.resize(size);
    if (found && size > 0)
        RegQueryValueExW(key, name, nullptr, &value->type, value->bytes.data(), &size);
    RegCloseKey(key);
    return found;
}

DWORD StoredNumber(const wchar_t* name)
{
    StoredValue value = {};
    if (!Stored(name, &value) || value.bytes.size() != 4)
        return 0xDEADBEEF;
    return *reinterpret_cast<DWORD*>(value.bytes.data());
}

std::wstring StoredText(const wchar_t* name)
{
    StoredValue value = {};
    Stored(name, &value);
    return std::wstring(reinterpret_cast<wchar_t*>(value.bytes.data()), value.bytes.size() / sizeof(wchar_t));
}

class SettingsTest : public MainWindowTest {
protected:
    void SetUp() override
    {
        MainWindowTest::SetUp();
        ResetSettings();
        ASSERT_TRUE(ServeLab(LabScenario()));
    }

    // A start of the browser: the settings from the registry, as at process start.
    HWND Start()
    {
        ResetSettings();
        HWND window = CreateWindowUnderTest();
        WaitForUpdate();
        return window;
    }

    // The end of a run: the window goes, and the settings are saved.
    void Stop()
    {
        DestroyWindow(MainWindow);
        PumpFor(10);
    }

    // A whole run of the browser; returns the rectangle its window opened with.
    RECT RunOnce()
    {
        RECT outer = {};
        GetWindowRect(Start(), &outer);
        Stop();
        return outer;
    }

    bool Checked(int id) { return IsDlgButtonChecked(MainWindow, id) == BST_CHECKED; }
};

TEST_F(SettingsTest, FirstStartTakesTheDefaults)
{
    HWND window = Start();
    EXPECT_TRUE(Checked(IDC_SHOW_FULL));
    EXPECT_TRUE(Checked(IDC_SHOW_EMPTY));
    EXPECT_EQ(ShowFull, 1u);
    EXPECT_EQ(ShowEmpty, 1u);
    EXPECT_EQ(PacketsPerSecond, 10);
    EXPECT_EQ(GoodPing, 100);
    EXPECT_EQ(MediumPing, 200);
    EXPECT_STREQ(GameExecutable, L"quake2.exe");
    EXPECT_STREQ(GamePath, L"");
    ASSERT_NE(BuddyText, nullptr);
    EXPECT_STREQ(BuddyText, L"");
    EXPECT_EQ(BuddyCount, 0);
    EXPECT_EQ(SortOrder, 6u);
    EXPECT_EQ(PlayerViewDetails, 0u);
    EXPECT_EQ(SearchLocalNetwork, 1u);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETVIEW, 0, 0), LV_VIEW_LIST);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
}

TEST_F(SettingsTest, EverySettingSurvivesARestart)
{
    HWND window = Start();
    lstrcpyW(GamePath, L"C:\\Games\\Quake2\\");
    lstrcpyW(GameExecutable, L"q2.exe");
    PacketsPerSecond = 25;
    GoodPing = 60;
    MediumPing = 150;
    PlayerViewDetails = 1;
    SortOrder = 3 | ReverseSortFlag;
    HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, 64));
    lstrcpyW(BuddyText, L"Alice\r\nB\u00f6b");
    CheckDlgButton(window, IDC_SHOW_FULL, BST_UNCHECKED);
    SetWindowPos(window, nullptr, 40, 30, 900, 600, SWP_NOZORDER);
    SearchLocalNetwork = 0;
    Stop();

    StoredValue value;
    struct Expected {
        const wchar_t* name;
        DWORD type;
        size_t size;
    };
    const Expected types[] = {{L"Quake II Directory", REG_SZ, 34},     {L"Quake II Executable", REG_SZ, 14},
                              {L"Buddy List", REG_SZ, 22},            {L"Packets Per Second", REG_DWORD, 4},
                              {L"Player View Style", REG_DWORD, 4},   {L"Good Ping Threshold", REG_DWORD, 4},
                              {L"Medium Ping Threshold", REG_DWORD, 4}, {L"Version", REG_DWORD, 4},
                              {L"Sort Order", REG_DWORD, 4},          {L"Show Empty Servers", REG_DWORD, 4},
                              {L"Show Full Servers", REG_DWORD, 4},   {L"Window Position", REG_BINARY, 44}};
    for (const Expected& expected : types) {
        ASSERT_TRUE(Stored(expected.name, &value)) << std::wstring(expected.name).c_str();
        EXPECT_EQ(value.type, expected.type) << std::wstring(expected.name).c_str();
        EXPECT_EQ(value.bytes.size(), expected.size) << std::wstring(expected.name).c_str();
    }
    EXPECT_EQ(StoredNumber(L"Version"), 2u);
    EXPECT_EQ(StoredNumber(L"Show Full Servers"), 0u);
    EXPECT_EQ(StoredNumber(L"Show Empty Servers"), 1u);
    EXPECT_EQ(StoredNumber(L"Search Local Network"), 0u);

    window = Start();
    EXPECT_STREQ(GamePath, L"C:\\Games\\Quake2\\");
    EXPECT_STREQ(GameExecutable, L"q2.exe");
    EXPECT_EQ(PacketsPerSecond, 25);
    EXPECT_EQ(GoodPing, 60);
    EXPECT_EQ(MediumPing, 150);
    EXPECT_EQ(PlayerViewDetails, 1u);
    EXPECT_EQ(SendMessageW(PlayerList, LVM_GETVIEW, 0, 0), LV_VIEW_DETAILS);
    EXPECT_EQ(SortOrder, 3u | ReverseSortFlag);
    EXPECT_STREQ(BuddyText, L"Alice\r\nB\u00f6b");
    EXPECT_EQ(BuddyCount, 2);
    EXPECT_FALSE(Checked(IDC_SHOW_FULL));
    EXPECT_EQ(ShowFull, 0u);
    EXPECT_TRUE(Checked(IDC_SHOW_EMPTY));
    EXPECT_EQ(SearchLocalNetwork, 0u);
    RECT outer;
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer, (RECT{40, 30, 940, 630}));
}

TEST_F(SettingsTest, EmptyBuddyListIsTwoBytes)
{
    Start();
    Stop();
    StoredValue value;
    ASSERT_TRUE(Stored(L"Buddy List", &value));
    EXPECT_EQ(value.type, DWORD(REG_SZ));
    EXPECT_EQ(value.bytes, (std::vector<BYTE>{0, 0}));
}

TEST_F(SettingsTest, MissingValuesOfAnExistingKey)
{
    StoreNumber(L"Show Full Servers", 5);
    StoreNumber(L"Packets Per Second", 0);
    Start();
    EXPECT_EQ(ShowEmpty, 0u);
    EXPECT_FALSE(Checked(IDC_SHOW_EMPTY));
    EXPECT_EQ(ShowFull, 5u);
    EXPECT_TRUE(Checked(IDC_SHOW_FULL));
    EXPECT_EQ(PacketsPerSecond, 10);
    Stop();
    EXPECT_EQ(StoredNumber(L"Show Full Servers"), 1u);
    EXPECT_EQ(StoredNumber(L"Show Empty Servers"), 0u);

    StoreNumber(L"Packets Per Second", 25);
    Start();
    EXPECT_EQ(PacketsPerSecond, 25);
}

TEST_F(SettingsTest, OldAnsiBuddyListIsConvertedAndSavedWide)
{
    const char ansi[] = "J\xfcrgen\r\nZo\xeb";
    Store(L"Buddy List", REG_SZ, ansi, sizeof(ansi));
    Start();
    EXPECT_STREQ(BuddyText, L"J\u00fcrgen\r\nZo\u00eb");
    EXPECT_EQ(BuddyCount, 2);
    Stop();
    EXPECT_EQ(StoredNumber(L"Version"), 2u);
    EXPECT_EQ(StoredText(L"Buddy List"), std::wstring(L"J\u00fcrgen\r\nZo\u00eb") + L'\0');
    Start();
    EXPECT_STREQ(BuddyText, L"J\u00fcrgen\r\nZo\u00eb");

    StoreNumber(L"Version", 3);
    StoreText(L"Buddy List", L"Wide \u0416");
    Start();
    EXPECT_STREQ(BuddyText, L"Wide \u0416");
}

TEST_F(SettingsTest, WindowPlacementValues)
{
    WINDOWPLACEMENT placement = {};
    placement.length = 44;
    placement.showCmd = SW_SHOWMAXIMIZED;
    placement.rcNormalPosition = {20, 10, 920, 610};
    Store(L"Window Position", REG_BINARY, &placement, 44);
    HWND window = Start();
    EXPECT_TRUE(IsZoomed(window));
    WINDOWPLACEMENT opened = {};
    opened.length = sizeof(opened);
    GetWindowPlacement(window, &opened);
    EXPECT_EQ(opened.rcNormalPosition, placement.rcNormalPosition);
    Stop();

    std::vector<BYTE> longer(48, 0x11);
    Store(L"Window Position", REG_BINARY, longer.data(), 48);
    RECT outer = RunOnce();
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    StoredValue value;
    ASSERT_TRUE(Stored(L"Window Position", &value));
    EXPECT_EQ(value.bytes.size(), 44u);

    // A short value leaves most of the record unknown and is not applied.
    Store(L"Window Position", REG_BINARY, &placement, 20);
    window = Start();
    GetWindowRect(window, &outer);
    EXPECT_EQ(outer.left, 0);
}

TEST_F(SettingsTest, UnreachablePlacementsGiveTheDefaultOne)
{
    int right = GetSystemMetrics(SM_CXSCREEN);
    const RECT cases[] = {{-20000, -20000, 20000, 20000},
                          {INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                          {100, -100, 800, 400},                   // caption above the screen
                          {right - 30, 100, right + 670, 600}};  // too little of it on the screen
    for (const RECT& normal : cases) {
        SCOPED_TRACE(testing::PrintToString(normal));
        WINDOWPLACEMENT placement = {};
        placement.length = 44;
        placement.showCmd = SW_SHOWNORMAL;
        placement.rcNormalPosition = normal;
        Store(L"Window Position", REG_BINARY, &placement, 44);
        RECT outer = RunOnce();
        EXPECT_EQ(outer.left, 0);
        EXPECT_EQ(outer.top, 0);
        StoredValue value;
        ASSERT_TRUE(Stored(L"Window Position", &value));
        EXPECT_EQ(reinterpret_cast<WINDOWPLACEMENT*>(value.bytes.data())->rcNormalPosition, outer);
    }
}

TEST_F(SettingsTest, InstallDirectoryIsTakenAsStored)
{
    HKEY install;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, InstallKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &install, nullptr);
    const wchar_t directory[] = L"D:\\Quarrix";
    RegSetValueExW(install, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(directory), sizeof(directory));
    RegCloseKey(install);
    Start();
    EXPECT_STREQ(GamePath, L"D:\\Quarrix");

    StoreText(L"Quake II Directory", L"E:\\Games\\");
    Start();
    EXPECT_STREQ(GamePath, L"E:\\Games\\");
}

TEST_F(SettingsTest, HostileValuesNeverOverflow)
{
    std::wstring unterminated(PathSize, L'x');
    Store(L"Quake II Executable", REG_BINARY, unterminated.data(), PathSize * sizeof(wchar_t));
    Store(L"Quake II Directory", REG_BINARY, L"C:\\odd", 7);
    BYTE one = 7;
    Store(L"Good Ping Threshold", REG_BINARY, &one, 1);
    WORD two = 0x0102;
    Store(L"Medium Ping Threshold", REG_BINARY, &two, 2);
    ULONGLONG eight = 0x1111111122222222ull;
    Store(L"Packets Per Second", REG_QWORD, &eight, 8);
    StoreText(L"Sort Order", L"9");
    std::wstring huge(512 * 1024, L'n');
    huge[100] = L'\n';
    Store(L"Buddy List", REG_SZ, huge.data(), static_cast<DWORD>(huge.size() * sizeof(wchar_t)));
    StoreNumber(L"Version", 2);
    std::wstring shortPath(150, L'p');
    HKEY install;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, InstallKeyName, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &install, nullptr);
    RegSetValueExW(install, L"InstallDir", 0, REG_SZ, reinterpret_cast<const BYTE*>(shortPath.data()), 300);
    RegCloseKey(install);

    Start();
    EXPECT_EQ(std::wstring(GameExecutable), std::wstring(PathSize - 1, L'x'));
    // Seven bytes hold three whole characters; the directory is taken from
    // the value, so the install key is not consulted.
    EXPECT_STREQ(GamePath, L"C:\\");
    EXPECT_EQ(GoodPing, 7);
    EXPECT_EQ(MediumPing, 0x0102);
    EXPECT_EQ(PacketsPerSecond, 10);
    EXPECT_EQ(SortOrder, DWORD('9'));
    EXPECT_EQ(wcslen(BuddyText), huge.size());
    EXPECT_EQ(BuddyCount, 2);
    EXPECT_EQ(wcslen(BuddyNames[0]), 31u);

    // An install directory stored without its terminator ends where its bytes do.
    HKEY key = OpenSettingsKey();
    RegDeleteValueW(key, L"Quake II Directory");
    RegCloseKey(key);
    Start();
    EXPECT_EQ(std::wstring(GamePath), shortPath);
}

void StoreStrings(const wchar_t* name, const std::wstring& strings)
{
    Store(name, REG_MULTI_SZ, strings.data(), static_cast<DWORD>(strings.size() * sizeof(wchar_t)));
}

// Masters and favourites keep the entries that read as addresses, whatever
// else is stored; a list that is not a multi-string is no list, and none is
// stored for a player who never chose one.
TEST_F(SettingsTest, ServerListsKeepTheirGoodEntries)
{
    RunOnce();
    StoredValue value;
    EXPECT_FALSE(Stored(L"Master Servers", &value));
    EXPECT_FALSE(Stored(L"Favourite Servers", &value));

    // The last entry of each lacks its terminators.
    StoreStrings(L"Master Servers", std::wstring(L"127.0.0.1\0bad host!\0 m2.invalid:27901 \0m3.invalid:99999\0"
                                                 L"\0\0m4.invalid:27950", 74));
    StoreStrings(L"Favourite Servers", std::wstring(L"fav.invalid\0FAV.invalid\0:27910\0fav2.invalid:1", 45));
    Start();
    EXPECT_TRUE(MasterServersChosen);
    ASSERT_EQ(MasterServers.count, 3);
    EXPECT_STREQ(MasterServers.entries[1].text, L"m2.invalid:27901");
    EXPECT_STREQ(MasterServers.entries[2].text, L"m4.invalid:27950");
    ASSERT_EQ(FavouriteServers.count, 2);
    EXPECT_STREQ(FavouriteServers.entries[1].text, L"fav2.invalid:1");
    Stop();
    EXPECT_EQ(StoredText(L"Master Servers"), std::wstring(L"127.0.0.1\0m2.invalid:27901\0m4.invalid:27950\0\0", 45));

    // Values that cannot be read are used as none, and kept as they are.
    StoreText(L"Master Servers", L"127.0.0.1");
    StoreNumber(L"Favourite Servers", 7);
    Start();
    EXPECT_FALSE(MasterServersChosen);
    EXPECT_EQ(MasterServers.count, 0);
    EXPECT_EQ(FavouriteServers.count, 0);
    Stop();
    EXPECT_EQ(StoredText(L"Master Servers"), std::wstring(L"127.0.0.1", 10));
    EXPECT_EQ(StoredNumber(L"Favourite Servers"), 7u);

    // Web lists are taken as they stand, eight at the most.
    std::wstring lists;
    for (int index = 0; index < 9; index++)
        lists += L"http://lists.invalid/" + std::to_wstring(index) + L".txt" + L'\0';
    const wchar_t notLists[] = L"https://\0ftp://lists.invalid/\0";
    lists += std::wstring(notLists, std::size(notLists) - 1);
    StoreStrings(L"Master Servers", lists);
    Start();
    ASSERT_EQ(MasterServers.count, 8);
    EXPECT_STREQ(MasterServers.entries[7].text, L"http://lists.invalid/7.txt");
    Stop();
}

// The watched servers are read as far as they are good, 64 at the most; a
// value of another type is kept as it is. The refresh's minutes are 60 at
// the most.
TEST_F(SettingsTest, WatchedServersAndRefreshMinutesAreKept)
{
    // The third entry is damaged: it and the fourth are not read.
    StoreStrings(L"Watched Servers",
                 std::wstring(L"10.0.0.5:27910 6\0" L"10.0.0.5:27910 2\0" L"10.0.0.6:27911 0\0" L"10.0.0.7:27912 3\0", 68));
    StoreNumber(L"Refresh Minutes", 90);
    Start();
    ASSERT_EQ(WatchedServerCount, 1);
    EXPECT_EQ(WatchedServers[0].port, 27910);
    EXPECT_EQ(WatchedServers[0].players, 6);
    EXPECT_EQ(RefreshMinutes, 60u);
    KeepInNotificationArea = 1;
    Stop();
    EXPECT_EQ(StoredText(L"Watched Servers"), std::wstring(L"10.0.0.5:27910 6\0\0", 18));
    EXPECT_EQ(StoredNumber(L"Refresh Minutes"), 60u);
    EXPECT_EQ(StoredNumber(L"Keep In Notification Area"), 1u);

    std::wstring many;
    for (int index = 0; index < 65; index++)
        many += L"10.0.1." + std::to_wstring(index) + L":27910 1" + L'\0';
    StoreStrings(L"Watched Servers", many);
    Start();
    EXPECT_EQ(WatchedServerCount, 64);
    EXPECT_EQ(KeepInNotificationArea, 1u);
    Stop();

    StoreNumber(L"Watched Servers", 7);
    Start();
    EXPECT_EQ(WatchedServerCount, 0);
    Stop();
    EXPECT_EQ(StoredNumber(L"Watched Servers"), 7u);
}

int WinsockUsers();

// A session that ends sends WM_QUERYENDSESSION and WM_ENDSESSION, and then
// no WM_DESTROY: the settings are saved as the session ends, and only then.
TEST_F(SettingsTest, EndOfSessionSavesTheSettings)
{
    HWND window = Start();
    int users = WinsockUsers();
    HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, 64));
    lstrcpyW(BuddyText, L"Late Buddy");
    SetWindowPos(window, nullptr, 50, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    EXPECT_NE(SendMessageW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), 0);
    EXPECT_EQ(StoredText(L"Buddy List"), L"");
    // A session end that was called off saves nothing.
    SendMessageW(window, WM_ENDSESSION, FALSE, ENDSESSION_LOGOFF);
    EXPECT_EQ(StoredText(L"Buddy List"), L"");

    SendMessageW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
    EXPECT_EQ(StoredText(L"Buddy List"), std::wstring(L"Late Buddy") + L'\0');
    StoredValue value;
    ASSERT_TRUE(Stored(L"Window Position", &value));
    EXPECT_EQ(reinterpret_cast<WINDOWPLACEMENT*>(value.bytes.data())->rcNormalPosition.left, 50);
    EXPECT_TRUE(IsWindow(window));
    EXPECT_EQ(WinsockUsers(), users) << "Winsock was released while the browser goes on";
}

int WinsockUsers()
{
    int users = 0;
    while (WSACleanup() == 0)
        users++;
    WSADATA winsock;
    for (int user = 0; user < users; user++)
        WSAStartup(MAKEWORD(1, 1), &winsock);
    return users;
}

TEST_F(SettingsTest, KeyThatCannotBeWrittenChangesNothing)
{
    StoreNumber(L"Packets Per Second", 33);
    Start();
    PacketsPerSecond = 44;
    StopLab(lab);
    lab = nullptr;

    // Under a volatile key no lasting settings key can be made.
    HKEY volatileRoot;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Volatile", 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                    &volatileRoot, nullptr);
    ASSERT_EQ(RegOverridePredefKey(HKEY_CURRENT_USER, volatileRoot), ERROR_SUCCESS);
    int users = WinsockUsers();
    SaveSettings();
    EXPECT_EQ(WinsockUsers(), users - 1);
    WSADATA winsock;
    WSAStartup(MAKEWORD(1, 1), &winsock);
    ASSERT_TRUE(registry->Redirect());
    RegCloseKey(volatileRoot);
    EXPECT_EQ(StoredNumber(L"Packets Per Second"), 33u);
}

}  // namespace
