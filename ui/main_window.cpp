// The main window.
#include <winsock2.h>

#include "ui/main_window.h"

#include <commctrl.h>

#include "engine/master_update.h"
#include "engine/server_refresh.h"
#include "engine/server_table.h"
#include "engine/status_parser.h"
#include "engine/status_text.h"
#include "engine/window_ops.h"
#include "launcher/game_launcher.h"
#include "resources/resource.h"
#include "settings/config_dialog.h"
#include "settings/settings.h"
#include "settings/settings_store.h"
#include "ui/classic_drawing.h"
#include "ui/display_scale.h"
#include "ui/favourites.h"
#include "ui/find_player.h"
#include "ui/free_place_wait.h"
#include "ui/link_join.h"
#include "ui/notification_icon.h"
#include "ui/paint_pacer.h"
#include "ui/player_list.h"
#include "ui/refresh_schedule.h"
#include "ui/running_copy.h"
#include "ui/server_details.h"
#include "ui/server_filter.h"
#include "ui/server_join.h"
#include "ui/server_list.h"
#include "ui/server_menu.h"
#include "ui/server_news.h"
#include "ui/server_rows.h"
#include "ui/server_watch.h"
#include "ui/sizer.h"
#include "ui/status_bar.h"
#include "ui/status_tips.h"
#include "ui/taskbar_progress.h"

HWND MainWindow;
DWORD IsXpOrLater;

