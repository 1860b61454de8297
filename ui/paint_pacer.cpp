// Paced painting of the server list and the status bar.
//
// Under Wine every insert into a visible report list repaints its scroll
// bars, and every status bar text repaints the bar, at once: several
// milliseconds per change, which the engine's threads wait for; with redraw
// off a change costs microseconds. A repaint of the list costs ten or so
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

// A control whose painting is held back: since when, and what its last
// repaint cost, which spaces its repaints during a burst.
struct HeldPainting {
    bool held;
    DWORD since;
    DWORD cost;
};

// During a burst a repaint waits at least this many times its last cost, so
// painting never takes more than a tenth of the window's time, however slow
// the display.
const DWORD CostSpacing = 9;

HeldPainting Bar;
HeldPainting List;
bool ListChangeInView;
DWORD LastChange;

bool Due(const HeldPainting& painting, DWORD interval, DWORD now)
{
    DWORD spacing = painting.cost * CostSpacing;
    return painting.held && now - painting.since >= (spacing > interval ? spacing : interval);
}

void Release(HWND control, HeldPainting* painting)
{
    painting->held = false;
    if (control == nullptr)
        return;
    DWORD start = timeGetTime();
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control, nullptr, TRUE);
    UpdateWindow(control);
    painting->cost = timeGetTime() - start;
}

void PaintList()
{
    ListChangeInView = false;
    Release(ServerList, &List);
}

void PaintBar()
{
    Release(StatusBar, &Bar);
}

void StopTimerWhenPainted()
{
    if (!Bar.held && !List.held)
        KillTimer(MainWindow, PaintTimerId);
}

// Sent messages come before timers: in a steady burst the timer seldom
// comes, so the changes themselves keep the screen up to date.
void PaintDueChanges()
{
    DWORD now = timeGetTime();
    if (!Due(Bar, PaintInterval, now))
        return;
    if (Due(List, ListChangeInView ? PaintInterval : ListPaintInterval, now))
        PaintList();
    PaintBar();
    StopTimerWhenPainted();
}

void Hold(HWND control, HeldPainting* painting)
{
    if (control != nullptr)
        SendMessageW(control, WM_SETREDRAW, FALSE, 0);
    painting->held = true;
    painting->since = timeGetTime();
}

}  // namespace

void HoldPainting()
{
    PaintDueChanges();
    LastChange = timeGetTime();
    if (Bar.held)
        return;
    Hold(StatusBar, &Bar);
    SetTimer(MainWindow, PaintTimerId, PaintInterval, nullptr);
}

void HoldListPainting(bool inView)
{
    HoldPainting();
    if (!List.held) {
        // Turning redraw off drops the header's pending painting, and the
        // list's repaint leaves the header out: it is painted now.
        if (ServerList != nullptr)
            UpdateWindow(reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0)));
        Hold(ServerList, &List);
    }
    ListChangeInView = ListChangeInView || inView;
}

void PaintHeldChanges()
{
    if (List.held)
        PaintList();
    if (Bar.held)
        PaintBar();
    StopTimerWhenPainted();
}

void PaintOnTimer()
{
    if (timeGetTime() - LastChange >= PaintInterval)
        PaintHeldChanges();
    else
        PaintDueChanges();
}

bool PaintingHeld()
{
    return Bar.held || List.held;
}
