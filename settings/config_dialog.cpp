// The configuration dialog.
#include "settings/config_dialog.h"

#include <commctrl.h>
#include <stdlib.h>

#include "engine/master_update.h"
#include "launcher/folder_picker.h"
#include "engine/status_text.h"
#include "resources/resource.h"
#include "settings/link_registration.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "ui/favourites.h"
#include "ui/notification_icon.h"
#include "ui/player_list.h"
#include "ui/server_list.h"
#include "ui/server_watch.h"

namespace {

// Characters read back from a path field, terminator included: room is
// left for the backslash that may follow.
const int PathFieldRead = PathSize - 1;

// A line of the watched servers: a host name, an address and the number.
const int LongWatchLine = 320;

// A list of addresses one per line.
void ShowAddressList(HWND dialog, int id, const AddressList& list)
{
    int length = 0;
    wchar_t* text = JoinAddressEntries(list, L"\r\n", 2, false, &length);
    if (text != nullptr)
        SetDlgItemTextW(dialog, id, text);
    free(text);
}

// The chosen masters; before any are chosen, the built-in one, so that the
// player sees which master is asked.
void ShowMasterServers(HWND dialog)
{
    if (!MasterServersChosen)
        SetDlgItemTextW(dialog, IDC_MASTER_SERVERS, MasterHostName);
    else
        ShowAddressList(dialog, IDC_MASTER_SERVERS, MasterServers);
}

// The whole text of a field, on the C heap; null when memory is short.
wchar_t* ReadFieldText(HWND dialog, int id, int* length)
{
    *length = static_cast<int>(SendDlgItemMessageW(dialog, id, WM_GETTEXTLENGTH, 0, 0));
    wchar_t* text = static_cast<wchar_t*>(calloc(*length + 1, sizeof(wchar_t)));
    if (text != nullptr)
        *length = static_cast<int>(SendDlgItemMessageW(dialog, id, WM_GETTEXT, *length + 1, reinterpret_cast<LPARAM>(text)));
    return text;
}

// The built-in master alone, as shown on first use, stays "not chosen", so
// that the program keeps asking whichever master it is built with.
void ReadMasterServersField(HWND dialog)
{
    int length = 0;
    wchar_t* text = ReadFieldText(dialog, IDC_MASTER_SERVERS, &length);
    if (text == nullptr)
        return;
    ReadAddressEntries(&MasterServers, text, length, DefaultMasterPort, MaxMasterServers, true);
    free(text);
    MasterServersChosen = !(MasterServers.count == 1 && _wcsicmp(MasterServers.entries[0].text, MasterHostName) == 0);
    if (!MasterServersChosen)
        ClearAddressList(&MasterServers);
}

void ReadFavouriteServersField(HWND dialog)
{
    int length = 0;
    wchar_t* text = ReadFieldText(dialog, IDC_FAVOURITE_SERVERS, &length);
    if (text == nullptr)
        return;
    TakeEditedFavourites(text, length);
    free(text);
}

// The picker takes only a folder that holds the executable the field names.
void BrowseForGamePath(HWND dialog)
{
    wchar_t executable[PathSize] = L"";
    wchar_t folder[PathSize] = L"";
    GetDlgItemTextW(dialog, IDC_GAME_EXECUTABLE, executable, PathSize);
    GetDlgItemTextW(dialog, IDC_GAME_PATH, folder, PathSize);
    if (executable[0] == L'\0')
        lstrcpynW(executable, DefaultGameExecutable, PathSize);
    if (PickGameFolder(dialog, executable, folder))
        SetDlgItemTextW(dialog, IDC_GAME_PATH, folder);
}

// Whether links open this copy, and which program when another.
void ShowLinkOpener(HWND dialog)
{
    wchar_t program[PathSize];
    LinkOpener opener = WhoOpensLinks(program);
    CheckDlgButton(dialog, IDC_OPEN_LINKS, opener == LinksOpenThisCopy ? BST_CHECKED : BST_UNCHECKED);
    wchar_t state[PathSize + 32] = L"";
    if (opener == LinksOpenThisCopy)
        FormatText(state, PathSize + 32, L"Links open this copy.");
    else if (opener == LinksOpenAnother)
        FormatText(state, PathSize + 32, L"Links open %s.", program);
    SetDlgItemTextW(dialog, IDC_LINKS_STATE, state);
}

void ApplyLinkOpener(HWND dialog)
{
    wchar_t program[PathSize];
    bool ours = WhoOpensLinks(program) == LinksOpenThisCopy;
    bool wanted = IsDlgButtonChecked(dialog, IDC_OPEN_LINKS) == BST_CHECKED;
    if (wanted && !ours)
        RegisterLinks();
    else if (!wanted && ours)
        UnregisterLinks();
}

// Each line keeps the number of its entry, so that what the player removes
// is known when the dialog closes.
void ShowWatchedServers(HWND dialog)
{
    for (int watch = 0; watch < WatchedServerCount; watch++) {
        wchar_t text[LongWatchLine];
        FormatWatchedServer(watch, text, LongWatchLine);
        LRESULT item = SendDlgItemMessageW(dialog, IDC_WATCHED_SERVERS, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
        if (item >= 0)
            SendDlgItemMessageW(dialog, IDC_WATCHED_SERVERS, LB_SETITEMDATA, item, watch);
    }
    EnableWindow(GetDlgItem(dialog, IDC_REMOVE_WATCHED), WatchedServerCount > 0);
}

void RemoveSelectedWatch(HWND dialog)
{
    HWND list = GetDlgItem(dialog, IDC_WATCHED_SERVERS);
    LRESULT item = SendMessageW(list, LB_GETCURSEL, 0, 0);
    if (item == LB_ERR)
        return;
    SendMessageW(list, LB_DELETESTRING, item, 0);
    LRESULT left = SendMessageW(list, LB_GETCOUNT, 0, 0);
    if (left > 0)
        SendMessageW(list, LB_SETCURSEL, item < left ? item : left - 1, 0);
    EnableWindow(GetDlgItem(dialog, IDC_REMOVE_WATCHED), left > 0);
}

// The watched servers whose lines are left, in their order.
void ReadWatchedServersField(HWND dialog)
{
    int kept[MaxWatchedServers];
    int count = 0;
    LRESULT lines = SendDlgItemMessageW(dialog, IDC_WATCHED_SERVERS, LB_GETCOUNT, 0, 0);
    for (LRESULT line = 0; line < lines && count < MaxWatchedServers; line++)
        kept[count++] = static_cast<int>(SendDlgItemMessageW(dialog, IDC_WATCHED_SERVERS, LB_GETITEMDATA, line, 0));
    KeepWatchedServers(kept, count);
}

void ShowSettings(HWND dialog)
{
    SetDlgItemTextW(dialog, IDC_GAME_PATH, GamePath);
    SetDlgItemTextW(dialog, IDC_GAME_EXECUTABLE, GameExecutable);
    SetDlgItemInt(dialog, IDC_PACKETS_PER_SECOND, PacketsPerSecond, TRUE);
    SetDlgItemInt(dialog, IDC_GOOD_PING, GoodPing, TRUE);
    SetDlgItemInt(dialog, IDC_MEDIUM_PING, MediumPing, TRUE);
    SetDlgItemTextW(dialog, IDC_BUDDY_LIST, BuddyText != nullptr ? BuddyText : L"");
    ShowMasterServers(dialog);
    ShowAddressList(dialog, IDC_FAVOURITE_SERVERS, FavouriteServers);
    // No limit shows as an empty field.
    if (MaximumPing > 0)
        SetDlgItemInt(dialog, IDC_MAXIMUM_PING, MaximumPing, FALSE);
    CheckDlgButton(dialog, IDC_SEARCH_LOCAL_NETWORK, SearchLocalNetwork ? BST_CHECKED : BST_UNCHECKED);
    // Never shows as an empty field.
    if (RefreshMinutes > 0)
        SetDlgItemInt(dialog, IDC_REFRESH_MINUTES, RefreshMinutes, FALSE);
    SendDlgItemMessageW(dialog, IDC_REFRESH_MINUTES, EM_LIMITTEXT, 2, 0);
    CheckDlgButton(dialog, IDC_KEEP_IN_NOTIFICATION_AREA, KeepInNotificationArea ? BST_CHECKED : BST_UNCHECKED);
    ShowWatchedServers(dialog);
    ShowLinkOpener(dialog);
}

int ReadNumberField(HWND dialog, int id)
{
    return static_cast<int>(GetDlgItemInt(dialog, id, nullptr, TRUE));
}

void ReadBuddyField(HWND dialog)
{
    int length = static_cast<int>(SendDlgItemMessageW(dialog, IDC_BUDDY_LIST, WM_GETTEXTLENGTH, 0, 0));
    wchar_t* text = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, (length + 1) * sizeof(wchar_t)));
    if (text == nullptr)
        return;
    SendDlgItemMessageW(dialog, IDC_BUDDY_LIST, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text));
    text[length] = L'\0';
    if (BuddyText != nullptr)
        HeapFree(GetProcessHeap(), 0, BuddyText);
    BuddyText = text;
}

