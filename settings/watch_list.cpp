// The servers the player watches.
#include "settings/watch_list.h"

#include <stdio.h>
#include <stdlib.h>

#include "settings/address_list.h"

namespace {

// The longest line: "255.255.255.255:65535 64".
const int WatchLineSize = 32;

// Reads a whole number of 1 to 64 that fills the text.
bool ReadPlayers(const wchar_t* text, int* players)
{
    int value = 0;
    int digits = 0;
    for (; *text >= L'0' && *text <= L'9' && digits < 3; text++, digits++)
        value = value * 10 + (*text - L'0');
    if (digits == 0 || *text != L'\0' || value < 1 || value > 64)
        return false;
    *players = value;
    return true;
}

// One line, "<a.b.c.d:port> <players>"; false when it is not one.
bool ReadWatchLine(const wchar_t* line, WatchedServer* server)
{
    const wchar_t* space = wcschr(line, L' ');
    if (space == nullptr || space - line >= TypedAddressSize)
        return false;
    wchar_t address[TypedAddressSize];
    lstrcpynW(address, line, static_cast<int>(space - line) + 1);
    char host[HostNameSize];
    *server = {};
    return address[0] != L'\0' && SplitAddress(address, 0, host, &server->port) && server->port != 0 &&
           ReadDottedAddress(host, &server->address) && ReadPlayers(space + 1, &server->players);
}

}  // namespace

void ReadWatchedServers(const wchar_t* text, int length)
{
    WatchedServerCount = 0;
    int start = 0;
    while (start < length && WatchedServerCount < MaxWatchedServers) {
        int end = start;
        while (end < length && text[end] != L'\0' && text[end] != L'\r' && text[end] != L'\n')
            end++;
        if (end > start) {
            wchar_t line[WatchLineSize];
            WatchedServer server;
            if (end - start >= WatchLineSize)
                return;
            lstrcpynW(line, text + start, end - start + 1);
            if (!ReadWatchLine(line, &server))
                return;
            if (FindWatchedServer(server.address, server.port) == -1)
                WatchedServers[WatchedServerCount++] = server;
        }
        start = end + 1;
    }
}

wchar_t* JoinWatchedServers(int* length)
{
    wchar_t* text = static_cast<wchar_t*>(malloc((WatchedServerCount * WatchLineSize + 2) * sizeof(wchar_t)));
    if (text == nullptr)
        return nullptr;
    int used = 0;
    for (int index = 0; index < WatchedServerCount; index++) {
        const WatchedServer& server = WatchedServers[index];
        const BYTE* octets = reinterpret_cast<const BYTE*>(&server.address);
        used += _snwprintf(text + used, WatchLineSize, L"%d.%d.%d.%d:%d %d", octets[0], octets[1], octets[2],
                           octets[3], server.port, server.players);
        text[used++] = L'\0';
    }
    text[used] = L'\0';
    *length = used;
    return text;
}

int FindWatchedServer(DWORD address, WORD port)
{
    for (int index = 0; index < WatchedServerCount; index++) {
        if (WatchedServers[index].address == address && WatchedServers[index].port == port)
            return index;
    }
    return -1;
}

bool WatchServer(DWORD address, WORD port, int players)
{
    int index = FindWatchedServer(address, port);
    if (index == -1) {
        if (WatchedServerCount == MaxWatchedServers)
            return false;
        index = WatchedServerCount++;
        WatchedServers[index] = {address, port, players, false};
        return true;
    }
    WatchedServers[index].players = players;
    WatchedServers[index].told = false;
    return true;
}

void KeepWatchedServers(const int* kept, int count)
{
    WatchedServer previous[MaxWatchedServers];
    int previousCount = WatchedServerCount;
    CopyMemory(previous, WatchedServers, previousCount * sizeof(WatchedServer));
    bool taken[MaxWatchedServers] = {};
    WatchedServerCount = 0;
    for (int index = 0; index < count; index++) {
        int watch = kept[index];
        if (watch < 0 || watch >= previousCount || taken[watch])
            continue;
        taken[watch] = true;
        WatchedServers[WatchedServerCount++] = previous[watch];
    }
}
