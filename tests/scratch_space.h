// Scratch space of the tests' own: registry keys and folders that a test has
// made itself and checked, so that no test ever touches the user's.
#pragma once

#include <windows.h>

#include <string>

// Every registry key of the tests and of the lab copy of the program lies
// below this one, in the current user's hive.
extern const wchar_t SuiteKeyName[];

// A new, empty folder in the temporary folder, made by this object, and
// deleted with everything in it when the object goes. `path` ends with a
// backslash; it is empty when no new folder could be made.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::wstring path;
};

// Deletes a folder (ending with a backslash) and everything in it; directory
// links are removed, never followed. Under Wine a host's link to a file shows
// as a file, and deleting it deletes its target: tests make none.
void DeleteTree(const std::wstring& folder);

// Makes `folder` + `name` a directory link to the parent of `folder`: a
// junction on Windows; under Wine, which cannot make one, a symbolic link of
// the host, which Wine shows as a directory link.
bool MakeLinkToParent(const std::wstring& folder, const std::wstring& name);

// Runs a program of the host in `folder` (Wine starts a host program with the
// arguments and the current directory it is given). Its process handle does
// not follow the host program: callers wait for what it does.
bool RunHostProgram(const std::wstring& folder, std::wstring commandLine);

// The host's path of a file under Wine, or an empty text elsewhere.
std::string UnixPathOf(const std::wstring& path);

// Points HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE at new, empty keys of this
// process's own below SuiteKeyName for as long as it lives, and deletes them
// afterwards.
class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // Points the predefined keys at the scratch keys again; true only when
    // both are seen to lead there.
    bool Redirect();

private:
    HKEY user = nullptr;
    HKEY machine = nullptr;
    std::wstring root;
};
