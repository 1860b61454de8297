// The "Server Details" dialog.
#include "ui/server_details.h"

#include <commctrl.h>
#include <stdlib.h>
#include <string.h>

#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_text.h"
#include "launcher/join_link.h"
#include "resources/resource.h"
#include "ui/clipboard.h"
#include "ui/dialog_placement.h"
#include "ui/paint_pacer.h"
#include "ui/server_list.h"

namespace {

const ListColumn KeyColumns[] = {{L"Key", 35}, {L"Value", 65}};
const ListColumn PlayerColumns[] = {{L"Name", 50}, {L"Score", 25}, {L"Ping", 25}};
const int KeyColumnCount = 2;
const int PlayerColumnCount = 3;

// A reply is one datagram, so its text, a tab and a line end a field, fits.
const int DetailsTextSize = 16384;
const int CellTextSize = LineBufferSize;

// The server shown: its address and port, and its record while the table
// has one for it (-1 otherwise).
struct ShownServer {
    DWORD address;
    WORD port;
    int record;
};

HWND DetailsDialog;
ShownServer Shown;
// The shown reply's info string, cut into its fields: each key row holds a
// pointer to its key here, which the sort by key compares.
char* ShownInfo;

HWND KeyList()
{
    return GetDlgItem(DetailsDialog, IDC_DETAIL_KEYS);
}

HWND DetailPlayerList()
{
    return GetDlgItem(DetailsDialog, IDC_DETAIL_PLAYERS);
}

// Appends a row of these cells.
void AppendRow(HWND list, const wchar_t* const* cells, int count, LPARAM data)
{
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.lParam = data;
    item.iItem = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    item.pszText = const_cast<wchar_t*>(cells[0]);
    int row = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    for (int column = 1; column < count && row != -1; column++) {
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = const_cast<wchar_t*>(cells[column]);
        SendMessageW(list, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    }
}

// Names show as the columns show them; other values in the ANSI code page.
void AppendInfoPair(const char* key, const char* value)
{
    wchar_t keyText[CellTextSize];
    wchar_t valueText[CellTextSize];
    CopyNetworkText(keyText, CellTextSize, key);
    if (_stricmp(key, "hostname") == 0 || _stricmp(key, "mapname") == 0)
        CopyGameText(valueText, CellTextSize, value);
    else
        CopyNetworkText(valueText, CellTextSize, value);
    const wchar_t* cells[] = {keyText, valueText};
    AppendRow(KeyList(), cells, KeyColumnCount, reinterpret_cast<LPARAM>(key));
}

void AppendPlayer(const PlayerEntry& player)
{
    wchar_t score[16];
    wchar_t ping[16];
    FormatText(score, 16, L"%d", player.score);
    FormatText(ping, 16, L"%d", player.ping);
    const wchar_t* cells[] = {player.name, score, ping};
    AppendRow(DetailPlayerList(), cells, PlayerColumnCount, 0);
}

const ServerRecord* ShownRecord()
{
    if (!IsRecordIndex(Shown.record))
        return nullptr;
    const ServerRecord* record = &ServerTable.records[Shown.record];
    return record->address == Shown.address && record->port == Shown.port && record->offered ? record : nullptr;
}

// The lists hold copies of the texts, so they never refer to the table.
// What joining the server asks for, after its address.
const wchar_t* PasswordNote(const ServerRecord* record)
{
    int needs = record != nullptr ? record->needPass : 0;
    if (needs == (NeedsPlayerPassword | NeedsSpectatorPassword))
        return L" (players and spectators need a password)";
    if (needs == NeedsPlayerPassword)
        return L" (players need a password)";
    if (needs == NeedsSpectatorPassword)
        return L" (spectators need a password)";
    return L"";
}

void FillDetails()
{
    SendMessageW(KeyList(), LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(DetailPlayerList(), LVM_DELETEALLITEMS, 0, 0);
    free(ShownInfo);
    ShownInfo = nullptr;
    wchar_t address[ServerAddressTextSize];
    FormatServerAddress(Shown.address, Shown.port, address, ServerAddressTextSize);
    const ServerRecord* record = ShownRecord();
    wchar_t line[StatusTextSize];
    FormatText(line, StatusTextSize, L"Address: %s%s", address, PasswordNote(record));
    SetDlgItemTextW(DetailsDialog, IDC_DETAIL_ADDRESS, line);
    if (record == nullptr)
        return;
    ShownInfo = record->info != nullptr ? _strdup(record->info) : nullptr;
    if (ShownInfo != nullptr) {
        char* cursor = FirstInfoField(ShownInfo);
        char* key;
        char* value;
        while (NextInfoPair(&cursor, &key, &value))
            AppendInfoPair(key, value);
    }
    for (int player = 0; player < record->playerCount && player < MaxPlayers; player++)
        AppendPlayer(record->players[player]);
}

int RowText(HWND list, int row, int columns, wchar_t* text, int textSize)
{
    int used = 0;
    for (int column = 0; column < columns && used < textSize - 1; column++) {
        if (column > 0)
            text[used++] = L'\t';
        LVITEMW cell = {};
        cell.iSubItem = column;
        cell.pszText = text + used;
        cell.cchTextMax = textSize - used;
        used += static_cast<int>(SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell)));
    }
    text[used < textSize ? used : textSize - 1] = L'\0';
    return used;
}

// Every row of the list, a line each, after what the text holds.
void AppendRows(HWND list, int columns, wchar_t* text, int textSize)
{
    int rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int row = 0; row < rows; row++) {
        int used = lstrlenW(text);
        if (textSize - used < 3)
            return;
        RowText(list, row, columns, text + used, textSize - used - 2);
        lstrcatW(text, L"\r\n");
    }
}

