// The real browser as its own process against the lab network, driven from
// outside as a user would: updates, sorting and filters that persist, the
// buddy list, starting the game, a silent master, closing mid-update.
#include <winsock2.h>

#include <gtest/gtest.h>

#include <shlobj.h>
#include <shlwapi.h>

#include <algorithm>
#include <string>
#include <vector>

#include "lab/lab_network.h"
#include "resources/resource.h"
#include "settings/settings_store.h"
#include "tools/browser_driver.h"
#include "tests/clipboard_text.h"
#include "tests/message_pump.h"
#include "tests/scratch_space.h"

namespace {

// The key of the program a player runs, which the lab copy must never touch.
const wchar_t PlayersSettingsKey[] = L"SOFTWARE\\Orbelle\\Quarrix Server Browser";
const std::vector<std::wstring> SweepEnds = {L"Completed.", L"Aborted."};

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path);
    return folder.substr(0, folder.rfind(L'\\') + 1);
}

LabServer Server(int port, const std::string& name, int players, int maxClients = 16)
{
    LabServer server;
    server.port = port;
    server.info = {{"hostname", name}, {"mapname", "q2dm1"}, {"maxclients", std::to_string(maxClients)},
                   {"version", "q2pro r2161 Linux x86_64"}};
    for (int player = 0; player < players; player++)
        server.players.push_back({player, 30, name + " player " + std::to_string(player)});
    return server;
}

// Three that answer at once (one listed twice), one late, one silent and
// one that answers from another port.
LabScenario VariedScenario()
{
    LabScenario scenario;
    scenario.hasMaster = true;
    scenario.servers = {Server(28010, "Alpha", 3), Server(28011, "Bravo", 0), Server(28012, "Charlie", 16),
                        Server(28013, "Delta late", 1), Server(28014, "Echo silent", 0),
                        Server(28015, "Foxtrot elsewhere", 2)};
    scenario.servers[1].listedTwice = true;
    scenario.servers[3].replyDelay = 400;
    scenario.servers[4].silent = true;
    scenario.servers[5].wrongPort = true;
    return scenario;
}

DWORD StoredNumber(const wchar_t* name)
{
    DWORD value = 0xDEADBEEF;
    DWORD size = sizeof(value);
    SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, name, nullptr, &value, &size);
    return value;
}

std::wstring StoredText(const wchar_t* name)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - sizeof(wchar_t);
    SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, name, nullptr, text, &size);
    return text;
}

// Every value of a multi-string, in order.
std::vector<std::wstring> StoredTexts(const wchar_t* name)
{
    wchar_t text[1024] = {};
    DWORD size = sizeof(text) - 2 * sizeof(wchar_t);
    std::vector<std::wstring> texts;
    SHGetValueW(HKEY_CURRENT_USER, SettingsKeyName, name, nullptr, text, &size);
    for (const wchar_t* entry = text; *entry != L'\0'; entry += texts.back().size() + 1)
        texts.push_back(entry);
    return texts;
}

