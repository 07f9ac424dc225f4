// A zoomed view drawn from the kept reductions, only its visible part: a view that is still a
// reduction is area-averaged from the smallest level with a pixel for every drawn pixel (as exact
// as the fitted view), an enlargement is a half-tone stretch of just the source pixels that show.
// Window's thread only.
#pragma once
#include <windows.h>
#include <cstdint>

#include "view/rects.h"
#include "picture/win32/dib_image.h"
#include "view/win32/zoom_reductions.h"

// How a view that is still a reduction is averaged. A level mixes the source pixels it halves, so
// fine detail (1-pixel lines) averaged from it differs from the exact average of the picture by a
// few levels where an output pixel's edge splits a level pixel; the exact view reads the full-size
// picture's visible part instead, which costs a few times more.
enum class ZoomQuality {
  kQuick,  // from the smallest level with a pixel for every drawn pixel: while input comes
  kExact,  // from the full-size picture: once input has paused
};

struct ZoomedSource {
  const CImage* picture;              // the full-size picture
  const ZoomReductions* reductions;   // its levels, or null when none match it
  bool alphaPath;                     // drawn with per-pixel alpha over the background
  ZoomQuality quality;
};

// Draws the part of the picture at `drawn` that falls inside `clip` (area pixels; the whole area
// for a full frame, an exposed strip for a pan) into frame, whose margins are already filled.
// Returns false when it drew from a level, that is not the exact view.
bool DrawZoomedPart(HDC frame, const XywhRect& drawn, const XywhRect& clip, const ZoomedSource& source);
