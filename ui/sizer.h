// The Sizer: an anchor layout for dialog windows. Attached to a window with a
// table of its controls, it moves and stretches them when the client area
// changes size, keeps the window from shrinking below its size at attach
// time (or below its monitor's work area, when that is smaller), and draws
// and hit-tests a size grip, all at the window's display scale. It subclasses the window and keeps its state in two window
// properties, and leaves on WM_DESTROY.
#pragma once

#include <windows.h>

enum AnchorFlags {
    MoveX = 1,  // left and right edges follow the width
    MoveY = 2,  // top and bottom edges follow the height
    GrowX = 4,  // the right edge follows the width
    GrowY = 8,  // the bottom edge follows the height
};

struct AnchorEntry {
    int controlId;
    int flags;  // AnchorFlags; -1 ends a table
};

const int AnchorTableEnd = -1;

struct SizerRecord {
    int entryCount;  // terminator included
    AnchorEntry* anchors;
    int minimumWidth;
    int minimumHeight;
    int maximumWidth;
    int maximumHeight;
    BYTE hasMaximum;
    int clientWidth;
    int clientHeight;
    BYTE maximized;
    BOOL gripEnabled;
    RECT gripRect;
    UINT dpi;  // the window's display scale, which sizes the grip
    // For each anchored control, where the layout puts it, and where it was
    // put: the same but when the window is smaller than the layout, where a
    // control is given no less than nothing. The layout goes on from where
    // it would be, so the window growing again restores it exactly; a
    // control moved by its window's own code goes on from where it is.
    RECT* planned;
    RECT* placed;
};

extern const wchar_t SizerProperty[];
extern const wchar_t SizerWindowProcProperty[];

// Attaches to `window`, copying `anchors`; `maximumSize` may be null.
bool SizerAttach(HWND window, const AnchorEntry* anchors, bool gripEnabled, const POINT* maximumSize);

void SizerLayout(HWND window, int clientWidth, int clientHeight);

// The window's DPI changes: the anchored controls, the minimum size and the
// grip are scaled to the new one, keeping the layout's proportions. Call
// before the window takes its size for the new DPI.
void SizerRescale(HWND window, UINT fromDpi, UINT toDpi);

RECT SizerGripRect(int clientWidth, int clientHeight, UINT dpi);

LRESULT CALLBACK SizerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
