// Paced painting of the server list and the status bar.
//
// Under Wine every insert into a visible report list repaints its scroll
// bars, and every status bar text repaints the bar, at once: several
// milliseconds per change, which the engine's threads wait for; with redraw
// off a change costs microseconds. A repaint of the list costs tens of
// milliseconds, so during a burst it is repainted often only when the rows in
// view change. While the list's redraw is off its own painting answers
// WM_PAINT with nothing, so a repaint always invalidates it whole; the status
// bar's redraw switch also clears its WS_VISIBLE, which the repaint gives
// back.
#include "ui/paint_pacer.h"

#include <mmsystem.h>

#include "ui/main_window.h"
#include "ui/server_list.h"
#include "ui/status_bar.h"

namespace {

bool BarHeld;
DWORD BarHeldSince;
bool ListHeld;
DWORD ListHeldSince;
bool ListChangeInView;

void Release(HWND control)
{
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
}

void PaintList()
{
    ListHeld = false;
    ListChangeInView = false;
    if (ServerList != nullptr)
        Release(ServerList);
}

void PaintBar()
{
    BarHeld = false;
    KillTimer(MainWindow, PaintTimerId);
    if (StatusBar != nullptr)
        Release(StatusBar);
}

// Sent messages come before timers: in a burst the timer would never fire,
// so the changes themselves keep the screen up to date.
void PaintDueChanges()
{
    DWORD now = timeGetTime();
    if (!BarHeld || now - BarHeldSince < PaintInterval)
        return;
    if (ListHeld && (ListChangeInView || now - ListHeldSince >= ListPaintInterval))
        PaintList();
    PaintBar();
}

}  // namespace

void HoldPainting()
{
    PaintDueChanges();
    if (BarHeld)
        return;
    if (StatusBar != nullptr)
        SendMessageW(StatusBar, WM_SETREDRAW, FALSE, 0);
    BarHeld = true;
    BarHeldSince = timeGetTime();
    SetTimer(MainWindow, PaintTimerId, PaintInterval, nullptr);
}

void HoldListPainting(bool inView)
{
    HoldPainting();
    if (!ListHeld) {
        if (ServerList != nullptr)
            SendMessageW(ServerList, WM_SETREDRAW, FALSE, 0);
        ListHeld = true;
        ListHeldSince = timeGetTime();
    }
    ListChangeInView = ListChangeInView || inView;
}

void PaintHeldChanges()
{
    if (ListHeld)
        PaintList();
    if (BarHeld)
        PaintBar();
}

bool PaintingHeld()
{
    return BarHeld || ListHeld;
}
