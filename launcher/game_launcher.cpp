// The game launcher.
#include <winsock2.h>

#include "launcher/game_launcher.h"

#include <commctrl.h>
#include <mmsystem.h>
#include <stdlib.h>

#include "engine/key_set.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "launcher/folder_picker.h"
#include "launcher/known_places.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"

namespace {

const int CommandLineSize = 1024;
const int MessageTextSize = 1024;
// Room to show a directory and a name that together overflow a path.
const int LongPathSize = 2 * PathSize;

void PlatformDriveRoot(wchar_t letter, wchar_t* root, int rootSize)
{
    FormatText(root, rootSize, L"%c:\\", letter);
}

bool IsDotEntry(const wchar_t* name)
{
    return lstrcmpW(name, L".") == 0 || lstrcmpW(name, L"..") == 0;
}

// The status line tells what led to the box: it is painted first.
int AskUser(const wchar_t* text, const wchar_t* caption, UINT type)
{
    PaintHeldChanges();
    return MessageBoxW(MainWindow, text, caption, type);
}

// At most this often the status line tells where the search is.
const DWORD SearchReportInterval = 250;

enum SearchOutcome { SearchFound, SearchNotFound, SearchStopped };

// The search for the game over the fixed drives, on a thread of its own so
// that the window goes on answering. Written on the UI thread before the
// thread starts, and read there again once it has said it is done.
struct GameSearch {
    wchar_t executable[PathSize];  // the name searched for, as it was then
    wchar_t address[ServerAddressTextSize];
    JoinChoice choice;
    wchar_t found[PathSize];
    // Set by Escape or the window closing. A plain flag: the search looks at
    // it for every entry, and under Wine an event costs a server call.
    volatile LONG stop;
    bool stoppedQuietly;  // by the window closing: nothing to tell
    bool cancelledInQuestion;  // by Cancel in a folder's question
    DWORD lastReport;
    int placesLooked;     // known places that were looked in
    int drivesSearched;
};

// Folders the player answered No for: not asked about again in this run.
const int MaxDeclinedFolders = 256;
wchar_t (*DeclinedFolders)[PathSize];
int DeclinedCount;

bool Declined(const wchar_t* directory)
{
    for (int index = 0; index < DeclinedCount; index++) {
        if (lstrcmpiW(DeclinedFolders[index], directory) == 0)
            return true;
    }
    return false;
}

void Decline(const wchar_t* directory)
{
    if (DeclinedFolders == nullptr)
        DeclinedFolders = static_cast<wchar_t(*)[PathSize]>(
            HeapAlloc(GetProcessHeap(), 0, MaxDeclinedFolders * sizeof(*DeclinedFolders)));
    if (DeclinedFolders != nullptr && DeclinedCount < MaxDeclinedFolders)
        lstrcpynW(DeclinedFolders[DeclinedCount++], directory, PathSize);
}

GameSearch Search;
volatile LONG SearchBusy;

bool StopRequested()
{
    return Search.stop != 0;
}

// The search thread's question, asked by the UI thread. Cancel stops the
// search as Escape does.
bool UserConfirms(const wchar_t* directory)
{
    LRESULT answer = SendMessageW(MainWindow, WM_CONFIRM_GAME_FOLDER, 0, reinterpret_cast<LPARAM>(directory));
    if (answer == IDCANCEL) {
        Search.cancelledInQuestion = true;
        InterlockedExchange(&Search.stop, 1);
    }
    return answer == IDYES;
}

void ReportSearchPlace(const wchar_t* directory)
{
    if (timeGetTime() - Search.lastReport < SearchReportInterval)
        return;
    StatusMessage(L"Searching %s...", directory);
    Search.lastReport = timeGetTime();
}

// False when this search has walked the directory before. The walked ones
// are kept by volume serial number and file index: a directory reached again
// by another road (a link the file system does not report as one, a drive
// that is a folder of another) is not walked twice, so the search always
// ends. One that cannot be identified (or remembered) is walked: its
// enumeration decides.
bool FirstVisit(const wchar_t* directory, KeySet* walked)
{
    HANDLE handle = CreateFileW(directory, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return true;
    BY_HANDLE_FILE_INFORMATION information;
    bool identified = GetFileInformationByHandle(handle, &information) != FALSE;
    CloseHandle(handle);
    if (!identified)
        return true;
    SetKey identity = {information.dwVolumeSerialNumber,
                       static_cast<ULONGLONG>(information.nFileIndexHigh) << 32 | information.nFileIndexLow};
    return AddKey(walked, identity) != 0;
}

bool FindGameExecutable(const wchar_t* directory, wchar_t found[PathSize], KeySet* walked);

// Looks at one entry of `directory`; true when the search is over. Directory
// links (junctions, symbolic links) are not followed: they lead to folders
// found elsewhere, or back up the tree.
bool ExamineEntry(const wchar_t* directory, const WIN32_FIND_DATAW& entry, wchar_t found[PathSize],
                  KeySet* walked)
{
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !IsDotEntry(entry.cFileName)) {
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
            return false;
        wchar_t subdirectory[PathSize];
        FormatText(subdirectory, PathSize, L"%s%s\\", directory, entry.cFileName);
        return FindGameExecutable(subdirectory, found, walked);
    }
    if (_wcsicmp(entry.cFileName, Search.executable) == 0 && UserConfirms(directory)) {
        lstrcpynW(found, directory, PathSize);
        return true;
    }
    return false;
}

// Searches below `directory` (ending with a backslash); on the user's
// confirmation of a match, copies its directory to `found` and returns true.
bool FindGameExecutable(const wchar_t* directory, wchar_t found[PathSize], KeySet* walked)
{
    if (StopRequested() || !FirstVisit(directory, walked))
        return false;
    ReportSearchPlace(directory);
    wchar_t pattern[PathSize + 1];
    FormatText(pattern, PathSize + 1, L"%s*", directory);
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    bool confirmed = false;
    do {
        // An entry whose path would not fit is passed over; the rest of the
        // directory is still searched.
        if (lstrlenW(directory) + lstrlenW(entry.cFileName) + 1 > PathSize - 1)
            continue;
        confirmed = ExamineEntry(directory, entry, found, walked);
    } while (!confirmed && !StopRequested() && FindNextFileW(search, &entry));
    FindClose(search);
    return confirmed;
}

// The places the game is usually installed in, each with the question when
// it holds the game; true once the player has taken one.
bool LookInKnownPlaces()
{
    wchar_t (*places)[PathSize] = static_cast<wchar_t(*)[PathSize]>(malloc(MaxKnownPlaces * sizeof(*places)));
    if (places == nullptr)
        return false;
    int count = ListKnownPlaces(Search.executable, places);
    bool found = false;
    for (int index = 0; index < count && !found && !StopRequested(); index++) {
        StatusMessage(L"Looking in %s...", places[index]);
        Search.placesLooked++;
        if (FolderHoldsGame(places[index], Search.executable) && UserConfirms(places[index])) {
            lstrcpynW(Search.found, places[index], PathSize);
            found = true;
        }
    }
    free(places);
    return found;
}

// One search: the known places, then every fixed drive; a folder already
// walked on one drive is not walked again on another. Tells the window how
// it ended.
DWORD WINAPI ScanFixedDrives(LPVOID)
{
    timeBeginPeriod(1);
    KeySet walked = {};
    bool found = LookInKnownPlaces();
    for (wchar_t letter = L'C'; letter <= L'Z' && !found && !StopRequested(); letter++) {
        wchar_t root[PathSize];
        FormDriveRoot(letter, root, PathSize);
        // A drive may take long to answer: the search may have been stopped.
        if (DriveTypeOf(root) != DRIVE_FIXED || StopRequested())
            continue;
        StatusMessage(L"Trying to find %s on %s...", Search.executable, root);
        Search.drivesSearched++;
        Search.lastReport = timeGetTime();
        found = FindGameExecutable(root, Search.found, &walked);
    }
    ReleaseKeys(&walked);
    timeEndPeriod(1);
    SearchOutcome outcome = found ? SearchFound : StopRequested() ? SearchStopped : SearchNotFound;
    // With the window gone, no one else can end the search.
    if (!PostMessageW(MainWindow, WM_GAME_SEARCH_DONE, outcome, 0))
        InterlockedExchange(&SearchBusy, 0);
    return 0;
}

bool StartSearch(const wchar_t* address, const JoinChoice& choice)
{
    Search.stop = 0;
    Search.stoppedQuietly = false;
    Search.cancelledInQuestion = false;
    lstrcpynW(Search.executable, GameExecutable, PathSize);
    lstrcpynW(Search.address, address, ServerAddressTextSize);
    Search.choice = choice;
    Search.found[0] = L'\0';
    Search.placesLooked = 0;
    Search.drivesSearched = 0;
    SearchBusy = 1;
    HANDLE thread = CreateThread(nullptr, 0, ScanFixedDrives, nullptr, 0, nullptr);
    if (thread == nullptr) {
        SearchBusy = 0;
        StatusMessage(L"Couldn't start the search for %s.", Search.executable);
        return false;
    }
    CloseHandle(thread);
    return true;
}

// The platform's folder picker; true when the player chose a folder that
// holds the game, which is then the game's folder.
bool BrowseForGameFolder()
{
    wchar_t folder[PathSize] = L"";
    if (!PickGameFolder(MainWindow, Search.executable, folder))
        return false;
    lstrcpynW(GamePath, folder, PathSize);
    return true;
}

// Nothing found: the player may choose the folder instead; true when one was
// chosen, which is then the game's folder.
bool ReportNotFound()
{
    StatusMessage(L"Couldn't find a Quake II executable! Looked in %d place%s and searched %d drive%s.",
                  Search.placesLooked, Search.placesLooked == 1 ? L"" : L"s", Search.drivesSearched,
                  Search.drivesSearched == 1 ? L"" : L"s");
    if (AskUser(L"Unable to find your Quake II executable!\r\n\r\nYou can't join a server until you have specified "
                L"where Quake II is on your system.\n\nTry setting the executable name manually in the config if "
                L"you have a different executable name.\r\n\r\nBrowse for the folder that holds it?",
                L"Can't find Quake II", MB_ICONWARNING | MB_YESNO) != IDYES)
        return false;
    return BrowseForGameFolder();
}

// Cancel in a folder's question stopped the search: the player may still
// choose the folder; true when one was chosen.
bool OfferBrowseAfterCancel()
{
    wchar_t text[MessageTextSize];
    FormatText(text, MessageTextSize, L"Stopped searching for %s.\r\n\r\nBrowse for the folder that holds it?",
               Search.executable);
    return AskUser(text, L"Browse for Quake II", MB_ICONQUESTION | MB_YESNO) == IDYES && BrowseForGameFolder();
}

void ReportMissingExecutable(const wchar_t* executablePath)
{
    StatusMessage(L"Couldn't find %s! Check your config.", GameExecutable);
    wchar_t text[MessageTextSize];
    FormatText(text, MessageTextSize, L"Error: Couldn't find a Quake II executable:\r\n\r\n\t%s: File Not Found",
               executablePath);
    AskUser(text, L"Couldn't find Quake II", MB_ICONWARNING | MB_OK);
}

// False, after telling the user why, when the game could not be started.
bool StartGame(const wchar_t* directory, const wchar_t* executablePath, const wchar_t* address,
               const JoinChoice& choice)
{
    wchar_t commandLine[CommandLineSize];
    if (!FormatGameCommandLine(executablePath, address, choice, commandLine, CommandLineSize)) {
        StatusMessage(L"Couldn't start Quake II: the server or the password cannot go on its command line.");
        return false;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (CreateProcessW(nullptr, commandLine, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr, directory,
                       &startup, &process)) {
        SecureZeroMemory(commandLine, sizeof(commandLine));
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        return true;
    }
    DWORD error = GetLastError();
    StatusMessage(L"Couldn't start %s (error %d).", executablePath, static_cast<int>(error));
    wchar_t text[MessageTextSize];
    FormatText(text, MessageTextSize, L"Couldn't start Quake II:\r\n\r\n\t%s\r\n\r\nWindows reports error %d.",
               executablePath, static_cast<int>(error));
    AskUser(text, L"Couldn't start Quake II", MB_ICONWARNING | MB_OK);
    SecureZeroMemory(commandLine, sizeof(commandLine));
    return false;
}

// With the game's folder known: starts the game; true when it started.
bool StartFromGamePath(const wchar_t* address, const JoinChoice& choice)
{
    StatusMessage(L"Starting Quake II...");
    wchar_t directory[PathSize];
    lstrcpynW(directory, GamePath, PathSize);
    wchar_t executablePath[LongPathSize];
    JoinFolderPath(directory, GameExecutable, executablePath, LongPathSize);
    // A path longer than a path may be cannot name the game.
    if (lstrlenW(executablePath) > PathSize - 1 || GetFileAttributesW(executablePath) == INVALID_FILE_ATTRIBUTES) {
        ReportMissingExecutable(executablePath);
        return false;
    }
    SetCurrentDirectoryW(directory);
    return StartGame(directory, executablePath, address, choice);
}

}  // namespace

void (*FormDriveRoot)(wchar_t letter, wchar_t* root, int rootSize) = PlatformDriveRoot;
UINT(WINAPI* DriveTypeOf)(LPCWSTR root) = GetDriveTypeW;

bool GameArgumentAllowed(const wchar_t* text)
{
    for (const wchar_t* character = text; *character != L'\0'; character++) {
        if (*character <= L' ' || *character > 0x7E || *character == L'+' || *character == L'"')
            return false;
    }
    return true;
}

bool FormatGameCommandLine(const wchar_t* executablePath, const wchar_t* address, const JoinChoice& choice,
                           wchar_t* commandLine, int size)
{
    commandLine[0] = L'\0';
    if (!IsServerAddressText(address) || !GameArgumentAllowed(choice.password))
        return false;
    wchar_t join[GamePasswordSize + 32] = L"";
    if (choice.spectator && choice.password[0] != L'\0')
        FormatText(join, GamePasswordSize + 32, L" +set spectator \"%s\"", choice.password);
    else if (choice.spectator)
        FormatText(join, GamePasswordSize + 32, L" +set spectator 1");
    else if (choice.password[0] != L'\0')
        FormatText(join, GamePasswordSize + 32, L" +set password \"%s\"", choice.password);
    FormatText(commandLine, size, L"\"%s\" +set game \"quarrix\"%s +connect \"%s\"", executablePath, join, address);
    SecureZeroMemory(join, sizeof(join));
    return true;
}

JoinOutcome JoinServer(const wchar_t* address, const JoinChoice& choice)
{
    if (SearchBusy)
        return GameNotStarted;
    if (GamePath[0] == L'\0')
        return StartSearch(address, choice) ? GameSearching : GameNotStarted;
    return StartFromGamePath(address, choice) ? GameStarted : GameNotStarted;
}

int ConfirmGameFolder(const wchar_t* directory)
{
    if (Declined(directory))
        return IDNO;
    wchar_t question[MessageTextSize];
    FormatText(question, MessageTextSize,
               L"Quarrix Server Browser found '%s' in:\r\n\t%s\r\nIs this the one you wish to use?",
               Search.executable, directory);
    int answer = AskUser(question, L"Quake II Location", MB_ICONQUESTION | MB_YESNOCANCEL);
    if (answer == IDNO)
        Decline(directory);
    return answer;
}

bool FinishGameSearch(int outcome)
{
    SearchBusy = 0;
    // Said again as the search ends: a place it was looking at as Escape was
    // pressed may have been shown after the first word of it.
    if (outcome == SearchStopped && !Search.stoppedQuietly)
        StatusMessage(L"Stopped searching for %s.", Search.executable);
    if (outcome == SearchFound)
        lstrcpynW(GamePath, Search.found, PathSize);
    bool chosen = outcome == SearchStopped ? Search.cancelledInQuestion && OfferBrowseAfterCancel()
                                           : GamePath[0] != L'\0' || ReportNotFound();
    bool started = chosen && StartFromGamePath(Search.address, Search.choice);
    // The password is not kept beyond the join.
    SecureZeroMemory(&Search.choice, sizeof(Search.choice));
    return started;
}

bool GameSearchRunning()
{
    return SearchBusy != 0;
}

void ForgetDeclinedFolders()
{
    DeclinedCount = 0;
}

void StopGameSearch(bool quietly)
{
    if (!SearchBusy || StopRequested())
        return;
    Search.stoppedQuietly = quietly;
    InterlockedExchange(&Search.stop, 1);
    if (!quietly)
        StatusMessage(L"Stopped searching for %s.", Search.executable);
}