// The lab copy's last list, in the suite's own folder of the user's data.
std::wstring LabLastList()
{
    wchar_t folder[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
    return std::wstring(folder) + L"\\" + DataFolderName + L"\\" + LastListFileName;
}

// The last write time of a key, or 0 when it does not exist.
ULONGLONG KeyWritten(const wchar_t* name)
{
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, name, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    FILETIME written = {};
    RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                     &written);
    RegCloseKey(key);
    return (static_cast<ULONGLONG>(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

std::vector<std::wstring> Column(const std::vector<std::vector<std::wstring>>& rows, int column)
{
    std::vector<std::wstring> cells;
    for (const auto& row : rows)
        cells.push_back(row[column]);
    return cells;
}

// The lab copy of the program keeps its settings in a key of the suite's
// own, which every test starts without.
class EndToEndTest : public testing::Test {
protected:
    LabNetwork* lab = nullptr;
    BrowserProcess browser = {};
    ULONGLONG playersKeyWritten = 0;

    void SetUp() override
    {
        ASSERT_EQ(std::wstring(SettingsKeyName).rfind(std::wstring(SuiteKeyName) + L"\\", 0), 0u)
            << "the lab copy's settings key is not the suite's";
        ASSERT_EQ(std::wstring(DataFolderName).rfind(L"Quarrix Lab\\", 0), 0u)
            << "the lab copy's data folder is not the suite's";
        playersKeyWritten = KeyWritten(PlayersSettingsKey);
        SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyName);
        DeleteFileW(LabLastList().c_str());
    }

    void TearDown() override
    {
        if (browser.process.hProcess != nullptr)
            CloseBrowser(&browser);
        StopLab(lab);
        SHDeleteKeyW(HKEY_CURRENT_USER, SettingsKeyName);
        DeleteFileW(LabLastList().c_str());
        EXPECT_EQ(KeyWritten(PlayersSettingsKey), playersKeyWritten) << "a player's settings were touched";
    }

    bool Serve(const LabScenario& scenario)
    {
        StopLab(lab);
        std::string error;
        lab = StartLab(scenario, &error);
        EXPECT_NE(lab, nullptr) << error;
        return lab != nullptr;
    }

    bool Start(const std::wstring& arguments = L"")
    {
        return StartBrowser(ProgramFolder() + L"QuarrixBrowserLab.exe", &browser, 20000, arguments);
    }

    // What the "Join Link" box asks, once it shows; it is then cancelled.
    std::wstring JoinLinkQuestion()
    {
        std::wstring asked;
        for (int wait = 0; wait < 500 && asked.empty(); wait++) {
            HWND box = FindBrowserWindow(browser.process.dwProcessId, L"Join Link");
            wchar_t text[512] = L"";
            if (box != nullptr && GetDlgItemTextW(box, IDC_JOIN_LINK_TEXT, text, 512) > 0) {
                asked = text;
                PostMessageW(box, WM_COMMAND, IDCANCEL, 0);
            }
            Sleep(20);
        }
        return asked;
    }

    std::wstring WaitForSweep()
    {
        std::wstring end = WaitForStatus(browser, SweepEnds, 30000);
        EXPECT_FALSE(end.empty()) << "the update did not end; the status line reads: " << StatusText(browser, 0);
        return end;
    }

    // Waits until the Host Name column reads as expected; false on time-out.
    bool WaitForHosts(const std::vector<std::wstring>& hosts)
    {
        for (int wait = 0; wait < 250; wait++) {
            if (Column(ServerRows(browser), 0) == hosts)
                return true;
            Sleep(20);
        }
        return false;
    }
};

TEST_F(EndToEndTest, FullUpdateShowsWhatAnswered)
{
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    EXPECT_EQ(WaitForSweep(), L"Completed. 4 of 6 servers responded.");
    std::vector<std::vector<std::wstring>> rows = ServerRows(browser);
    std::vector<std::wstring> hosts = Column(rows, 0);
    std::sort(hosts.begin(), hosts.end());
    EXPECT_EQ(hosts, (std::vector<std::wstring>{L"Alpha", L"Bravo", L"Charlie", L"Delta late"}));
    EXPECT_EQ(StatusText(browser, 1), L"20 Players");
    EXPECT_EQ(StatusText(browser, 2), L"4 Servers");
    // Sorted by ping: the late server comes last.
    EXPECT_EQ(rows.back()[0], L"Delta late");
    EXPECT_GE(std::stoi(rows.back()[6]), 390);
    EXPECT_EQ(CloseBrowser(&browser), 0);
}

TEST_F(EndToEndTest, SortAndFiltersSurviveARestart)
{
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ClickServerHeader(browser, 3);
    ClickButton(browser, IDC_SHOW_EMPTY);
    EXPECT_TRUE(WaitForHosts({L"Charlie", L"Alpha", L"Delta late"}));
    EXPECT_EQ(CloseBrowser(&browser), 0);
    EXPECT_EQ(StoredNumber(L"Sort Order"), 3u);
    EXPECT_EQ(StoredNumber(L"Show Empty Servers"), 0u);

    ASSERT_TRUE(Start());
    WaitForSweep();
    EXPECT_FALSE(IsChecked(browser, IDC_SHOW_EMPTY));
    EXPECT_TRUE(IsChecked(browser, IDC_SHOW_FULL));
    EXPECT_EQ(Column(ServerRows(browser), 0), (std::vector<std::wstring>{L"Charlie", L"Alpha", L"Delta late"}));
}

TEST_F(EndToEndTest, BuddyListSurvivesARestart)
{
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ASSERT_TRUE(EditBuddyList(browser, L"Alpha player 1\r\nNobody"));
    EXPECT_EQ(CloseBrowser(&browser), 0);
    EXPECT_EQ(StoredText(L"Buddy List"), L"Alpha player 1\r\nNobody");

    ASSERT_TRUE(Start());
    WaitForSweep();
    std::wstring shown;
    ASSERT_TRUE(EditBuddyList(browser, L"Alpha player 1\r\nNobody", &shown));
    EXPECT_EQ(shown, L"Alpha player 1\r\nNobody");
}

enum JoinWay { DoubleClickRow, MenuJoin };

// A double-click and the row menu's Join start the game alike. Before the
// menu's Join, its Copy Address puts the address on the clipboard.
TEST_F(EndToEndTest, JoinStartsTheGameAndClosesTheBrowser)
{
    LabScenario scenario;
    scenario.hasMaster = true;
    scenario.servers = {Server(28020, "Only", 2)};
    ASSERT_TRUE(Serve(scenario));
    for (JoinWay way : {DoubleClickRow, MenuJoin}) {
        SCOPED_TRACE(way == DoubleClickRow ? "double-click" : "menu");
        ScratchFolder scratch;
        ASSERT_FALSE(scratch.path.empty()) << "no scratch folder could be made";
        const std::wstring& game = scratch.path;
        CopyFileW((ProgramFolder() + L"stand_in_game.exe").c_str(), (game + L"quake2.exe").c_str(), FALSE);
        SHSetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Quake II Directory", REG_SZ, game.c_str(),
                    static_cast<DWORD>((game.size() + 1) * sizeof(wchar_t)));
        ASSERT_TRUE(Start());
        WaitForSweep();
        if (way == DoubleClickRow) {
            DoubleClickServerRow(browser, 0);
        } else {
            if (OpenClipboard(nullptr)) {
                EmptyClipboard();
                CloseClipboard();
            }
            ASSERT_TRUE(ChooseFromServerMenu(browser, 0, L'c'));
            for (int wait = 0; wait < 250 && ClipboardText().empty(); wait++)
                Sleep(20);
            EXPECT_EQ(ClipboardText(), L"127.0.0.1:28020");
            ASSERT_TRUE(ChooseFromServerMenu(browser, 0, L'j'));
        }
        EXPECT_EQ(WaitForExit(&browser, 10000), 0);
        EXPECT_EQ(StoredText(L"Quake II Directory"), game);

        // The game writes its record under another name, then renames it.
        std::wstring record = game + L"launch.txt";
        for (int wait = 0; wait < 250 && GetFileAttributesW(record.c_str()) == INVALID_FILE_ATTRIBUTES; wait++)
            Sleep(20);
        HANDLE file = CreateFileW(record.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        wchar_t text[1024] = {};
        DWORD read = 0;
        ReadFile(file, text, sizeof(text) - sizeof(wchar_t), &read, nullptr);
        CloseHandle(file);
        EXPECT_EQ(std::wstring(text), L"\"" + game + L"quake2.exe\" +set game \"quarrix\" +connect \"127.0.0.1:28020\"\n" +
                                          game.substr(0, game.size() - 1) + L"\n");
    }
}

bool IsFile(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::vector<std::string> FileLines(const std::wstring& path)
{
    std::vector<std::string> lines;
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char text[4096] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
    CloseHandle(file);
    std::string all(text, read);
    for (size_t start = 0, end; (end = all.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(all.substr(start, end - start));
    return lines;
}

std::string Narrow(const std::wstring& text)
{
    return std::string(text.begin(), text.end());
}

// Whether a path of the host names this folder, compared by identity: the
// host's path may take another road (Wine's drive links) to it.
bool HostPathIsFolder(const std::string& hostPath, const std::wstring& folder)
{
    typedef wchar_t*(CDECL * DosFileName)(const char*);
    DosFileName dosFileName = reinterpret_cast<DosFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_dos_file_name")));
    wchar_t* windowsPath = dosFileName != nullptr ? dosFileName(hostPath.c_str()) : nullptr;
    if (windowsPath == nullptr)
        return false;
    BY_HANDLE_FILE_INFORMATION identities[2] = {};
    const wchar_t* paths[2] = {windowsPath, folder.c_str()};
    bool known = true;
    for (int index = 0; index < 2; index++) {
        HANDLE handle = CreateFileW(paths[index], 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        known = known && handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &identities[index]);
        if (handle != INVALID_HANDLE_VALUE)
            CloseHandle(handle);
    }
    HeapFree(GetProcessHeap(), 0, windowsPath);
    return known && identities[0].dwVolumeSerialNumber == identities[1].dwVolumeSerialNumber &&
           identities[0].nFileIndexHigh == identities[1].nFileIndexHigh &&
           identities[0].nFileIndexLow == identities[1].nFileIndexLow;
}

// On Linux under Wine, the game may be a native client: the browser starts
// it with the arguments and the current directory it starts quake2.exe with.
TEST_F(EndToEndTest, JoinStartsANativeLinuxGameUnderWine)
{
    std::wstring nativeGame = ProgramFolder() + L"native_game";
    std::string nativeGamePath = UnixPathOf(nativeGame);
    if (nativeGamePath.empty() || !IsFile(nativeGame))
        GTEST_SKIP() << "needs Wine and the host's stand-in game";
    ScratchFolder scratch;
    ASSERT_FALSE(scratch.path.empty()) << "no scratch folder could be made";
    const std::wstring& game = scratch.path;
    // The host copies it: a copy made under Wine would lose its execute
    // permission (and Wine would delete a link's target with the link).
    std::wstring copy = L"\"Z:\\usr\\bin\\cp\" \"" + std::wstring(nativeGamePath.begin(), nativeGamePath.end()) +
                        L"\" quake2.tmp";
    ASSERT_TRUE(RunHostProgram(game, copy));
    WIN32_FILE_ATTRIBUTE_DATA original = {};
    GetFileAttributesExW(nativeGame.c_str(), GetFileExInfoStandard, &original);
    WIN32_FILE_ATTRIBUTE_DATA copied = {};
    for (int wait = 0; wait < 250 && !(GetFileAttributesExW((game + L"quake2.tmp").c_str(), GetFileExInfoStandard,
                                                             &copied) &&
                                       copied.nFileSizeLow == original.nFileSizeLow);
         wait++)
        Sleep(20);
    ASSERT_TRUE(MoveFileW((game + L"quake2.tmp").c_str(), (game + L"quake2").c_str()));
    SHSetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Quake II Directory", REG_SZ, game.c_str(),
                static_cast<DWORD>((game.size() + 1) * sizeof(wchar_t)));
    SHSetValueW(HKEY_CURRENT_USER, SettingsKeyName, L"Quake II Executable", REG_SZ, L"quake2", sizeof(L"quake2"));

    LabScenario scenario;
    scenario.hasMaster = true;
    scenario.servers = {Server(28021, "Native", 1)};
    ASSERT_TRUE(Serve(scenario));
    ASSERT_TRUE(Start());
    WaitForSweep();
    DoubleClickServerRow(browser, 0);
    EXPECT_EQ(WaitForExit(&browser, 10000), 0);

    std::wstring record = game + L"launch.txt";
    for (int wait = 0; wait < 250 && !IsFile(record); wait++)
        Sleep(20);
    std::vector<std::string> lines = FileLines(record);
    ASSERT_EQ(lines.size(), 7u) << "the game left no whole record in its folder";
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 6),
              (std::vector<std::string>{Narrow(game) + "quake2", "+set", "game", "quarrix", "+connect",
                                        "127.0.0.1:28021"}));
    EXPECT_TRUE(HostPathIsFolder(lines[6], game)) << "the game ran in " << lines[6];
}

// The list a master gave is kept, and stands in for it when it falls silent.
TEST_F(EndToEndTest, SilentMasterGivesWayToTheLastList)
{
    LabScenario scenario = VariedScenario();
    ASSERT_TRUE(Serve(scenario));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ASSERT_EQ(ServerRows(browser).size(), 4u);
    // Six servers; the two that did not answer with their count of sweeps.
    std::vector<std::string> kept = FileLines(LabLastList());
    EXPECT_EQ(kept.size(), 8u);
    EXPECT_EQ(kept.front(), "127.0.0.1:28010\r");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), "# unanswered 1\r"), 2);

    scenario.master.silent = true;
    ASSERT_TRUE(Serve(scenario));
    // F5 acts as the Update button.
    PressKey(browser, VK_F5);
    for (int attempt = 1; attempt <= 2; attempt++) {
        std::wstring line = L"Retrying 127.0.0.1 (attempt " + std::to_wstring(attempt) + L")...";
        EXPECT_EQ(WaitForStatus(browser, {line}, 5000), line);
    }
    EXPECT_EQ(WaitForSweep(),
              L"Completed. 4 of 6 servers responded. No response from 127.0.0.1. The last list was queried.");
    EXPECT_EQ(LabMasterRequests(lab).arrivals.size(), 3u);
    EXPECT_EQ(ServerRows(browser).size(), 4u);
    std::replace(kept.begin(), kept.end(), std::string("# unanswered 1\r"), std::string("# unanswered 2\r"));
    EXPECT_EQ(FileLines(LabLastList()), kept);
}

