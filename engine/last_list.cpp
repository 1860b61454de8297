// The last list of game servers, kept in a file.
#include <winsock2.h>

#include "engine/last_list.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/status_text.h"

wchar_t LastListPath[PathSize];

namespace {

// "255.255.255.255:65535" and a line end.
const int LineSize = 24;
const wchar_t NewFileSuffix[] = L".new";

void MakeFolders(const wchar_t* path)
{
    wchar_t folder[PathSize];
    for (int index = 0; path[index] != L'\0' && index < PathSize - 1; index++) {
        if (path[index] == L'\\' && index > 0 && path[index - 1] != L':') {
            lstrcpynW(folder, path, index + 1);
            CreateDirectoryW(folder, nullptr);
        }
    }
}

bool WriteWhole(const wchar_t* path, const char* text, DWORD length)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    bool whole = WriteFile(file, text, length, &written, nullptr) && written == length && FlushFileBuffers(file);
    CloseHandle(file);
    return whole;
}

// "a.b.c.d:port" with a port of 1 to 65535, and nothing else.
bool ReadServerLine(const char* line, ServerAddress* server)
{
    wchar_t text[LineSize] = L"";
    for (int index = 0; line[index] != '\0' && index < LineSize - 1; index++)
        text[index] = static_cast<unsigned char>(line[index]);
    // Without a port the entry gets port 0, which no server has.
    char host[HostNameSize];
    WORD port = 0;
    if (!SplitAddress(text, 0, host, &port) || port == 0 || !ReadDottedAddress(host, &server->address))
        return false;
    server->port = port;
    server->favourite = 0;
    return true;
}

// Reads at most the limit; `whole` tells whether that was the whole file.
char* ReadFileStart(DWORD* length, bool* whole)
{
    HANDLE file = CreateFileW(LastListPath, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    char* text = static_cast<char*>(malloc(LastListReadLimit + 1));
    DWORD read = 0;
    if (text == nullptr || !ReadFile(file, text, LastListReadLimit, &read, nullptr)) {
        free(text);
        CloseHandle(file);
        return nullptr;
    }
    char probe;
    DWORD beyond = 0;
    *whole = read < LastListReadLimit || !ReadFile(file, &probe, 1, &beyond, nullptr) || beyond == 0;
    CloseHandle(file);
    text[read] = '\0';
    *length = read;
    return text;
}

}  // namespace

bool SaveLastList(const ServerAddress* servers, int count)
{
    // The new file's longer name must fit as well, or nothing can be saved.
    if (LastListPath[0] == L'\0' || count <= 0 || lstrlenW(LastListPath) + lstrlenW(NewFileSuffix) >= PathSize)
        return false;
    if (count > MaxLastListServers)
        count = MaxLastListServers;
    char* text = static_cast<char*>(malloc(count * LineSize + 1));
    if (text == nullptr)
        return false;
    int length = 0;
    for (int index = 0; index < count; index++) {
        in_addr address;
        address.s_addr = servers[index].address;
        length += snprintf(text + length, LineSize + 1, "%s:%u\r\n", inet_ntoa(address), servers[index].port);
    }
    wchar_t newPath[PathSize];
    FormatText(newPath, PathSize, L"%s%s", LastListPath, NewFileSuffix);
    MakeFolders(LastListPath);
    bool saved = WriteWhole(newPath, text, length) &&
                 MoveFileExW(newPath, LastListPath, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
    if (!saved)
        DeleteFileW(newPath);
    free(text);
    return saved;
}

int LoadLastList(ServerAddress** servers)
{
    *servers = nullptr;
    DWORD length = 0;
    bool whole = false;
    char* text = LastListPath[0] != L'\0' ? ReadFileStart(&length, &whole) : nullptr;
    if (text == nullptr)
        return 0;
    ServerAddress* list = static_cast<ServerAddress*>(malloc(MaxLastListServers * sizeof(ServerAddress)));
    int count = 0;
    char* line = text;
    while (list != nullptr && count < MaxLastListServers && line < text + length) {
        char* end = static_cast<char*>(memchr(line, '\n', text + length - line));
        // A line cut by the read limit is not read.
        if (end == nullptr && !whole)
            break;
        char* next = end != nullptr ? end + 1 : text + length;
        if (end == nullptr)
            end = text + length;
        if (end > line && end[-1] == '\r')
            end--;
        *end = '\0';
        // A NUL inside the line makes it no address.
        if (end - line < LineSize && strlen(line) == static_cast<size_t>(end - line) &&
            ReadServerLine(line, &list[count]))
            count++;
        line = next;
    }
    free(text);
    if (count == 0) {
        free(list);
        return 0;
    }
    *servers = list;
    return count;
}
