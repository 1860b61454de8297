// The Sizer.
#include "ui/sizer.h"

#include <commctrl.h>
#include <windowsx.h>

#include "ui/display_scale.h"

const wchar_t SizerProperty[] = L"SizerProperty";
const wchar_t SizerWindowProcProperty[] = L"SizerWindowProc";

namespace {

// Under Wine every GetPropW is a round trip to the Wine server, and the
// Sizer reads its properties on every message its window gets: a list's
// repaint alone sends it a hundred notifications. The properties of the last
// window asked about are kept at hand, per thread, as windows are.
struct KnownWindow {
    HWND window;
    SizerRecord* record;
    WNDPROC previous;
};

thread_local KnownWindow Known;

const KnownWindow& Know(HWND window)
{
    if (Known.window != window) {
        Known.window = window;
        Known.record = static_cast<SizerRecord*>(GetPropW(window, SizerProperty));
        Known.previous = reinterpret_cast<WNDPROC>(GetPropW(window, SizerWindowProcProperty));
    }
    return Known;
}

// A property of the window changes: it is read again when next needed.
void Forget(HWND window)
{
    if (Known.window == window)
        Known.window = nullptr;
}

SizerRecord* RecordOf(HWND window)
{
    return Know(window).record;
}

WNDPROC PreviousProcOf(HWND window)
{
    return Know(window).previous;
}

LRESULT PassOn(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WNDPROC previous = PreviousProcOf(window);
    if (previous == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return CallWindowProcW(previous, window, message, wParam, lParam);
}

void ReleaseRecord(HWND window, SizerRecord* record)
{
    RemovePropW(window, SizerProperty);
    Forget(window);
    if (record->anchors != nullptr)
        HeapFree(GetProcessHeap(), 0, record->anchors);
    if (record->planned != nullptr)
        HeapFree(GetProcessHeap(), 0, record->planned);
    HeapFree(GetProcessHeap(), 0, record);
}

// Puts the window's own procedure back and forgets it.
void Unsubclass(HWND window)
{
    WNDPROC previous = PreviousProcOf(window);
    if (previous != nullptr)
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    RemovePropW(window, SizerWindowProcProperty);
    Forget(window);
}

RECT MovedRect(RECT rect, int flags, int dx, int dy)
{
    if (flags & MoveX) {
        rect.left += dx;
        rect.right += dx;
    }
    if (flags & MoveY) {
        rect.top += dy;
        rect.bottom += dy;
    }
    if (flags & GrowX)
        rect.right += dx;
    if (flags & GrowY)
        rect.bottom += dy;
    return rect;
}

// Every edge scaled from one DPI to another; the flags play no part.
RECT ScaledRect(RECT rect, int, int fromDpi, int toDpi)
{
    RECT scaled = {MulDiv(rect.left, toDpi, fromDpi), MulDiv(rect.top, toDpi, fromDpi),
                   MulDiv(rect.right, toDpi, fromDpi), MulDiv(rect.bottom, toDpi, fromDpi)};
    return scaled;
}

typedef RECT (*PlaceFunction)(RECT rect, int flags, int first, int second);

RECT ControlRect(HWND window, HWND control)
{
    RECT rect;
    GetWindowRect(control, &rect);
    MapWindowPoints(HWND_DESKTOP, window, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

// A rectangle turned inside out by a window smaller than its layout is
// given no width or height.
RECT NoLessThanNothing(RECT rect)
{
    if (rect.right < rect.left)
        rect.right = rect.left;
    if (rect.bottom < rect.top)
        rect.bottom = rect.top;
    return rect;
}

// Gives every anchored control the rectangle `place` makes of where the
// layout has it, all in one batch, so the window is rearranged in one step.
void PlaceControls(HWND window, SizerRecord* record, PlaceFunction place, int first, int second)
{
    HDWP batch = BeginDeferWindowPos(record->entryCount);
    for (int row = 0; row < record->entryCount && record->anchors[row].flags != AnchorTableEnd; row++) {
        HWND control = GetDlgItem(window, record->anchors[row].controlId);
        if (control == nullptr)
            continue;
        RECT present = ControlRect(window, control);
        RECT from = EqualRect(&present, &record->placed[row]) ? record->planned[row] : present;
        record->planned[row] = place(from, record->anchors[row].flags, first, second);
        RECT rect = NoLessThanNothing(record->planned[row]);
        record->placed[row] = rect;
        if (batch != nullptr)
            batch = DeferWindowPos(batch, control, nullptr, rect.left, rect.top, rect.right - rect.left,
                                   rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (batch != nullptr)
        EndDeferWindowPos(batch);
}

// Every control where it stands now, as planned and placed.
void NoteControls(HWND window, SizerRecord* record)
{
    for (int row = 0; row < record->entryCount && record->anchors[row].flags != AnchorTableEnd; row++) {
        HWND control = GetDlgItem(window, record->anchors[row].controlId);
        RECT rect = control != nullptr ? ControlRect(window, control) : RECT{};
        record->planned[row] = rect;
        record->placed[row] = rect;
    }
}

// Wipes the grip where it was and draws it where the client size puts it.
void MoveGrip(HWND window, SizerRecord* record)
{
    if (!record->gripEnabled)
        return;
    RECT oldGrip = record->gripRect;
    record->gripRect = SizerGripRect(record->clientWidth, record->clientHeight, record->dpi);
    RECT changed;
    UnionRect(&changed, &oldGrip, &record->gripRect);
    InvalidateRect(window, &changed, TRUE);
}

void DrawGrip(HWND window, HDC context)
{
    SizerRecord* record = RecordOf(window);
    if (record != nullptr && record->gripEnabled && !record->maximized)
        DrawFrameControl(context, &record->gripRect, DFC_SCROLL, DFCS_SCROLLSIZEGRIP);
}

LRESULT HitTestGrip(HWND window, LPARAM lParam)
{
    SizerRecord* record = RecordOf(window);
    if (record == nullptr || !record->gripEnabled)
        return -1;
    POINT point = {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    ScreenToClient(window, &point);
    return PtInRect(&record->gripRect, point) ? HTBOTTOMRIGHT : -1;
}

// The minimum size holds where the monitor's work area can hold it: on a
// smaller screen (a large display scale on a narrow one), the window may be
// as small as the work area, maximised to it, and its layout shrinks.
void SetTrackingLimits(HWND window, MINMAXINFO* limits)
{
    SizerRecord* record = RecordOf(window);
    if (record == nullptr)
        return;
    limits->ptMinTrackSize.x = record->minimumWidth;
    limits->ptMinTrackSize.y = record->minimumHeight;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST), &monitor)) {
        LONG workWidth = monitor.rcWork.right - monitor.rcWork.left;
        LONG workHeight = monitor.rcWork.bottom - monitor.rcWork.top;
        limits->ptMinTrackSize.x = limits->ptMinTrackSize.x < workWidth ? limits->ptMinTrackSize.x : workWidth;
        limits->ptMinTrackSize.y = limits->ptMinTrackSize.y < workHeight ? limits->ptMinTrackSize.y : workHeight;
    }
    if (record->hasMaximum) {
        limits->ptMaxTrackSize.x = record->maximumWidth;
        limits->ptMaxTrackSize.y = record->maximumHeight;
    }
}

// A property sheet page that becomes active lays out its parent.
void LayoutParent(HWND window)
{
    HWND parent = GetParent(window);
    RECT client;
    if (parent != nullptr && GetClientRect(parent, &client))
        SizerLayout(parent, client.right - client.left, client.bottom - client.top);
}

void Detach(HWND window)
{
    SizerRecord* record = RecordOf(window);
    if (record != nullptr)
        ReleaseRecord(window, record);
    Unsubclass(window);
}

}  // namespace

RECT SizerGripRect(int clientWidth, int clientHeight, UINT dpi)
{
    RECT grip = {clientWidth - MetricForDpi(SM_CYVSCROLL, dpi), clientHeight - MetricForDpi(SM_CXVSCROLL, dpi),
                 clientWidth, clientHeight};
    return grip;
}

bool SizerAttach(HWND window, const AnchorEntry* anchors, bool gripEnabled, const POINT* maximumSize)
{
    if (!IsWindow(window))
        return false;
    SizerRecord* record = RecordOf(window);
    bool attachedBefore = record != nullptr;
    if (record == nullptr) {
        record = static_cast<SizerRecord*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(SizerRecord)));
        if (record == nullptr)
            return false;
    }

    RECT outer;
    RECT client;
    GetWindowRect(window, &outer);
    GetClientRect(window, &client);
    record->minimumWidth = outer.right - outer.left;
    record->minimumHeight = outer.bottom - outer.top;
    record->clientWidth = client.right - client.left;
    record->clientHeight = client.bottom - client.top;
    record->dpi = DpiOfWindow(window);
    SetPropW(window, SizerProperty, record);
    Forget(window);
    record->gripRect = SizerGripRect(record->clientWidth, record->clientHeight, record->dpi);

    // A window attached before already runs SizerProc: subclassing it again
    // would make SizerProc its own previous procedure.
    if (!attachedBefore) {
        LONG_PTR previous = SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SizerProc));
        SetPropW(window, SizerWindowProcProperty, reinterpret_cast<HANDLE>(previous));
        Forget(window);
    }
    record->gripEnabled = gripEnabled;

    int entryCount = 1;
    while (anchors[entryCount - 1].flags != AnchorTableEnd)
        entryCount++;
    AnchorEntry* copy = static_cast<AnchorEntry*>(HeapAlloc(GetProcessHeap(), 0, entryCount * sizeof(AnchorEntry)));
    RECT* places = static_cast<RECT*>(HeapAlloc(GetProcessHeap(), 0, 2 * entryCount * sizeof(RECT)));
    if (copy == nullptr || places == nullptr) {
        if (copy != nullptr)
            HeapFree(GetProcessHeap(), 0, copy);
        if (places != nullptr)
            HeapFree(GetProcessHeap(), 0, places);
        // Undo the attachment before the record goes, so no message meets it.
        Unsubclass(window);
        ReleaseRecord(window, record);
        return false;
    }
    memcpy(copy, anchors, entryCount * sizeof(AnchorEntry));
    if (record->anchors != nullptr)
        HeapFree(GetProcessHeap(), 0, record->anchors);
    if (record->planned != nullptr)
        HeapFree(GetProcessHeap(), 0, record->planned);
    record->anchors = copy;
    record->entryCount = entryCount;
    record->planned = places;
    record->placed = places + entryCount;
    NoteControls(window, record);

    if (maximumSize != nullptr) {
        record->maximumWidth = maximumSize->x;
        record->maximumHeight = maximumSize->y;
        record->hasMaximum = 1;
    }
    return true;
}