// A server that no master lists, added by its address, gets its row and is
// kept as a favourite.
TEST_F(EndToEndTest, ServerAddedByAddressIsListedAndKept)
{
    LabScenario scenario = VariedScenario();
    scenario.servers.push_back(Server(28016, "Golf unlisted", 1));
    scenario.servers.back().unlisted = true;
    ASSERT_TRUE(Serve(scenario));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ASSERT_TRUE(AddServerByAddress(browser, L"127.0.0.1:28016"));
    EXPECT_EQ(WaitForStatus(browser, {L"127.0.0.1:28016 refreshed."}, 5000), L"127.0.0.1:28016 refreshed.");
    std::vector<std::wstring> hosts = ServerColumn(browser, 0);
    EXPECT_NE(std::find(hosts.begin(), hosts.end(), L"Golf unlisted"), hosts.end());
    EXPECT_EQ(CloseBrowser(&browser), 0);
    EXPECT_EQ(StoredTexts(L"Favourite Servers"), std::vector<std::wstring>{L"127.0.0.1:28016"});
}

// Runs a program and returns its exit code, or -1 when it could not start or
// did not end in time (it is then ended).
int RunToItsEnd(std::wstring commandLine, DWORD timeoutMilliseconds)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return -1;
    DWORD exitCode = static_cast<DWORD>(-1);
    // Served meanwhile: the program may ask a window of this thread.
    if (PumpUntil([&process] { return WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0; },
                  timeoutMilliseconds))
        GetExitCodeProcess(process.hProcess, &exitCode);
    else
        TerminateProcess(process.hProcess, exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return static_cast<int>(exitCode);
}

