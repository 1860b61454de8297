// The places Quake II is usually installed in.
#include "launcher/known_places.h"

#include <stdlib.h>

#include "engine/status_text.h"
#include "launcher/folder_picker.h"
#include "launcher/game_launcher.h"

namespace {

// A real libraryfolders.vdf is a few KiB; more is not read.
const DWORD LibraryFileLimit = 256 * 1024;
// Blocks nest two deep in a real file.
const int VdfDepthLimit = 16;
const int VdfTokenSize = PathSize * 2;

// The places found so far, each once.
struct PlaceList {
    wchar_t (*places)[PathSize];
    int count;
};

void AddPlace(PlaceList* list, const wchar_t* folder, const wchar_t* below)
{
    if (list->count >= MaxKnownPlaces || folder[0] == L'\0')
        return;
    wchar_t place[PathSize];
    JoinFolderPath(folder, below, place, PathSize);
    // A path cut to fit names another folder.
    if (lstrlenW(place) >= PathSize - 1)
        return;
    for (int index = 0; index < list->count; index++) {
        if (lstrcmpiW(list->places[index], place) == 0)
            return;
    }
    lstrcpynW(list->places[list->count++], place, PathSize);
}

// A text value of at most a path's length, terminated whatever is stored;
// one that names environment variables is expanded, and given up when its
// expansion does not fit.
bool ReadTextValue(HKEY key, const wchar_t* name, wchar_t text[PathSize])
{
    DWORD type = REG_NONE;
    DWORD size = (PathSize - 1) * sizeof(wchar_t);
    text[0] = L'\0';
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ)) {
        text[0] = L'\0';
        return false;
    }
    text[size / sizeof(wchar_t) < PathSize ? size / sizeof(wchar_t) : PathSize - 1] = L'\0';
    if (type == REG_EXPAND_SZ) {
        wchar_t expanded[PathSize];
        DWORD length = ExpandEnvironmentStringsW(text, expanded, PathSize);
        lstrcpynW(text, length > 0 && length <= PathSize ? expanded : L"", PathSize);
    }
    return text[0] != L'\0';
}

bool ReadKeyText(HKEY root, const wchar_t* path, const wchar_t* name, wchar_t text[PathSize])
{
    HKEY key;
    if (RegOpenKeyExW(root, path, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS)
        return false;
    bool read = ReadTextValue(key, name, text);
    RegCloseKey(key);
    return read;
}

// The library list, at most LibraryFileLimit bytes of it; null when none.
char* ReadLibraryFile(const wchar_t* path, DWORD* length)
{
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    char* text = static_cast<char*>(malloc(LibraryFileLimit));
    *length = 0;
    if (text != nullptr && !ReadFile(file, text, LibraryFileLimit, length, nullptr))
        *length = 0;
    CloseHandle(file);
    return text;
}

// A store may list any number of folders: only those that hold the game
// take a place, so that the fixed places after them keep theirs.
void AddStorePlace(PlaceList* list, const wchar_t* folder, const wchar_t* below, const wchar_t* executable)
{
    wchar_t place[PathSize];
    JoinFolderPath(folder, below, place, PathSize);
    if (lstrlenW(place) < PathSize - 1 && FolderHoldsGame(place, executable))
        AddPlace(list, place, L"");
}

void AddSteamPlaces(PlaceList* list, const wchar_t* executable)
{
    wchar_t steam[PathSize];
    if (!ReadKeyText(HKEY_CURRENT_USER, L"Software\\Valve\\Steam", L"SteamPath", steam))
        return;
    // Steam writes its path with forward slashes.
    for (wchar_t* character = steam; *character != L'\0'; character++) {
        if (*character == L'/')
            *character = L'\\';
    }
    AddStorePlace(list, steam, L"steamapps\\common\\Quake 2\\", executable);
    wchar_t path[PathSize];
    FormatText(path, PathSize, L"%s\\steamapps\\libraryfolders.vdf", steam);
    DWORD length = 0;
    char* text = ReadLibraryFile(path, &length);
    if (text == nullptr)
        return;
    wchar_t libraries[MaxKnownPlaces][PathSize];
    int count = ReadSteamLibraries(text, static_cast<int>(length), libraries, MaxKnownPlaces);
    free(text);
    for (int index = 0; index < count; index++)
        AddStorePlace(list, libraries[index], L"steamapps\\common\\Quake 2\\", executable);
}

void AddGogPlaces(PlaceList* list, const wchar_t* executable)
{
    HKEY games;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\GOG.com\\Games", 0, KEY_READ | KEY_WOW64_32KEY, &games) !=
        ERROR_SUCCESS)
        return;
    // A key name too long for the platform's limit is passed over, not the
    // end of the list.
    const DWORD NameSize = 256;
    wchar_t name[NameSize];
    for (DWORD index = 0; list->count < MaxKnownPlaces; index++) {
        DWORD nameSize = NameSize;
        LONG result = RegEnumKeyExW(games, index, name, &nameSize, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_MORE_DATA)
            continue;
        if (result != ERROR_SUCCESS)
            break;
        wchar_t path[PathSize];
        if (ReadKeyText(games, name, L"path", path))
            AddStorePlace(list, path, L"", executable);
    }
    RegCloseKey(games);
}