void SizerLayout(HWND window, int clientWidth, int clientHeight)
{
    SizerRecord* record = RecordOf(window);
    if (record == nullptr)
        return;
    int dx = clientWidth - record->clientWidth;
    int dy = clientHeight - record->clientHeight;
    if (dx == 0 && dy == 0)
        return;

    PlaceControls(window, record, MovedRect, dx, dy);
    record->clientWidth = clientWidth;
    record->clientHeight = clientHeight;
    MoveGrip(window, record);
}

void SizerRescale(HWND window, UINT fromDpi, UINT toDpi)
{
    SizerRecord* record = RecordOf(window);
    if (record == nullptr || fromDpi == 0 || fromDpi == toDpi)
        return;
    int from = static_cast<int>(fromDpi);
    int to = static_cast<int>(toDpi);
    PlaceControls(window, record, ScaledRect, from, to);
    record->minimumWidth = MulDiv(record->minimumWidth, to, from);
    record->minimumHeight = MulDiv(record->minimumHeight, to, from);
    record->clientWidth = MulDiv(record->clientWidth, to, from);
    record->clientHeight = MulDiv(record->clientHeight, to, from);
    record->dpi = toDpi;
    MoveGrip(window, record);
}

LRESULT CALLBACK SizerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        if (RecordOf(window) != nullptr && wParam != SIZE_MINIMIZED) {
            RecordOf(window)->maximized = wParam == SIZE_MAXIMIZED;
            SizerLayout(window, LOWORD(lParam), HIWORD(lParam));
        }
        return PassOn(window, message, wParam, lParam);
    case WM_ERASEBKGND: {
        LRESULT result = PassOn(window, message, wParam, lParam);
        DrawGrip(window, reinterpret_cast<HDC>(wParam));
        return result;
    }
    case WM_NCHITTEST: {
        LRESULT hit = HitTestGrip(window, lParam);
        return hit == HTBOTTOMRIGHT ? hit : PassOn(window, message, wParam, lParam);
    }
    case WM_GETMINMAXINFO:
        SetTrackingLimits(window, reinterpret_cast<MINMAXINFO*>(lParam));
        return 0;
    case WM_NOTIFY:
        if (reinterpret_cast<NMHDR*>(lParam)->code == static_cast<UINT>(PSN_SETACTIVE))
            LayoutParent(window);
        return PassOn(window, message, wParam, lParam);
    case WM_DESTROY: {
        // Keep the window's own procedure: it must still see WM_DESTROY.
        WNDPROC previous = PreviousProcOf(window);
        Detach(window);
        return previous != nullptr ? CallWindowProcW(previous, window, message, wParam, lParam)
                                   : DefWindowProcW(window, message, wParam, lParam);
    }
    default:
        return PassOn(window, message, wParam, lParam);
    }
}