// Under Wine, wineboot ends the session as Windows does at logoff: the
// browser gets WM_QUERYENDSESSION and WM_ENDSESSION, and no WM_DESTROY.
TEST_F(EndToEndTest, EndOfSessionSavesTheSettings)
{
    wchar_t wineboot[MAX_PATH] = L"";
    GetSystemDirectoryW(wineboot, MAX_PATH);
    lstrcatW(wineboot, L"\\wineboot.exe");
    if (!IsFile(wineboot) || UnixPathOf(wineboot).empty())
        GTEST_SKIP() << "needs Wine's wineboot";
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ASSERT_TRUE(EditBuddyList(browser, L"Late Buddy"));
    EXPECT_EQ(StoredText(L"Buddy List"), L"");

    EXPECT_EQ(RunToItsEnd(L"\"" + std::wstring(wineboot) + L"\" --end-session", 30000), 0);
    EXPECT_EQ(StoredText(L"Buddy List"), L"Late Buddy");
}

// A second start brings the running browser forward and ends at once,
// leaving the settings to the first.
TEST_F(EndToEndTest, SecondStartBringsTheRunningBrowserForward)
{
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    WaitForSweep();
    ShowWindow(browser.window, SW_MINIMIZE);
    ULONGLONG written = KeyWritten(SettingsKeyName);

    EXPECT_EQ(RunToItsEnd(L"\"" + ProgramFolder() + L"QuarrixBrowserLab.exe\"", 10000), 0);
    EXPECT_FALSE(IsIconic(browser.window));
    EXPECT_EQ(KeyWritten(SettingsKeyName), written);
}