void CopyAll()
{
    wchar_t* text = static_cast<wchar_t*>(calloc(DetailsTextSize, sizeof(wchar_t)));
    if (text == nullptr)
        return;
    wchar_t address[ServerAddressTextSize];
    FormatServerAddress(Shown.address, Shown.port, address, ServerAddressTextSize);
    wchar_t link[JoinLinkLimit + 1];
    FormatJoinLink(address, link, JoinLinkLimit + 1);
    FormatText(text, DetailsTextSize, L"Address\t%s\r\nJoin Link\t%s\r\n", address, link);
    AppendRows(KeyList(), KeyColumnCount, text, DetailsTextSize);
    if (SendMessageW(DetailPlayerList(), LVM_GETITEMCOUNT, 0, 0) > 0) {
        lstrcatW(text, L"\r\n");
        AppendRows(DetailPlayerList(), PlayerColumnCount, text, DetailsTextSize);
    }
    CopyTextToClipboard(DetailsDialog, text);
    free(text);
}

void CopySelectedLine(HWND list, int columns)
{
    int row = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, -1, LVNI_SELECTED));
    if (row == -1)
        return;
    wchar_t line[CellTextSize * 3];
    RowText(list, row, columns, line, CellTextSize * 3);
    CopyTextToClipboard(DetailsDialog, line);
}

int CALLBACK CompareKeys(LPARAM keyA, LPARAM keyB, LPARAM)
{
    return _stricmp(reinterpret_cast<const char*>(keyA), reinterpret_cast<const char*>(keyB));
}

INT_PTR RouteDetailNotification(NMHDR* header)
{
    HWND list = header->hwndFrom;
    int columns = header->idFrom == IDC_DETAIL_KEYS ? KeyColumnCount : PlayerColumnCount;
    switch (header->code) {
    case LVN_COLUMNCLICK:
        if (header->idFrom == IDC_DETAIL_KEYS && reinterpret_cast<NMLISTVIEW*>(header)->iSubItem == 0)
            SendMessageW(list, LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(CompareKeys));
        return TRUE;
    case LVN_KEYDOWN:
        if (reinterpret_cast<NMLVKEYDOWN*>(header)->wVKey == 'C' && GetKeyState(VK_CONTROL) < 0)
            CopySelectedLine(list, columns);
        return TRUE;
    default:
        return FALSE;
    }
}

}  // namespace

void ShowServerDetailsDialog(HINSTANCE instance, HWND owner)
{
    int row = SelectedServerRow();
    LPARAM record = row != -1 ? ServerRowRecord(row) : -1;
    if (!IsRecordIndex(record))
        return;
    Shown.address = ServerTable.records[record].address;
    Shown.port = ServerTable.records[record].port;
    Shown.record = static_cast<int>(record);
    PaintHeldChanges();
    DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_SERVER_DETAILS), owner, ServerDetailsDialogProc, 0);
}

INT_PTR CALLBACK ServerDetailsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        DetailsDialog = dialog;
        BuildDialogListColumns(KeyList(), KeyColumns, KeyColumnCount);
        BuildDialogListColumns(DetailPlayerList(), PlayerColumns, PlayerColumnCount);
        FillDetails();
        CentreOverOwner(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_COPY_ALL)
            CopyAll();
        else if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK)
            EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    case WM_NOTIFY:
        return RouteDetailNotification(reinterpret_cast<NMHDR*>(lParam));
    case WM_DESTROY:
        DetailsDialog = nullptr;
        free(ShownInfo);
        ShownInfo = nullptr;
        return FALSE;
    default:
        return FALSE;
    }
}

void ServerDetailsFollowTable(int recordIndex)
{
    if (DetailsDialog == nullptr)
        return;
    if (recordIndex == -1) {
        Shown.record = -1;
        FillDetails();
        return;
    }
    if (!IsRecordIndex(recordIndex) || ServerTable.records[recordIndex].address != Shown.address ||
        ServerTable.records[recordIndex].port != Shown.port)
        return;
    Shown.record = recordIndex;
    FillDetails();
}
