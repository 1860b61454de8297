// Where the browser's dialogs open.
#include "ui/dialog_placement.h"

void CentreOverOwner(HWND dialog)
{
    HWND ownerWindow = GetWindow(dialog, GW_OWNER);
    RECT owner;
    RECT placed;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (ownerWindow == nullptr || !GetWindowRect(ownerWindow, &owner) || !GetWindowRect(dialog, &placed) ||
        !GetMonitorInfoW(MonitorFromWindow(ownerWindow, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT& work = monitor.rcWork;
    int width = placed.right - placed.left;
    int height = placed.bottom - placed.top;
    int left = owner.left + (owner.right - owner.left - width) / 2;
    int top = owner.top + (owner.bottom - owner.top - height) / 2;
    left = left + width > work.right ? work.right - width : left;
    top = top + height > work.bottom ? work.bottom - height : top;
    SetWindowPos(dialog, nullptr, left > work.left ? left : work.left, top > work.top ? top : work.top, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
