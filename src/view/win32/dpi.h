// Conversions between device pixels and 96-dpi units at the DPI of the monitor the viewer window
// is on. The DPI is state the window owns (PictureView::dpi): asked of the system when the window
// is made and taken from WM_DPICHANGED whenever the window moves to a monitor of another scale.
#pragma once
#include <windows.h>

#include <cstdint>

// Logical pixels per inch, horizontal and vertical; 96 until asked.
struct DisplayDpi {
  int32_t x = 96;
  int32_t y = 96;
  bool operator==(const DisplayDpi& o) const { return x == o.x && y == o.y; }
  bool operator!=(const DisplayDpi& o) const { return !(*this == o); }
};

// Any thread. The DPI of the monitor the window is on: GetDpiForWindow where the system has it
// (Windows 10 1607 and later), else GetDpiForMonitor (Windows 8.1), else the screen context's
// LOGPIXELS; 96 when none answers.
DisplayDpi DpiOfWindow(HWND window);
// Any thread. The DPI of the monitor the rectangle mostly lies on (the primary one when it lies
// on none), asked the same way: for a window not yet placed there.
DisplayDpi DpiOfMonitorUnder(const RECT& screenRect);

int32_t ScaleX(const DisplayDpi& dpi, int32_t v);
int32_t ScaleY(const DisplayDpi& dpi, int32_t v);
int32_t UnscaleX(const DisplayDpi& dpi, int32_t v);
int32_t UnscaleY(const DisplayDpi& dpi, int32_t v);
