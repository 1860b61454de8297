// The display's scale. Sizes the program sets in pixels are given for 96 DPI,
// the scale of the templates' pixel figures, and follow the DPI of the main
// window's monitor: the window's DPI when it is made, and each new one that
// WM_DPICHANGED brings.
#pragma once

#include <windows.h>

const UINT BaseDpi = 96;

// Sent when the window has moved to a monitor of another scale: the new DPI
// in wParam's low word, the suggested window rectangle at lParam.
#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0
#endif

// The main window's DPI; BaseDpi until the window has been measured.
extern UINT WindowDpi;

// The DPI of the monitor a window is on; the system's on Windows without
// per-monitor scaling.
UINT DpiOfWindow(HWND window);

// Pixels at 96 DPI, at this DPI.
int ScaleToDpi(int pixels, UINT dpi);

// A system metric (GetSystemMetrics) at this DPI.
int MetricForDpi(int index, UINT dpi);

// The whole factor by which the pictograms are enlarged at this DPI: the
// nearest one, at least 1.
int PictureScale(UINT dpi);

// Asks Windows to leave a dialog's rescaling to the program, which scales
// the dialog's controls itself when its DPI changes.
void KeepDialogScaling(HWND dialog);
