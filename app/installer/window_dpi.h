// The DPI a window is drawn for, and what is made for it. The manifest declares
// per-monitor awareness, so Windows no longer stretches our windows as bitmaps: sizes
// laid out for 96 DPI (what Windows calls 100%) are scaled here instead. Windows before
// 10 1607 lacks the per-window functions: they are looked up at run time, so the stub
// still starts on 7 and 8, and the system DPI stands in.
#pragma once
#include <windows.h>

constexpr int kLayoutDpi = 96;  // the DPI our pixel layouts are drawn for

int windowDpi(HWND window);
int scaleToDpi(int pixels, int dpi);

// The outer size, at `dpi`, of a window of `style` that is `width` x `height` at 96 DPI:
// its client area scales, the frame and caption are what the system draws at `dpi`.
SIZE windowSizeForDpi(int width, int height, DWORD style, int dpi);

// DEFAULT_GUI_FONT's face at `dpi` (the stock font stays at the system DPI); null
// when it cannot be made. The caller deletes it.
HFONT makeGuiFont(int dpi);
