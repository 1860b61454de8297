// The player's favourite servers in the window.
#include <winsock2.h>

#include "ui/favourites.h"

#include <commctrl.h>

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "ui/main_window.h"
#include "ui/player_list.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

// Whether a favourite leads to this server: where an update or the player
// found it, or the address its text names.
bool LeadsTo(const AddressEntry& favourite, DWORD address, WORD port)
{
    if (favourite.address != 0)
        return favourite.address == address && favourite.port == port;
    char host[HostNameSize];
    WORD typedPort;
    DWORD typedAddress;
    return SplitAddress(favourite.text, DefaultServerPort, host, &typedPort) &&
           ReadDottedAddress(host, &typedAddress) && typedAddress == address && typedPort == port;
}

int FavouriteLeadingTo(DWORD address, WORD port)
{
    for (int index = 0; index < FavouriteServers.count; index++) {
        if (LeadsTo(FavouriteServers.entries[index], address, port))
            return index;
    }
    return -1;
}

void RedrawRecordRow(int recordIndex)
{
    int row = RowOfRecord(recordIndex);
    if (row != -1)
        SendMessageW(ServerList, LVM_REDRAWITEMS, row, row);
}

// A server that is not in the table yet gets a record of its own: the table
// may grow only while nothing else works on it.
int RecordForServer(DWORD address, WORD port)
{
    int index = FindServerRecord(address, port);
    if (index != -1 || !TableAtRest())
        return index;
    index = AppendServerRecord(address, port);
    // The player list points into the table, which has moved.
    FillPlayerList();
    return index;
}

}  // namespace

void ToggleFavourite(LPARAM recordIndex)
{
    if (!IsRecordIndex(recordIndex))
        return;
    ServerRecord& record = ServerTable.records[recordIndex];
    if (record.favourite) {
        for (int index = FavouriteServers.count - 1; index >= 0; index--) {
            if (LeadsTo(FavouriteServers.entries[index], record.address, record.port))
                RemoveAddressEntry(&FavouriteServers, index);
        }
        record.favourite = 0;
    } else {
        wchar_t text[ServerAddressTextSize];
        FormatServerAddress(record.address, record.port, text, ServerAddressTextSize);
        if (!AppendAddressEntry(&FavouriteServers, text, MaxFavouriteServers)) {
            StatusMessage(L"No room for more favourites.");
            return;
        }
        FavouriteServers.entries[FavouriteServers.count - 1].address = record.address;
        FavouriteServers.entries[FavouriteServers.count - 1].port = record.port;
        record.favourite = 1;
    }
    SaveServerLists();
    RedrawRecordRow(static_cast<int>(recordIndex));
}

void AddFavouriteServer(const wchar_t* text, DWORD address, WORD port)
{
    if (FindAddressEntry(FavouriteServers, text) != -1 || FavouriteLeadingTo(address, port) != -1) {
        StatusMessage(L"%s is a favourite already.", text);
        return;
    }
    if (!AppendAddressEntry(&FavouriteServers, text, MaxFavouriteServers)) {
        StatusMessage(L"No room for more favourites.");
        return;
    }
    FavouriteServers.entries[FavouriteServers.count - 1].address = address;
    FavouriteServers.entries[FavouriteServers.count - 1].port = port;
    SaveServerLists();

    int index = RecordForServer(address, port);
    if (index != -1) {
        ServerTable.records[index].favourite = 1;
        RedrawRecordRow(index);
    }
    if (index == -1 || !StartServerRefresh(index, RefreshAdded))
        StatusMessage(L"%s is a favourite: the next update queries it.", text);
}

void TakeFavouriteAddresses(const AddressList* found)
{
    for (int index = 0; index < found->count; index++) {
        int favourite = FindAddressEntry(FavouriteServers, found->entries[index].text);
        if (favourite == -1)
            continue;
        FavouriteServers.entries[favourite].address = found->entries[index].address;
        FavouriteServers.entries[favourite].port = found->entries[index].port;
    }
}

void NoteFavouriteAddresses(const AddressList* favourites)
{
    SendMessageW(MainWindow, WM_NOTE_FAVOURITE_ADDRESSES, 0, reinterpret_cast<LPARAM>(favourites));
}

namespace {

// The line that a favourite did not answer outstays its truth once the
// player has taken that favourite out: it is replaced by what is true now.
void RetractNoReplyLine()
{
    const wchar_t Opening[] = L"No reply from ";
    const int OpeningLength = sizeof(Opening) / sizeof(Opening[0]) - 1;
    wchar_t line[StatusTextSize] = L"";
    ReadStatusText(line, StatusTextSize);
    wchar_t* end = wcsstr(line, L". It is kept as a favourite");
    if (wcsncmp(line, Opening, OpeningLength) != 0 || end == nullptr)
        return;
    *end = L'\0';
    const wchar_t* server = line + OpeningLength;
    char host[HostNameSize];
    WORD port;
    DWORD address;
    if (SplitAddress(server, DefaultServerPort, host, &port) && ReadDottedAddress(host, &address) &&
        FavouriteLeadingTo(address, port) == -1)
        StatusMessage(L"%s is no longer a favourite.", server);
}

}  // namespace

void TakeEditedFavourites(const wchar_t* text, int length)
{
    AddressList previous = {};
    CopyAddressList(&previous, FavouriteServers);
    ReadAddressEntries(&FavouriteServers, text, length, DefaultServerPort, MaxFavouriteServers);
    for (int index = 0; index < FavouriteServers.count; index++) {
        AddressEntry& entry = FavouriteServers.entries[index];
        int kept = FindAddressEntry(previous, entry.text);
        if (kept != -1) {
            entry.address = previous.entries[kept].address;
            entry.port = previous.entries[kept].port;
        }
    }
    ClearAddressList(&previous);
    for (int index = 0; index < ServerTable.count; index++) {
        ServerRecord& record = ServerTable.records[index];
        record.favourite = FavouriteLeadingTo(record.address, record.port) != -1;
    }
    RetractNoReplyLine();
}
