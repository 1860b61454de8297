// The browser as the opener of quarrix:// links.
#include "settings/link_registration.h"

#include <wchar.h>

#include "engine/status_text.h"
#include "settings/settings_store.h"

const wchar_t* LinkClassKey = L"Software\\Classes\\quarrix";

namespace {

const int CommandSize = PathSize + 16;
// The moved opener the player was last asked about.
const wchar_t MovedOpenerValue[] = L"Moved Link Opener";

void ThisProgram(wchar_t program[PathSize])
{
    DWORD length = GetModuleFileNameW(nullptr, program, PathSize);
    if (length == 0 || length >= PathSize)
        program[0] = L'\0';
}

bool WriteText(HKEY root, const wchar_t* path, const wchar_t* name, const wchar_t* text)
{
    HKEY key;
    if (RegCreateKeyExW(root, path, 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return false;
    bool written = RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                  static_cast<DWORD>((lstrlenW(text) + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

// The program the entry's command starts: its first, quoted word; empty
// when there is no entry or it is not one of ours.
void RegisteredProgram(wchar_t program[PathSize])
{
    program[0] = L'\0';
    wchar_t path[PathSize + 32];
    FormatText(path, PathSize + 32, L"%s\\shell\\open\\command", LinkClassKey);
    HKEY key;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    wchar_t command[CommandSize] = L"";
    DWORD type = REG_NONE;
    DWORD size = (CommandSize - 1) * sizeof(wchar_t);
    LONG read = RegQueryValueExW(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(command), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ || command[0] != L'"')
        return;
    command[size / sizeof(wchar_t) < CommandSize ? size / sizeof(wchar_t) : CommandSize - 1] = L'\0';
    wchar_t* end = wcschr(command + 1, L'"');
    if (end == nullptr || end - command - 1 >= PathSize)
        return;
    *end = L'\0';
    lstrcpynW(program, command + 1, PathSize);
}

}  // namespace

LinkOpener WhoOpensLinks(wchar_t program[PathSize])
{
    RegisteredProgram(program);
    if (program[0] == L'\0')
        return LinksOpenNothing;
    wchar_t self[PathSize];
    ThisProgram(self);
    return lstrcmpiW(program, self) == 0 ? LinksOpenThisCopy : LinksOpenAnother;
}

bool RegisterLinks()
{
    wchar_t self[PathSize];
    ThisProgram(self);
    if (self[0] == L'\0')
        return false;
    wchar_t command[CommandSize];
    FormatText(command, CommandSize, L"\"%s\" \"%%1\"", self);
    wchar_t icon[CommandSize];
    FormatText(icon, CommandSize, L"\"%s\",0", self);
    wchar_t path[PathSize + 32];
    bool written = WriteText(HKEY_CURRENT_USER, LinkClassKey, nullptr, L"URL:Quarrix join link") &&
                   WriteText(HKEY_CURRENT_USER, LinkClassKey, L"URL Protocol", L"");
    FormatText(path, PathSize + 32, L"%s\\DefaultIcon", LinkClassKey);
    written = written && WriteText(HKEY_CURRENT_USER, path, nullptr, icon);
    FormatText(path, PathSize + 32, L"%s\\shell\\open\\command", LinkClassKey);
    return written && WriteText(HKEY_CURRENT_USER, path, nullptr, command);
}

void UnregisterLinks()
{
    wchar_t program[PathSize];
    if (WhoOpensLinks(program) != LinksOpenThisCopy)
        return;
    // The keys RegisterLinks makes, the deepest first.
    const wchar_t* below[] = {L"\\shell\\open\\command", L"\\shell\\open", L"\\shell", L"\\DefaultIcon", L""};
    for (const wchar_t* part : below) {
        wchar_t path[PathSize + 32];
        FormatText(path, PathSize + 32, L"%s%s", LinkClassKey, part);
        RegDeleteKeyW(HKEY_CURRENT_USER, path);
    }
}

bool LinksOpenAMovedCopy(wchar_t program[PathSize])
{
    if (WhoOpensLinks(program) != LinksOpenAnother || GetFileAttributesW(program) != INVALID_FILE_ATTRIBUTES)
        return false;
    // Asked once, not at every start.
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SettingsKeyName, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    wchar_t asked[PathSize] = L"";
    DWORD type = REG_NONE;
    DWORD size = (PathSize - 1) * sizeof(wchar_t);
    bool before = RegQueryValueExW(key, MovedOpenerValue, nullptr, &type, reinterpret_cast<BYTE*>(asked), &size) ==
                      ERROR_SUCCESS &&
                  type == REG_SZ && lstrcmpiW(asked, program) == 0;
    if (!before)
        RegSetValueExW(key, MovedOpenerValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(program),
                       static_cast<DWORD>((lstrlenW(program) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
    return !before;
}