namespace {

const wchar_t MainWindowTitle[] = L"Quarrix Server Browser";

HINSTANCE AppInstance;
HACCEL MainWindowKeys;
// The font the dialog manager made from the template, at the DPI it was
// made for, and the same face at the window's present scale when that is
// another.
HFONT TemplateFont;
UINT TemplateFontDpi;
HFONT ScaledFont;

const AnchorEntry MainAnchors[] = {
    {IDC_CONFIG, MoveX | MoveY},
    {IDC_UPDATE, MoveX | MoveY},
    {IDC_EXIT, MoveX | MoveY},
    {IDC_SERVER_LIST, GrowX | GrowY},
    {IDC_FILTER_TEXT, GrowX},
    {IDC_PLAYER_LIST, MoveY | GrowX},
    {IDC_SERVERS_FRAME, GrowX | GrowY},
    {IDC_PLAYERS_FRAME, MoveY | GrowX},
    {IDC_CONTROLS_FRAME, MoveX | MoveY},
    {IDC_STATUS_BAR, MoveX | MoveY | GrowX},
    {IDC_SHOW_EMPTY, MoveX | MoveY},
    {IDC_SHOW_FULL, MoveX | MoveY},
    {AnchorTableEnd, AnchorTableEnd},
};

void ApplyUpdateButtons(UpdateButtonState state)
{
    HWND update = GetDlgItem(MainWindow, IDC_UPDATE);
    HWND config = GetDlgItem(MainWindow, IDC_CONFIG);
    switch (state) {
    case UpdateButtonsBusy:
        SetWindowTextW(update, L"Abort");
        EnableWindow(config, FALSE);
        StartTaskbarProgress();
        break;
    case UpdateButtonsAborting:
        EnableWindow(update, FALSE);
        break;
    case UpdateButtonsIdle:
        SetWindowTextW(update, L"Update");
        EnableWindow(config, TRUE);
        EnableWindow(update, TRUE);
        EndTaskbarProgress();
        break;
    }
}

void UpdateOrAbort()
{
    if (!UpdateBusy) {
        StopFreePlaceWait(false);
        AwaitSelectedServer();
    }
    StartOrAbortUpdate();
}

void RouteCommand(WORD controlId, WORD notification)
{
    switch (controlId) {
    case IDC_FILTER_TEXT:
        if (notification == EN_CHANGE)
            FollowFilterText();
        break;
    case IDM_FILTER_LINE:
        ShowFilterLine();
        break;
    case IDC_EXIT:
        DestroyWindow(MainWindow);
        break;
    case IDC_CONFIG:
        PaintHeldChanges();
        DialogBoxParamW(AppInstance, MAKEINTRESOURCEW(IDD_CONFIG), MainWindow, ConfigDialogProc, 0);
        break;
    case IDC_UPDATE:
        UpdateOrAbort();
        break;
    case IDM_UPDATE_KEY:
        // F5, as the button: nothing while it is disabled (an abort under way).
        if (IsWindowEnabled(GetDlgItem(MainWindow, IDC_UPDATE)))
            UpdateOrAbort();
        break;
    case IDCANCEL:
        // Escape: in the filter line, or in the list while the line shows
        // and nothing else is under way, it empties and hides the line; else
        // it stops a game search or a wait, and changes nothing else.
        if (FilterLineFocused() || (FilterLineShown() && GetFocus() == ServerList && !GameSearchRunning() &&
                                    !FreePlaceWaitRunning())) {
            HideFilterLine();
            break;
        }
        StopGameSearch(false);
        StopFreePlaceWait(false);
        break;
    case IDC_SHOW_FULL:
    case IDC_SHOW_EMPTY:
        ApplyServerFilters();
        break;
    default:
        if (!RunNotificationCommand(controlId))
            RunServerCommand(AppInstance, controlId);
        break;
    }
}

// Custom drawing answers through the dialog's message result.
INT_PTR AnswerCustomDraw(HWND list, NMHDR* header)
{
    SetWindowLongPtrW(MainWindow, DWLP_MSGRESULT, CustomDrawList(list, reinterpret_cast<NMLVCUSTOMDRAW*>(header)));
    return TRUE;
}

INT_PTR RouteServerListNotification(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW:
        GetServerCell(reinterpret_cast<NMLVDISPINFOW*>(header));
        return FALSE;
    case LVN_COLUMNCLICK:
        SortServersByColumn(reinterpret_cast<NMLISTVIEW*>(header)->iSubItem);
        return FALSE;
    case LVN_ITEMCHANGED:
        // A row moving with its record is no change of the selected server.
        if (!ListedSelectionMoving()) {
            FillPlayerList();
            if (SelectedServerRow() != -1)
                ForgetRememberedSelections();
        }
        return FALSE;
    case LVN_ODFINDITEMW:
        SetWindowLongPtrW(MainWindow, DWLP_MSGRESULT, FindServerRow(reinterpret_cast<NMLVFINDITEMW*>(header)));
        return TRUE;
    case NM_CUSTOMDRAW:
        return AnswerCustomDraw(ServerList, header);
    case NM_DBLCLK:
        LaunchGame(reinterpret_cast<NMITEMACTIVATE*>(header)->iItem);
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR RoutePlayerListNotification(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETDISPINFOW:
        GetPlayerCell(reinterpret_cast<NMLVDISPINFOW*>(header));
        return FALSE;
    case LVN_COLUMNCLICK:
        SendMessageW(PlayerList, LVM_SORTITEMS, reinterpret_cast<NMLISTVIEW*>(header)->iSubItem,
                     reinterpret_cast<LPARAM>(ComparePlayers));
        return FALSE;
    case NM_CUSTOMDRAW:
        return AnswerCustomDraw(PlayerList, header);
    case NM_RCLICK:
        if (IsXpOrLater)
            TogglePlayerView();
        return FALSE;
    default:
        return FALSE;
    }
}

INT_PTR RouteNotification(WPARAM controlId, NMHDR* header)
{
    switch (controlId) {
    case IDC_SERVER_LIST:
        return RouteServerListNotification(header);
    case IDC_PLAYER_LIST:
        return RoutePlayerListNotification(header);
    default:
        return FALSE;
    }
}

// A click, a turn of the wheel or a key: what the user acts on is painted
// first, even in the middle of a burst of changes.
bool IsUserAction(UINT message)
{
    switch (message) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_MOUSEWHEEL:
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        return true;
    default:
        return false;
    }
}

// The Sizer takes the layout at its own size, and keeps the window from
// tracking smaller than it (where the screen can hold it). At a large scale
// on a small screen the window opens smaller than its layout: it is given
// the layout's size for the Sizer to take, then its own again, which the
// Sizer then lays out.
void AttachSizerToLayout(HWND window)
{
    RECT layout = {0, 0, IDD_MAIN_WIDTH, IDD_MAIN_HEIGHT};
    MapDialogRect(window, &layout);
    RECT client;
    RECT outer;
    GetClientRect(window, &client);
    GetWindowRect(window, &outer);
    int missingWidth = layout.right > client.right ? layout.right - client.right : 0;
    int missingHeight = layout.bottom > client.bottom ? layout.bottom - client.bottom : 0;
    const UINT Unasked = SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE;
    if (missingWidth > 0 || missingHeight > 0)
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left + missingWidth,
                     outer.bottom - outer.top + missingHeight, Unasked | SWP_NOSENDCHANGING);
    SizerAttach(window, MainAnchors, true, nullptr);
    if (missingWidth > 0 || missingHeight > 0)
        SetWindowPos(window, nullptr, 0, 0, outer.right - outer.left, outer.bottom - outer.top, Unasked);
}

