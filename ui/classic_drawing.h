// Classic drawing under Wine.
//
// Wine draws the visual styles on the processor, in slow paths: a repaint of
// the status bar costs about 10 ms with the style against 1 to 2 ms without,
// and turning a list's redraw back on, which draws its scroll bars twice,
// 8 to 9 ms against under 1 ms. During an update both happen several times a
// second, and the window does not answer meanwhile. Under Wine these are
// therefore drawn in the classic style; on Windows the styles stay.
#pragma once

#include <windows.h>

// Under Wine, from now on: the status bar, and every scroll bar of the
// program, are drawn in the classic style.
void DrawClassicUnderWine(HWND statusBar);
