// When the server list and the status bar repaint. Each change to them is
// made at once, so everything that reads them sees it; only the painting is
// held back during a burst of changes (an update at a high query rate, a
// rebuild of the list): the status bar, and the list when a change shows in
// its visible rows, repaint at most every PaintInterval milliseconds; the
// list's other changes (rows below the view, its scroll bar) every
// ListPaintInterval; a slow repaint waits longer (a tenth of the window's
// time at most goes to painting); everything once more when the burst is
// over.
#pragma once

#include <windows.h>

const DWORD PaintInterval = 50;
const DWORD ListPaintInterval = 250;
const UINT_PTR PaintTimerId = 1;

// Call before changing the status bar, on the UI thread. The first change
// of a burst turns painting off; a later one repaints what is due.
void HoldPainting();

// Call before changing the server list's rows; `inView` tells whether the
// change shows in the rows the list shows now.
void HoldListPainting(bool inView);

// Repaints now whatever painting holds back. Call before anything shows or
// reads the screen (a dialog, a message box, a column click, the user's
// clicks and keys).
void PaintHeldChanges();

// For PaintTimerId's WM_TIMER, which comes whenever the window is idle, also
// between the changes of a burst: repaints what is due, and everything once
// the changes have stopped for a PaintInterval.
void PaintOnTimer();

// Whether painting is being held back now.
bool PaintingHeld();
