// A server row's actions, from its context menu and the main window's keys.
#include <winsock2.h>

#include "ui/server_menu.h"

#include <commctrl.h>
#include <windowsx.h>

#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/window_ops.h"
#include "launcher/game_launcher.h"
#include "launcher/join_link.h"
#include "resources/resource.h"
#include "settings/password_store.h"
#include "ui/add_server_dialog.h"
#include "ui/clipboard.h"
#include "ui/favourites.h"
#include "ui/find_player.h"
#include "ui/main_window.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/server_details.h"
#include "ui/server_join.h"
#include "ui/server_list.h"
#include "ui/server_watch.h"

namespace {

const int AddressColumn = 1;
const int AddressTextSize = 32;

// The row at a point of the screen, or -1 beside the rows.
int RowAt(POINT point)
{
    LVHITTESTINFO hit = {};
    hit.pt = point;
    ScreenToClient(ServerList, &hit.pt);
    return static_cast<int>(SendMessageW(ServerList, LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
}

// The menu key opens the menu below the start of the selected row.
POINT BelowRow(int row)
{
    RECT bounds = {};
    bounds.left = LVIR_BOUNDS;
    SendMessageW(ServerList, LVM_GETITEMRECT, row, reinterpret_cast<LPARAM>(&bounds));
    POINT point = {bounds.left, bounds.bottom};
    ClientToScreen(ServerList, &point);
    return point;
}

// The row's server as "a.b.c.d:port"; false for a row without a record.
bool RowServer(int row, wchar_t server[ServerAddressTextSize])
{
    LPARAM record = ServerRowRecord(row);
    if (!IsRecordIndex(record))
        return false;
    FormatServerAddress(ServerTable.records[record].address, ServerTable.records[record].port, server,
                        ServerAddressTextSize);
    return true;
}

void ForgetSelectedPasswords()
{
    wchar_t server[ServerAddressTextSize];
    if (!RowServer(SelectedServerRow(), server))
        return;
    ForgetPassword(server, PlayerPassword);
    ForgetPassword(server, SpectatorPassword);
    StatusMessage(L"The passwords kept for %s are forgotten.", server);
}

void RefreshSelectedServer()
{
    int row = SelectedServerRow();
    if (row != -1)
        StartServerRefresh(static_cast<int>(ServerRowRecord(row)));
}

// The address as the IP Address column shows it, as Unicode text.
void CopySelectedAddress()
{
    int row = SelectedServerRow();
    if (row == -1)
        return;
    wchar_t text[AddressTextSize] = L"";
    LVITEMW cell = {};
    cell.iSubItem = AddressColumn;
    cell.pszText = text;
    cell.cchTextMax = AddressTextSize;
    SendMessageW(ServerList, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&cell));
    CopyTextToClipboard(MainWindow, text);
}

// The link that shares the server, for a chat or a page.
void CopySelectedJoinLink()
{
    wchar_t server[ServerAddressTextSize];
    if (!RowServer(SelectedServerRow(), server))
        return;
    wchar_t link[JoinLinkLimit + 1];
    FormatJoinLink(server, link, JoinLinkLimit + 1);
    CopyTextToClipboard(MainWindow, link);
}

}  // namespace

void ShowServerMenu(HINSTANCE instance, LPARAM position)
{
    POINT point = {GET_X_LPARAM(position), GET_Y_LPARAM(position)};
    int row;
    bool byKeyboard = point.x == -1 && point.y == -1;
    if (byKeyboard) {
        row = SelectedServerRow();
        if (row == -1)
            return;
        point = BelowRow(row);
    } else {
        row = RowAt(point);
        if (row == -1)
            return;
        SelectServerRow(row);
    }
    HMENU menu = LoadMenuW(instance, MAKEINTRESOURCEW(IDM_SERVER_ROW));
    if (menu == nullptr)
        return;
    HMENU rowMenu = GetSubMenu(menu, 0);
    SetMenuDefaultItem(rowMenu, IDM_JOIN, FALSE);
    // A refresh never runs beside an update or another refresh.
    EnableMenuItem(rowMenu, IDM_REFRESH, MF_BYCOMMAND | (TableAtRest() ? MF_ENABLED : MF_GRAYED));
    ModifyMenuW(rowMenu, IDM_TOGGLE_FAVOURITE, MF_BYCOMMAND | MF_STRING, IDM_TOGGLE_FAVOURITE,
                IsFavouriteRecord(ServerRowRecord(row)) ? L"Remove from &Favourites" : L"Add to &Favourites");
    wchar_t server[ServerAddressTextSize];
    if (!RowServer(row, server) || !PasswordKept(server))
        DeleteMenu(rowMenu, IDM_FORGET_PASSWORD, MF_BYCOMMAND);
    PaintHeldChanges();
    // Opened from the keyboard, the menu starts on its first item, the
    // default: the menu's own loop takes this key as its first.
    if (byKeyboard)
        PostMessageW(MainWindow, WM_KEYDOWN, VK_DOWN, 0);
    TrackPopupMenu(rowMenu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, MainWindow,
                   nullptr);
    DestroyMenu(menu);
}

bool RunServerCommand(HINSTANCE instance, WORD command)
{
    switch (command) {
    case IDM_ROW_MENU_KEY:
        ShowServerMenu(instance, MAKELPARAM(-1, -1));
        return true;
    case IDM_JOIN:
        LaunchGame(SelectedServerRow());
        return true;
    case IDM_JOIN_SPECTATOR:
        LaunchGameAs(SelectedServerRow(), JoinAsSpectator);
        return true;
    case IDM_JOIN_WITH_PASSWORD:
        LaunchGameAs(SelectedServerRow(), JoinWithPassword);
        return true;
    case IDM_FORGET_PASSWORD:
        ForgetSelectedPasswords();
        return true;
    case IDM_REFRESH:
        RefreshSelectedServer();
        return true;
    case IDM_COPY_ADDRESS:
        CopySelectedAddress();
        return true;
    case IDM_COPY_JOIN_LINK:
        CopySelectedJoinLink();
        return true;
    case IDM_TOGGLE_FAVOURITE:
        if (SelectedServerRow() != -1)
            ToggleFavourite(ServerRowRecord(SelectedServerRow()));
        return true;
    case IDM_WATCH:
        ShowWatchDialog(instance, MainWindow);
        return true;
    case IDM_ADD_SERVER:
        ShowAddServerDialog(instance, MainWindow);
        return true;
    case IDM_FIND_PLAYER:
        ShowFindPlayerDialog(instance, MainWindow);
        return true;
    case IDM_SERVER_DETAILS:
        ShowServerDetailsDialog(instance, MainWindow);
        return true;
    default:
        return false;
    }
}
