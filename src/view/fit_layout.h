// Where the picture lands in the picture area: the fitted rectangle, the zoomed one and the
// margin strips around it. All in pixels of the picture area, origin at its top-left corner.
#pragma once
#include <cstdint>

#include "view/rects.h"

// The image scaled to touch two opposite edges of a width x height area, aspect kept (up to
// truncation), centred with any odd pixel left to the right or bottom margin. Computed in
// 32-bit floats as the viewer always has, so results match it pixel for pixel.
XywhRect FitImage(int32_t imageWidth, int32_t imageHeight, int32_t areaWidth, int32_t areaHeight);

// The fitted rectangle itself when zoom is exactly 1.0, else the fitted rectangle magnified by
// zoom and moved by the pan, truncated toward zero. Never clamped to the area.
XywhRect DrawnRect(const XywhRect& fitted, float zoom, float panX, float panY);

// The strips of background around the picture, in painting order. Zero to four of them.
struct MarginStrips {
  XywhRect strips[4];
  int32_t count;
};

// The uncovered parts of the area: for zoom exactly 1.0 the four strips around the fitted
// rectangle (they tile the area with it); otherwise each of right, left, top, bottom whose
// float test against the area's edge holds.
MarginStrips MarginStripsFor(const XywhRect& fitted, float zoom, float panX, float panY,
                             int32_t areaWidth, int32_t areaHeight);