void SetSmallIcon()
{
    HANDLE icon = LoadImageW(AppInstance, MAKEINTRESOURCEW(IDI_APPLICATION_ICON), IMAGE_ICON,
                             GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR);
    if (icon != nullptr)
        SendMessageW(MainWindow, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon));
}

HFONT FontForDpi(UINT dpi)
{
    if (dpi == TemplateFontDpi || TemplateFont == nullptr)
        return TemplateFont;
    LOGFONTW face = {};
    GetObjectW(TemplateFont, sizeof(face), &face);
    face.lfHeight = MulDiv(face.lfHeight, static_cast<int>(dpi), static_cast<int>(TemplateFontDpi));
    return CreateFontIndirectW(&face);
}

void SetControlFonts(UINT dpi)
{
    HFONT font = FontForDpi(dpi);
    for (HWND child = GetWindow(MainWindow, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT))
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (ScaledFont != nullptr)
        DeleteObject(ScaledFont);
    ScaledFont = font != TemplateFont ? font : nullptr;
}

// The window has moved to a monitor of another scale: the layout is scaled
// in proportion, the fonts, pictograms and columns are made again for the
// new DPI, and the window takes the rectangle Windows suggests.
void ApplyDisplayScale(UINT dpi, const RECT& suggested)
{
    if (dpi == 0 || dpi == WindowDpi)
        return;
    UINT previous = WindowDpi;
    WindowDpi = dpi;
    SizerRescale(MainWindow, previous, dpi);
    SetControlFonts(dpi);
    CreateListImages(ServerList, AppInstance);
    SetStatusBarIcons(AppInstance);
    CreateFavouriteFont(ServerList);
    SetWindowPos(MainWindow, nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
    RECT client;
    GetClientRect(MainWindow, &client);
    ResizeListColumns(static_cast<WORD>(client.right));
    SizeStatusBarParts(client.right);
    PlaceStatusTips();
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

// The controls have moved: everything is painted at once, whatever the
// pacing holds, so that no control stays blank and no group frame is left
// behind where it was.
void RepaintAfterResize(WPARAM kind)
{
    if (kind == SIZE_MINIMIZED || !IsWindowVisible(MainWindow))
        return;
    PaintHeldChanges();
    RedrawWindow(MainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

// A record was offered or refreshed: what else shows records follows.
void FollowChangedRecord(int recordIndex)
{
    NoteBuddySightings(recordIndex);
    FollowWatchedServer(recordIndex);
    FindPlayerFollowTable(false);
    ServerDetailsFollowTable(recordIndex);
}

// The servers the receiver parsed since it last handed any over: each is
// listed and followed as its own offer would be, then the status line tells
// of the last.
void TakeOfferedServers(const int* recordIndexes, int count)
{
    for (int offer = 0; offer < count; offer++) {
        ListOfferedServer(recordIndexes[offer]);
        FollowChangedRecord(recordIndexes[offer]);
    }
    ShowCounts();
    int last = count > 0 ? recordIndexes[count - 1] : -1;
    if (!IsRecordIndex(last))
        return;
    wchar_t found[StatusTextSize];
    FormatFoundLine(ServerTable.records[last], found, StatusTextSize);
    ShowStatusText(found);
}

// The refresh's copies: shown, then followed as each offer would be.
void TakeReplacedServers(const ReplacedRecords& replaced)
{
    ShowReplacedServers(replaced.recordIndexes, replaced.fresh, replaced.count);
    for (int index = 0; index < replaced.count; index++) {
        int record = replaced.recordIndexes[index];
        FollowChangedRecord(record);
        FollowFreePlace(record);
        FollowLinkedRecord(record);
    }
}

}  // namespace

void SetUpdateButtons(UpdateButtonState state)
{
    SendMessageW(MainWindow, WM_SET_UPDATE_BUTTONS, state, 0);
}

HWND CreateMainWindow(HINSTANCE instance)
{
    AppInstance = instance;
    MainWindowKeys = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDA_MAIN_KEYS));
    MainWindow = nullptr;
    CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
    return MainWindow;
}

namespace {

// Enter on a server joins it, as a double-click does; Down in the filter
// line goes on into the list. The dialog manager would take both.
bool TranslateListKeys(const MSG* message)
{
    if (message->message != WM_KEYDOWN)
        return false;
    if (message->wParam == VK_RETURN && message->hwnd == ServerList) {
        LaunchGame(SelectedServerRow());
        return true;
    }
    if (message->wParam == VK_DOWN && message->hwnd == GetDlgItem(MainWindow, IDC_FILTER_TEXT)) {
        EnterServerList();
        return true;
    }
    return false;
}

}  // namespace

bool TranslateMainWindowKeys(MSG* message)
{
    // "/" typed in the server list opens the filter line, as in a pager.
    if (message->message == WM_CHAR && message->hwnd == ServerList && message->wParam == L'/') {
        ShowFilterLine();
        return true;
    }
    if (IsWindow(MainWindow) && TranslateListKeys(message))
        return true;
    return MainWindowKeys != nullptr && IsWindow(MainWindow) &&
           TranslateAcceleratorW(MainWindow, MainWindowKeys, message) != 0;
}

int RunMainWindow(HINSTANCE instance, const wchar_t* link)
{
    if (link[0] != L'\0')
        KeepJoinLink(link);
    if (CreateMainWindow(instance) == nullptr)
        return 1;
    PublishMainWindow(MainWindow);
    SetSmallIcon();
    OfferToTakeOverLinks();
    if (link[0] != L'\0')
        PostMessageW(MainWindow, WM_FOLLOW_JOIN_LINK, 0, 0);

    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (IsUserAction(message.message))
            PaintHeldChanges();
        if (TranslateMainWindowKeys(&message))
            continue;
        if (!IsDialogMessageW(MainWindow, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

void InitMainWindow(HWND window)
{
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    GetVersionExW(&version);

    AbortEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (AbortEvent == nullptr) {
        PostQuitMessage(1);
        return;
    }
    IsXpOrLater = version.dwMajorVersion > 5 || (version.dwMajorVersion == 5 && version.dwMinorVersion >= 1);

    WSADATA winsock;
    if (WSAStartup(MAKEWORD(1, 1), &winsock) != 0) {
        MessageBoxW(window, L"Couldn't load Winsock!", L"Error", MB_OK);
        PostQuitMessage(1);
        return;
    }

    ServerTable.count = 0;
    WindowDpi = DpiOfWindow(window);
    TemplateFontDpi = WindowDpi;
    TemplateFont = reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0));
    KeepDialogScaling(window);
    ForgetServerNews();
    CreateBrowserViews(window, AppInstance);
    CreateStatusTips(window);
    DrawClassicUnderWine(StatusBar);
    CreateFilterLine(window);
    ForgetDeclinedFolders();
    AttachSizerToLayout(window);
    LoadSettings();
    FollowNotificationChoice();
    ShowSortArrow();
    if (PlayerViewDetails && IsXpOrLater)
        SendDlgItemMessageW(window, IDC_PLAYER_LIST, LVM_SETVIEW, LV_VIEW_DETAILS, 0);
    SetWindowTextW(window, MainWindowTitle);
    ShowWindow(window, OpenMaximized ? SW_SHOWMAXIMIZED : SW_SHOWNORMAL);
    UpdateWindow(window);
    StartRefreshSchedule();
    StartOrAbortUpdate();
}

INT_PTR CALLBACK MainDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        MainWindow = window;
        InitMainWindow(window);
        return TRUE;
    case WM_COMMAND:
        RouteCommand(LOWORD(wParam), HIWORD(wParam));
        return FALSE;
    case WM_NOTIFY:
        return RouteNotification(wParam, reinterpret_cast<NMHDR*>(lParam));
    case WM_CONTEXTMENU:
        // The player list's right click switches its view instead.
        if (reinterpret_cast<HWND>(wParam) != ServerList)
            return FALSE;
        ShowServerMenu(AppInstance, lParam);
        return TRUE;
    case WM_SIZE:
        if (HideWhenMinimised(wParam))
            return FALSE;
        ResizeListColumns(LOWORD(lParam));
        SizeStatusBarParts(LOWORD(lParam));
        PlaceStatusTips();
        RepaintAfterResize(wParam);
        return FALSE;
    case WM_DPICHANGED:
        ApplyDisplayScale(LOWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(MainWindow);
        return TRUE;
    case WM_TIMER:
        if (wParam == PaintTimerId)
            PaintOnTimer();
        else if (wParam == ProgressTimerId)
            ShowTaskbarProgress();
        else if (wParam == FreePlaceTimerId)
            AskForFreePlace();
        else if (wParam == NewsTimerId)
            TellServerNews();
        else if (wParam == JoinLinkTimerId)
            FollowJoinLinkTimer();
        else if (wParam == ProgressLineTimerId)
            EndProgressLineSpacing();
        else if (wParam == RefreshScheduleTimerId)
            FollowRefreshSchedule();
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE)
            NoteWindowActivated();
        return FALSE;
    case WM_ENDSESSION:
        // At logoff or shutdown Windows ends the program after this message,
        // without WM_DESTROY: the settings are saved now.
        if (wParam)
            StoreSettings();
        return TRUE;
    case WM_DESTROY:
        StopGameSearch(true);
        StopFreePlaceWait(true);
        CancelServerRefresh();
        RemoveNotificationIcon();
        PaintHeldChanges();
        SaveSettings();
        PostQuitMessage(0);
        return FALSE;
    case WM_SET_UPDATE_BUTTONS:
        ApplyUpdateButtons(static_cast<UpdateButtonState>(wParam));
        return TRUE;
    case WM_OFFER_SERVERS:
        TakeOfferedServers(reinterpret_cast<const int*>(lParam), static_cast<int>(wParam));
        return TRUE;
    case WM_APPEND_SERVERS:
        SetWindowLongPtrW(MainWindow, DWLP_MSGRESULT,
                          TakeAppendedServers(reinterpret_cast<const ServerAddress*>(lParam), static_cast<int>(wParam)));
        return TRUE;
    case WM_RESET_SERVER_VIEWS:
        ClearServerViews();
        FindPlayerFollowTable(true);
        ServerDetailsFollowTable(-1);
        return TRUE;
    case WM_SHOW_STATUS_TEXT:
        ShowStatusText(reinterpret_cast<const wchar_t*>(lParam));
        return TRUE;
    case WM_SHOW_PROGRESS_TEXT:
        ShowWaitingProgress();
        return TRUE;
    case WM_REFRESH_COUNTS:
        ShowCounts();
        return TRUE;
    case WM_REPLACE_SERVER_RECORDS:
        TakeReplacedServers(*reinterpret_cast<const ReplacedRecords*>(lParam));
        return TRUE;
    case WM_NOTIFICATION_ICON:
        TakeNotificationIconEvent(lParam);
        return TRUE;
    case WM_NOTE_SILENT_SERVERS:
        ShowSilentServers(reinterpret_cast<const int*>(lParam), static_cast<int>(wParam));
        return TRUE;
    case WM_CONFIRM_GAME_FOLDER:
        SetWindowLongPtrW(window, DWLP_MSGRESULT, ConfirmGameFolder(reinterpret_cast<const wchar_t*>(lParam)));
        return TRUE;
    case WM_GAME_SEARCH_DONE:
        FinishJoinSearch(static_cast<int>(wParam));
        return TRUE;
    case WM_TAKE_FREE_PLACE:
        JoinFreePlace();
        return TRUE;
    case WM_FOLLOW_JOIN_LINK:
        FollowJoinLink();
        return TRUE;
    case WM_JOIN_LINK_LOOKED_UP:
        FollowLinkLookup(reinterpret_cast<const NameLookup*>(lParam));
        return TRUE;
    case WM_ASK_JOIN_LINK:
        AskJoinLink();
        return TRUE;
    case WM_COPYDATA:
        SetWindowLongPtrW(window, DWLP_MSGRESULT,
                          TakeHandedLink(reinterpret_cast<const COPYDATASTRUCT*>(lParam)));
        return TRUE;
    case WM_ENABLE:
        if (wParam)
            FollowWindowEnabled();
        return FALSE;
    case WM_NOTE_FAVOURITE_ADDRESSES:
        TakeFavouriteAddresses(reinterpret_cast<const AddressList*>(lParam));
        return TRUE;
    default:
        return TakeShellRestart(message) || TakeNewTaskbarButton(message);
    }
}