void RedrawAllRows(HWND list)
{
    LRESULT rows = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    SendMessageW(list, LVM_REDRAWITEMS, 0, rows);
}

void EndWithBackslash(wchar_t* path)
{
    int length = lstrlenW(path);
    if (length > 0 && path[length - 1] != L'\\' && length < PathSize - 1) {
        path[length] = L'\\';
        path[length + 1] = L'\0';
    }
}

}  // namespace

void ApplyConfig(HWND dialog)
{
    ZeroMemory(GamePath, sizeof(GamePath));
    ZeroMemory(GameExecutable, sizeof(GameExecutable));
    SendDlgItemMessageW(dialog, IDC_GAME_PATH, WM_GETTEXT, PathFieldRead, reinterpret_cast<LPARAM>(GamePath));
    SendDlgItemMessageW(dialog, IDC_GAME_EXECUTABLE, WM_GETTEXT, PathFieldRead,
                        reinterpret_cast<LPARAM>(GameExecutable));
    PacketsPerSecond = ReadNumberField(dialog, IDC_PACKETS_PER_SECOND);
    GoodPing = ReadNumberField(dialog, IDC_GOOD_PING);
    MediumPing = ReadNumberField(dialog, IDC_MEDIUM_PING);
    EndWithBackslash(GamePath);
    // What a restart would read as a default is that default now, so that an
    // emptied field never leaves the browser without a game or a ping scale.
    ApplySettingDefaults();
    ReadBuddyField(dialog);
    ReadMasterServersField(dialog);
    ReadFavouriteServersField(dialog);
    ReadWatchedServersField(dialog);
    SaveServerLists();
    MaximumPing = GetDlgItemInt(dialog, IDC_MAXIMUM_PING, nullptr, FALSE);
    SearchLocalNetwork = IsDlgButtonChecked(dialog, IDC_SEARCH_LOCAL_NETWORK) == BST_CHECKED;
    RefreshMinutes = GetDlgItemInt(dialog, IDC_REFRESH_MINUTES, nullptr, FALSE);
    if (RefreshMinutes > MaxRefreshMinutes)
        RefreshMinutes = MaxRefreshMinutes;
    KeepInNotificationArea = IsDlgButtonChecked(dialog, IDC_KEEP_IN_NOTIFICATION_AREA) == BST_CHECKED;
    FollowNotificationChoice();
    ApplyLinkOpener(dialog);
    ParseBuddyList();
    RefilterServers();
    RedrawAllRows(ServerList);
    RedrawAllRows(PlayerList);
    UpdateWindow(ServerList);
    UpdateWindow(PlayerList);
}

INT_PTR CALLBACK ConfigDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        ShowSettings(dialog);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_BROWSE_GAME_PATH) {
            BrowseForGamePath(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) == IDC_REMOVE_WATCHED) {
            RemoveSelectedWatch(dialog);
            return TRUE;
        }
        if (LOWORD(wParam) != IDOK)
            return FALSE;
        ApplyConfig(dialog);
        EndDialog(dialog, 0);
        return TRUE;
    case WM_CLOSE:
        ApplyConfig(dialog);
        EndDialog(dialog, 0);
        return TRUE;
    default:
        return FALSE;
    }
}
