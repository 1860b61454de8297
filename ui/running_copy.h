// One browser at a time: a second start brings the running window to the
// front instead of opening another that would save stale settings over the
// first one's. The lab copy and the program each have their own name.
#pragma once

#include <windows.h>

// True for the first copy. A later one brings the running window to the
// front (restored if it was minimised) and gets false.
bool ClaimFirstCopy();

// Lets later copies find this copy's main window.
void PublishMainWindow(HWND window);
