// Display scaling: the windows are designed in pixels at 96 DPI, and every position, size
// and font height is scaled by the DPI of the display that a window is on. Functions that
// came after Windows 7 are looked up at run time, never imported, so that the program
// still starts there (system DPI aware, one DPI for the whole run).
#pragma once

#include <windows.h>

constexpr int kDesignDpi = 96;

// A design length at dpi, rounded half away from zero as MulDiv rounds.
inline int ScaleToDpi(int design, int dpi) { return MulDiv(design, dpi, kDesignDpi); }

// The DPI of the display before any window exists: the system's.
int SystemDpi();
// The DPI that a window is drawn at.
int WindowDpi(HWND hwnd);
// How much wider and taller than its client area a window of this style is at dpi: its
// borders, title bar and menu bar.
SIZE FrameSize(DWORD style, bool menu, DWORD ex_style, int dpi);
