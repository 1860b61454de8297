// One browser at a time: a second start brings the running window to the
// front instead of opening another that would save stale settings over the
// first one's. The lab copy and the program each have their own name.
#pragma once

#include <windows.h>

// True for the first copy. A later one brings the running window to the
// front (restored if it was minimised), hands it `link` when that is not
// empty, and gets false. A first copy that is
// closing is waited for, and this one then runs as the first; one this copy
// may not reach (run with other rights), or that shows no window within
// five seconds, is told of in a message box, and this copy gets false.
bool ClaimFirstCopy(const wchar_t* link = L"");

// Lets later copies find this copy's main window.
void PublishMainWindow(HWND window);
