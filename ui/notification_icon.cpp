// The browser's icon in the notification area.
#include "ui/notification_icon.h"

#include "engine/master_update.h"
#include "engine/server_table.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/main_window.h"
#include "ui/server_list.h"

BOOL(WINAPI* NotifyShell)(DWORD message, PNOTIFYICONDATAW data) = Shell_NotifyIconW;

namespace {

const UINT IconId = 1;
const wchar_t IconTip[] = L"Quarrix Server Browser";

bool IconShown;
// Added for news alone: it goes once the news is seen.
bool IconForNews;
// The server of the balloon shown last.
DWORD BalloonAddress;
WORD BalloonPort;
UINT TaskbarCreated;

NOTIFYICONDATAW IconData(UINT flags)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = MainWindow;
    data.uID = IconId;
    data.uFlags = flags;
    return data;
}

bool AddIcon()
{
    if (IconShown)
        return true;
    NOTIFYICONDATAW data = IconData(NIF_MESSAGE | NIF_ICON | NIF_TIP);
    data.uCallbackMessage = WM_NOTIFICATION_ICON;
    data.hIcon = static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APPLICATION_ICON),
                                               IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                               GetSystemMetrics(SM_CYSMICON), LR_SHARED));
    lstrcpynW(data.szTip, IconTip, ARRAYSIZE(data.szTip));
    IconShown = NotifyShell(NIM_ADD, &data) != FALSE;
    return IconShown;
}

void RemoveIcon()
{
    if (!IconShown)
        return;
    NOTIFYICONDATAW data = IconData(0);
    NotifyShell(NIM_DELETE, &data);
    IconShown = false;
    IconForNews = false;
}

// The balloon's server, selected and in view when it is listed.
void SelectBalloonServer()
{
    int record = FindServerRecord(BalloonAddress, BalloonPort);
    int row = record != -1 ? RowOfRecord(record) : -1;
    if (row != -1)
        ShowServerRow(row);
}

// Brings the window back from the notification area or behind others.
void OpenMainWindow()
{
    if (!IsWindowVisible(MainWindow) || IsIconic(MainWindow))
        ShowWindow(MainWindow, SW_RESTORE);
    SetForegroundWindow(MainWindow);
}

// The menu belongs to the window while it shows, so that a click elsewhere
// closes it.
void ShowIconMenu()
{
    HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDM_NOTIFICATION_ICON));
    if (menu == nullptr)
        return;
    HMENU iconMenu = GetSubMenu(menu, 0);
    SetMenuDefaultItem(iconMenu, IDM_OPEN_WINDOW, FALSE);
    POINT point;
    GetCursorPos(&point);
    SetForegroundWindow(MainWindow);
    TrackPopupMenu(iconMenu, TPM_RIGHTBUTTON, point.x, point.y, 0, MainWindow, nullptr);
    PostMessageW(MainWindow, WM_NULL, 0, 0);
    DestroyMenu(menu);
}

}  // namespace

void ShowNewsBalloon(const wchar_t* text, DWORD address, WORD port)
{
    bool added = !IconShown;
    if (!AddIcon())
        return;
    IconForNews = IconForNews || (added && !KeepInNotificationArea);
    NOTIFYICONDATAW data = IconData(NIF_INFO);
    lstrcpynW(data.szInfo, text, ARRAYSIZE(data.szInfo));
    lstrcpynW(data.szInfoTitle, IconTip, ARRAYSIZE(data.szInfoTitle));
    data.dwInfoFlags = NIIF_INFO;
    BalloonAddress = address;
    BalloonPort = port;
    NotifyShell(NIM_MODIFY, &data);
}

void NoteNewsSeen()
{
    if (IconForNews && !KeepInNotificationArea)
        RemoveIcon();
}

void FollowNotificationChoice()
{
    if (KeepInNotificationArea) {
        AddIcon();
        IconForNews = false;
    } else if (!IconForNews) {
        RemoveIcon();
    }
}

void RemoveNotificationIcon()
{
    RemoveIcon();
}

bool HideWhenMinimised(WPARAM sizeKind)
{
    if (sizeKind != SIZE_MINIMIZED || !KeepInNotificationArea || !AddIcon())
        return false;
    ShowWindow(MainWindow, SW_HIDE);
    return true;
}

void TakeNotificationIconEvent(LPARAM event)
{
    switch (LOWORD(event)) {
    case NIN_BALLOONUSERCLICK:
        OpenMainWindow();
        SelectBalloonServer();
        break;
    case WM_LBUTTONDBLCLK:
        OpenMainWindow();
        break;
    case WM_RBUTTONUP:
    case WM_CONTEXTMENU:
        ShowIconMenu();
        break;
    default:
        break;
    }
}

bool RunNotificationCommand(WORD command)
{
    switch (command) {
    case IDM_OPEN_WINDOW:
        OpenMainWindow();
        return true;
    case IDM_ICON_UPDATE:
        // As the button does: nothing while an update runs.
        if (!UpdateBusy)
            SendMessageW(MainWindow, WM_COMMAND, IDC_UPDATE, 0);
        return true;
    case IDM_ICON_EXIT:
        DestroyWindow(MainWindow);
        return true;
    default:
        return false;
    }
}

bool TakeShellRestart(UINT message)
{
    if (TaskbarCreated == 0)
        TaskbarCreated = RegisterWindowMessageW(L"TaskbarCreated");
    if (message != TaskbarCreated || TaskbarCreated == 0)
        return false;
    if (IconShown) {
        IconShown = false;
        AddIcon();
    }
    return true;
}
