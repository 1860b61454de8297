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
// back. Most of a repaint of the list goes to drawing its rows' pictures, and
// the window answers nothing while it paints: outside the player's own
// actions it paints one half of the rows at a time, the other at its next
// turn.
#include "ui/paint_pacer.h"

#include <commctrl.h>
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

enum ListPart { NoPart, UpperHalf, LowerHalf, WholeList };

// The half of the list that still shows rows from before its other half's
// last repaint.
ListPart OwedHalf = NoPart;

bool Due(const HeldPainting& painting, bool unpainted, DWORD interval, DWORD now)
{
    DWORD spacing = painting.cost * CostSpacing;
    return unpainted && now - painting.since >= (spacing > interval ? spacing : interval);
}

// `left` is a part not repainted now, or nullptr.
void Release(HWND control, HeldPainting* painting, const RECT* left)
{
    painting->held = false;
    if (control == nullptr)
        return;
    DWORD start = timeGetTime();
    SendMessageW(control, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(control, nullptr, TRUE);
    if (left != nullptr)
        ValidateRect(control, left);
    UpdateWindow(control);
    painting->cost = timeGetTime() - start;
}

// The rows' half from the middle of what the list shows below its header;
// the header is a child of its own and not painted with them.
RECT ListHalf(ListPart part)
{
    RECT half;
    GetClientRect(ServerList, &half);
    RECT header = {};
    GetClientRect(reinterpret_cast<HWND>(SendMessageW(ServerList, LVM_GETHEADER, 0, 0)), &header);
    LONG middle = (header.bottom + half.bottom) / 2;
    (part == UpperHalf ? half.bottom : half.top) = middle;
    return half;
}

void RepaintList(ListPart part)
{
    ListChangeInView = false;
    OwedHalf = NoPart;
    RECT other = {};
    if (ServerList != nullptr && part != WholeList)
        other = ListHalf(part == UpperHalf ? LowerHalf : UpperHalf);
    Release(ServerList, &List, part != WholeList ? &other : nullptr);
}

// The half owed, else the upper, where the best pings are; after a change
// the other half is owed in turn.
void PaintListHalf()
{
    bool changed = List.held;
    ListPart part = OwedHalf == LowerHalf ? LowerHalf : UpperHalf;
    RepaintList(part);
    if (changed)
        OwedHalf = part == UpperHalf ? LowerHalf : UpperHalf;
}

bool ListUnpainted()
{
    return List.held || OwedHalf != NoPart;
}

void PaintBar()
{
    Release(StatusBar, &Bar, nullptr);
}

void StopTimerWhenPainted()
{
    if (!Bar.held && !ListUnpainted())
        KillTimer(MainWindow, PaintTimerId);
}

// Sent messages come before timers: in a steady burst the timer seldom
// comes, so the changes themselves keep the screen up to date.
void PaintDueChanges()
{
    DWORD now = timeGetTime();
    if (!Due(Bar, Bar.held, PaintInterval, now))
        return;
    if (Due(List, ListUnpainted(), ListChangeInView ? PaintInterval : ListPaintInterval, now))
        PaintListHalf();
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
    if (ListUnpainted())
        RepaintList(WholeList);
    if (Bar.held)
        PaintBar();
    StopTimerWhenPainted();
}

void PaintOnTimer()
{
    if (timeGetTime() - LastChange < PaintInterval) {
        PaintDueChanges();
        return;
    }
    // The burst is over: what is left of the list comes a half a tick.
    if (ListUnpainted())
        PaintListHalf();
    if (Bar.held)
        PaintBar();
    StopTimerWhenPainted();
}

bool PaintingHeld()
{
    return Bar.held || ListUnpainted();
}