// A second copy started with a link hands it to the running browser and
// ends: the running one asks the linked server and then the player.
TEST_F(EndToEndTest, SecondCopyHandsItsLinkToTheRunningBrowser)
{
    ASSERT_TRUE(Serve(VariedScenario()));
    ASSERT_TRUE(Start());
    WaitForSweep();
    EXPECT_EQ(RunToItsEnd(L"\"" + ProgramFolder() + L"QuarrixBrowserLab.exe\" \"quarrix://connect/127.0.0.1:28010\"",
                          10000),
              0);
    EXPECT_EQ(JoinLinkQuestion(), L"Join Alpha (q2dm1, 3/16) at 127.0.0.1:28010?");
    EXPECT_TRUE(IsWindow(browser.window));
}

// Started with a link, the browser asks its server in its first update,
// though no master lists it, and then the player.
TEST_F(EndToEndTest, StartedWithALinkTheBrowserAsksItsServer)
{
    LabScenario scenario = VariedScenario();
    scenario.servers.push_back(Server(28016, "Golf unlisted", 2));
    scenario.servers.back().unlisted = true;
    ASSERT_TRUE(Serve(scenario));
    ASSERT_TRUE(Start(L"quarrix://spectate/127.0.0.1:28016"));
    EXPECT_EQ(JoinLinkQuestion(), L"Join Golf unlisted (q2dm1, 2/16) at 127.0.0.1:28016 as a spectator?");
    EXPECT_EQ(LabServerRequests(lab, 6).arrivals.size(), 1u) << "asked by the update alone";
}

