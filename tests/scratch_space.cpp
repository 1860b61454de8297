// Scratch space of the tests' own.
#include "tests/scratch_space.h"

#include <winioctl.h>
#include <shlwapi.h>

#include <string.h>

const wchar_t SuiteKeyName[] = L"SOFTWARE\\Quarrix Lab";

namespace {

const wchar_t ProbeValueName[] = L"Scratch Probe";

// The layout of a mount point's reparse data, which the SDK's headers leave
// to the driver kit.
struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    wchar_t paths[MAX_PATH * 2];
};

bool MakeJunction(const std::wstring& link, const std::wstring& target)
{
    if (!CreateDirectoryW(link.c_str(), nullptr))
        return false;
    HANDLE handle = CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    std::wstring substitute = L"\\??\\" + target;
    MountPointData data = {};
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>(substitute.size() * sizeof(wchar_t));
    data.printOffset = data.substituteLength + sizeof(wchar_t);
    memcpy(data.paths, substitute.c_str(), data.substituteLength);
    data.dataLength = static_cast<WORD>(4 * sizeof(WORD) + data.printOffset + sizeof(wchar_t));
    DWORD returned = 0;
    bool made = handle != INVALID_HANDLE_VALUE &&
                DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &data, 8 + data.dataLength, nullptr, 0, &returned,
                                nullptr);
    if (handle != INVALID_HANDLE_VALUE)
        CloseHandle(handle);
    if (!made)
        RemoveDirectoryW(link.c_str());
    return made;
}

bool IsDirectoryLink(const std::wstring& path)
{
    DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool WaitUntil(bool (*done)(const std::wstring&), const std::wstring& path)
{
    for (int wait = 0; wait < 500 && !done(path); wait++)
        Sleep(20);
    return done(path);
}

bool IsGone(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// Windows removes a junction as a directory. Wine follows a host's link
// there (and would remove an empty target), so the host removes it.
void RemoveDirectoryLink(const std::wstring& folder, const std::wstring& name)
{
    if (!UnderWine()) {
        RemoveDirectoryW((folder + name).c_str());
        return;
    }
    if (RunHostProgram(folder, L"\"Z:\\usr\\bin\\rm\" -f \"" + name + L"\""))
        WaitUntil(IsGone, folder + name);
}

// Whether a key opened at the predefined root shows the value that was
// written through the scratch key.
bool LeadsTo(HKEY predefined, HKEY scratch, DWORD token)
{
    if (RegSetValueExW(scratch, ProbeValueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&token),
                       sizeof(token)) != ERROR_SUCCESS)
        return false;
    DWORD seen = 0;
    DWORD size = sizeof(seen);
    bool found = RegQueryValueExW(predefined, ProbeValueName, nullptr, nullptr, reinterpret_cast<BYTE*>(&seen),
                                  &size) == ERROR_SUCCESS;
    RegDeleteValueW(scratch, ProbeValueName);
    return found && seen == token;
}

}  // namespace

bool RunHostProgram(const std::wstring& folder, std::wstring commandLine)
{
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

std::string UnixPathOf(const std::wstring& path)
{
    typedef char*(CDECL * UnixFileName)(const wchar_t*);
    UnixFileName unixFileName = reinterpret_cast<UnixFileName>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    char* name = unixFileName != nullptr ? unixFileName(path.c_str()) : nullptr;
    if (name == nullptr)
        return "";
    std::string unixPath(name);
    HeapFree(GetProcessHeap(), 0, name);
    return unixPath;
}

ScratchFolder::ScratchFolder()
{
    wchar_t temporary[MAX_PATH];
    DWORD length = GetTempPathW(MAX_PATH, temporary);
    if (length == 0 || length >= MAX_PATH)
        return;
    for (int attempt = 0; attempt < 100; attempt++) {
        std::wstring candidate = std::wstring(temporary) + L"Quarrix Lab " + std::to_wstring(GetCurrentProcessId()) +
                                 L"-" + std::to_wstring(attempt) + L"\\";
        // Only a folder made here and now is ours to fill and delete.
        if (CreateDirectoryW(candidate.c_str(), nullptr)) {
            path = candidate;
            return;
        }
    }
}

// A program started from the folder may still be on its way out and hold
// its file: the deletion is tried again for a while.
ScratchFolder::~ScratchFolder()
{
    for (int attempt = 0; attempt < 100 && !path.empty() && !IsGone(path); attempt++) {
        if (attempt > 0)
            Sleep(50);
        DeleteTree(path);
    }
}

void DeleteTree(const std::wstring& folder)
{
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = entry.cFileName;
            if (name == L"." || name == L"..")
                continue;
            bool directory = (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            if (directory && (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
                RemoveDirectoryLink(folder, name);
            else if (directory)
                DeleteTree(folder + name + L"\\");
            else
                DeleteFileW((folder + name).c_str());
        } while (FindNextFileW(search, &entry));
        FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
}

bool MakeLinkToParent(const std::wstring& folder, const std::wstring& name)
{
    std::wstring parent = folder.substr(0, folder.rfind(L'\\', folder.size() - 2) + 1);
    if (MakeJunction(folder + name, parent))
        return true;
    return RunHostProgram(folder, L"\"Z:\\usr\\bin\\ln\" -s .. \"" + name + L"\"") &&
           WaitUntil(IsDirectoryLink, folder + name);
}

ScratchRegistry::ScratchRegistry()
{
    root = std::wstring(SuiteKeyName) + L"\\Scratch " + std::to_wstring(GetCurrentProcessId());
    // A key left by an earlier run of the same number is the suite's own.
    SHDeleteKeyW(HKEY_CURRENT_USER, root.c_str());
    DWORD userMade = 0;
    DWORD machineMade = 0;
    RegCreateKeyExW(HKEY_CURRENT_USER, (root + L"\\user").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                    &userMade);
    RegCreateKeyExW(HKEY_CURRENT_USER, (root + L"\\machine").c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                    &machine, &machineMade);
    // Keys that were not made here and now are not redirected to.
    if (userMade != REG_CREATED_NEW_KEY || machineMade != REG_CREATED_NEW_KEY) {
        RegCloseKey(user);
        RegCloseKey(machine);
        user = machine = nullptr;
    }
}

bool ScratchRegistry::Redirect()
{
    if (user == nullptr || machine == nullptr)
        return false;
    if (RegOverridePredefKey(HKEY_CURRENT_USER, user) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_LOCAL_MACHINE, machine) != ERROR_SUCCESS)
        return false;
    DWORD token = GetTickCount() ^ GetCurrentProcessId();
    return LeadsTo(HKEY_CURRENT_USER, user, token) && LeadsTo(HKEY_LOCAL_MACHINE, machine, token + 1);
}

ScratchRegistry::~ScratchRegistry()
{
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (user != nullptr)
        RegCloseKey(user);
    if (machine != nullptr)
        RegCloseKey(machine);
    SHDeleteKeyW(HKEY_CURRENT_USER, root.c_str());
}
