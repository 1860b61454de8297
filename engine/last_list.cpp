// The last list of game servers, kept in a file.
#include <winsock2.h>

#include "engine/last_list.h"

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "engine/status_text.h"

wchar_t LastListPath[PathSize];

namespace {

// "255.255.255.255:65535" and a line end; with the unanswered count's line
// before it.
const int LineSize = 24;
const int CountedLineSize = 48;
const char UnansweredMark[] = "# unanswered ";
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
bool ReadServerLine(const char* line, KeptServer* server)
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
    server->unanswered = 0;
    return true;
}

// The count of a "# unanswered N" line, or 0 for any other line.
WORD ReadUnansweredLine(const char* line)
{
    if (strncmp(line, UnansweredMark, sizeof(UnansweredMark) - 1) != 0)
        return 0;
    int count = atoi(line + sizeof(UnansweredMark) - 1);
    return static_cast<WORD>(count > 0 && count < MaxUnansweredSweeps ? count : 0);
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

bool SaveLastList(const KeptServer* servers, int count)
{
    // The new file's longer name must fit as well, or nothing can be saved.
    if (LastListPath[0] == L'\0' || count <= 0 || lstrlenW(LastListPath) + lstrlenW(NewFileSuffix) >= PathSize)
        return false;
    if (count > MaxLastListServers)
        count = MaxLastListServers;
    char* text = static_cast<char*>(malloc(count * CountedLineSize + 1));
    if (text == nullptr)
        return false;
    int length = 0;
    for (int index = 0; index < count; index++) {
        if (servers[index].unanswered > 0)
            length += snprintf(text + length, LineSize + 1, "%s%u\r\n", UnansweredMark, servers[index].unanswered);
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

int LoadLastList(KeptServer** servers)
{
    *servers = nullptr;
    DWORD length = 0;
    bool whole = false;
    char* text = LastListPath[0] != L'\0' ? ReadFileStart(&length, &whole) : nullptr;
    if (text == nullptr)
        return 0;
    KeptServer* list = static_cast<KeptServer*>(malloc(MaxLastListServers * sizeof(KeptServer)));
    int count = 0;
    WORD unanswered = 0;  // from the line before
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
        bool plain = end - line < LineSize && strlen(line) == static_cast<size_t>(end - line);
        if (plain && ReadServerLine(line, &list[count])) {
            list[count++].unanswered = unanswered;
            unanswered = 0;
        } else {
            unanswered = plain ? ReadUnansweredLine(line) : 0;
        }
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

namespace {

// A record the sweep asked, found by address and port.
struct AskedServer {
    DWORD address;
    WORD port;
    bool answered;
};

int CompareAsked(const void* left, const void* right)
{
    const AskedServer* one = static_cast<const AskedServer*>(left);
    const AskedServer* other = static_cast<const AskedServer*>(right);
    if (one->address != other->address)
        return one->address < other->address ? -1 : 1;
    return one->port < other->port ? -1 : one->port > other->port ? 1 : 0;
}

// The records the sweep asked, sorted for searching; null when none.
AskedServer* SortAskedServers(const ServerRecord* records, int count, int* askedCount)
{
    AskedServer* asked = static_cast<AskedServer*>(malloc((count > 0 ? count : 1) * sizeof(AskedServer)));
    *askedCount = 0;
    for (int index = 0; asked != nullptr && index < count; index++) {
        if (records[index].attempts > 0)
            asked[(*askedCount)++] = {records[index].address, records[index].port, records[index].responded != 0};
    }
    if (asked != nullptr)
        qsort(asked, *askedCount, sizeof(AskedServer), CompareAsked);
    return asked;
}

}  // namespace

bool AgeLastList(const ServerRecord* records, int count)
{
    KeptServer* kept = nullptr;
    int keptCount = LoadLastList(&kept);
    int askedCount = 0;
    AskedServer* asked = keptCount > 0 ? SortAskedServers(records, count, &askedCount) : nullptr;
    int staying = 0;
    bool changed = false;
    for (int index = 0; asked != nullptr && index < keptCount; index++) {
        KeptServer server = kept[index];
        AskedServer key = {server.address, server.port, false};
        const AskedServer* found =
            static_cast<const AskedServer*>(bsearch(&key, asked, askedCount, sizeof(AskedServer), CompareAsked));
        WORD unanswered = found == nullptr ? server.unanswered : found->answered ? 0 : server.unanswered + 1;
        changed = changed || unanswered != server.unanswered;
        server.unanswered = unanswered;
        if (unanswered < MaxUnansweredSweeps)
            kept[staying++] = server;
    }
    bool saved = !changed || (staying > 0 ? SaveLastList(kept, staying) : DeleteFileW(LastListPath) != FALSE);
    free(asked);
    free(kept);
    return saved;
}