// The first copy's window stands in the shared memory as 32 bits, whatever
// build wrote it: a second copy of either build finds it.
TEST_F(EndToEndTest, SecondStartFindsAFirstCopyOfTheOtherBuild)
{
    HWND first = CreateWindowExW(0, L"STATIC", L"first copy", WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(first, nullptr);
    ShowWindow(first, SW_MINIMIZE);
    HANDLE memory = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG), InstanceName);
    ASSERT_NE(memory, nullptr);
    LONG* slot = static_cast<LONG*>(MapViewOfFile(memory, FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
    ASSERT_NE(slot, nullptr);
    *slot = HandleToLong(first);
    UnmapViewOfFile(slot);

    EXPECT_EQ(RunToItsEnd(L"\"" + ProgramFolder() + L"QuarrixBrowserLab.exe\"", 15000), 0);
    EXPECT_FALSE(IsIconic(first));
    CloseHandle(memory);
    DestroyWindow(first);
}

// Answers the message box a second copy shows, and keeps its text.
DWORD WINAPI AnswerCopyBox(LPVOID text)
{
    for (int tries = 0; tries < 200; tries++) {
        HWND box = FindWindowW(L"#32770", L"Quarrix Server Browser");
        if (box != nullptr && GetDlgItemTextW(box, 0xFFFF, static_cast<wchar_t*>(text), 512) > 0) {
            PostMessageW(box, WM_COMMAND, IDOK, 0);
            return 0;
        }
        Sleep(50);
    }
    return 1;
}

// A first copy that this one may not reach (run as administrator, say) is
// running all the same: the player is told, and nothing is touched.
TEST_F(EndToEndTest, UnreachableFirstCopyIsToldOf)
{
    ACL empty;
    InitializeAcl(&empty, sizeof(empty), ACL_REVISION);
    SECURITY_DESCRIPTOR denied;
    InitializeSecurityDescriptor(&denied, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&denied, TRUE, &empty, FALSE);
    SECURITY_ATTRIBUTES attributes = {sizeof(attributes), &denied, FALSE};
    HANDLE first = CreateFileMappingW(INVALID_HANDLE_VALUE, &attributes, PAGE_READWRITE, 0, sizeof(LONG), InstanceName);
    ASSERT_NE(first, nullptr);
    ULONGLONG written = KeyWritten(SettingsKeyName);
    wchar_t told[512] = L"";
    HANDLE answerer = CreateThread(nullptr, 0, AnswerCopyBox, told, 0, nullptr);

    EXPECT_EQ(RunToItsEnd(L"\"" + ProgramFolder() + L"QuarrixBrowserLab.exe\"", 15000), 0);
    WaitForSingleObject(answerer, 15000);
    CloseHandle(answerer);
    CloseHandle(first);
    EXPECT_EQ(std::wstring(told).rfind(L"Another copy of the Quarrix Server Browser is running with other rights", 0),
              0u) << told;
    EXPECT_EQ(KeyWritten(SettingsKeyName), written);
}

TEST_F(EndToEndTest, ClosingDuringAnUpdateEndsPromptlyAndSaves)
{
    LabScenario scenario;
    scenario.hasMaster = true;
    for (int port = 28030; port < 28080; port++) {
        scenario.servers.push_back(Server(port, "slow " + std::to_string(port), 1));
        scenario.servers.back().silent = true;
    }
    ASSERT_TRUE(Serve(scenario));
    ASSERT_TRUE(Start());
    ASSERT_FALSE(WaitForStatus(browser, {L"Querying 127.0.0.1:"}, 10000).empty());
    DWORD start = GetTickCount();
    EXPECT_EQ(CloseBrowser(&browser, 10000), 0);
    EXPECT_LT(GetTickCount() - start, 5000u);
    EXPECT_EQ(StoredNumber(L"Packets Per Second"), 10u);
}

}  // namespace
