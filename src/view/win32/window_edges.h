// A window's outer rectangle as the program keeps window rectangles.
#pragma once
#include <windows.h>

#include "view/rects.h"

inline EdgeRect WindowEdges(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return EdgeRect{r.left, r.top, r.right, r.bottom};
}