// The App Paths entry's "Path", or the folder of its default value.
void AddAppPathsPlace(PlaceList* list, const wchar_t* executable)
{
    wchar_t key[PathSize];
    FormatText(key, PathSize, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\%s", executable);
    wchar_t folder[PathSize];
    if (ReadKeyText(HKEY_LOCAL_MACHINE, key, L"Path", folder)) {
        AddPlace(list, folder, L"");
        return;
    }
    if (!ReadKeyText(HKEY_LOCAL_MACHINE, key, nullptr, folder))
        return;
    // The default value may come in quotes.
    wchar_t* start = folder[0] == L'"' ? folder + 1 : folder;
    wchar_t* slash = wcsrchr(start, L'\\');
    if (slash == nullptr)
        return;
    slash[1] = L'\0';
    AddPlace(list, start, L"");
}

void AddCommonPlaces(PlaceList* list)
{
    wchar_t root[PathSize];
    FormDriveRoot(L'C', root, PathSize);
    AddPlace(list, root, L"Quake2\\");
    AddPlace(list, root, L"Games\\Quake2\\");
    const wchar_t* programFolders[] = {L"ProgramFiles", L"ProgramFiles(x86)", L"ProgramW6432"};
    for (const wchar_t* variable : programFolders) {
        wchar_t folder[PathSize];
        DWORD length = GetEnvironmentVariableW(variable, folder, PathSize);
        if (length == 0 || length >= PathSize)
            continue;
        AddPlace(list, folder, L"Quake 2\\");
        AddPlace(list, folder, L"Quake II\\");
    }
}

// Valve's text format, as a stream of tokens: quoted strings (with \\ and
// \" escapes), bare words, braces; "//" comments run to the line's end.
struct VdfReader {
    const char* text;
    int length;
    int at;
};

enum VdfToken { VdfEnd, VdfOpen, VdfClose, VdfString };

VdfToken NextVdfToken(VdfReader* reader, char token[VdfTokenSize])
{
    for (;;) {
        while (reader->at < reader->length && static_cast<unsigned char>(reader->text[reader->at]) <= ' ')
            reader->at++;
        if (reader->at + 1 < reader->length && reader->text[reader->at] == '/' &&
            reader->text[reader->at + 1] == '/') {
            while (reader->at < reader->length && reader->text[reader->at] != '\n')
                reader->at++;
            continue;
        }
        break;
    }
    if (reader->at >= reader->length)
        return VdfEnd;
    char first = reader->text[reader->at];
    if (first == '{' || first == '}') {
        reader->at++;
        return first == '{' ? VdfOpen : VdfClose;
    }
    int used = 0;
    bool quoted = first == '"';
    if (quoted)
        reader->at++;
    while (reader->at < reader->length) {
        char character = reader->text[reader->at];
        if (quoted ? character == '"' : (static_cast<unsigned char>(character) <= ' ' || character == '{' ||
                                         character == '}' || character == '"'))
            break;
        if (quoted && character == '\\' && reader->at + 1 < reader->length)
            character = reader->text[++reader->at];
        if (used < VdfTokenSize - 1)
            token[used++] = character;
        reader->at++;
    }
    if (quoted && reader->at < reader->length)
        reader->at++;
    token[used] = '\0';
    return VdfString;
}

bool IsNumber(const char* text)
{
    if (*text == '\0')
        return false;
    for (; *text != '\0'; text++) {
        if (*text < '0' || *text > '9')
            return false;
    }
    return true;
}

}  // namespace

int ReadSteamLibraries(const char* text, int length, wchar_t (*libraries)[PathSize], int limit)
{
    VdfReader reader = {text, length, 0};
    char key[VdfTokenSize] = "";
    char token[VdfTokenSize];
    bool haveKey = false;
    int depth = 0;
    int count = 0;
    for (VdfToken kind; count < limit && (kind = NextVdfToken(&reader, token)) != VdfEnd;) {
        if (kind == VdfOpen) {
            // A block's key is spent; a file nested deeper than a real one is not one.
            if (++depth > VdfDepthLimit)
                return 0;
            haveKey = false;
        } else if (kind == VdfClose) {
            depth = depth > 0 ? depth - 1 : 0;
            haveKey = false;
        } else if (!haveKey) {
            lstrcpynA(key, token, VdfTokenSize);
            haveKey = true;
        } else {
            // A value: a library when its key is "path", or, in older files, a
            // number right inside "libraryfolders".
            bool library = lstrcmpiA(key, "path") == 0 || (depth == 1 && IsNumber(key));
            if (library && token[0] != '\0' &&
                MultiByteToWideChar(CP_UTF8, 0, token, -1, libraries[count], PathSize) > 0)
                count++;
            haveKey = false;
        }
    }
    // Stopped at the limit, the file was sound as far as it was read.
    return depth == 0 || count == limit ? count : 0;
}

int ListKnownPlaces(const wchar_t* executable, wchar_t places[MaxKnownPlaces][PathSize])
{
    PlaceList list = {places, 0};
    AddSteamPlaces(&list, executable);
    AddGogPlaces(&list, executable);
    AddAppPathsPlace(&list, executable);
    AddCommonPlaces(&list);
    return list.count;
}
