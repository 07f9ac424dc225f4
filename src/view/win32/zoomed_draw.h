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
// few levels where an output pixel's edge splits a level pixel; the exact view of a large picture
// is averaged on the worker (view/win32/exact_view.h).
enum class ZoomQuality {
  // From the smallest level with a pixel for every drawn pixel (the picture itself when none is
  // that small); without levels, the stand-in stretched where a level would serve.
  kQuick,
  // From `picture` itself, whatever its size: for pictures small enough to average on the
  // window's thread (a turn's stand-in).
  kExact,
};

// The averaged part goes through one 32-bit DIB kept between frames (a drag draws many); the
// picture view owns it.
class ZoomScratch {
 public:
  bool Ensure(int32_t width, int32_t height);
  const CImage& Image() const { return image_; }

 private:
  CImage image_;
};

struct ZoomedSource {
  const CImage* picture;              // the full-size picture
  const ZoomReductions* reductions;   // its levels, or null when none match it
  bool alphaPath;                     // drawn with per-pixel alpha over the background
  ZoomQuality quality;
  const CImage* standIn = nullptr;    // the picture's fitted copy at any size, or null
  bool standInAlpha = false;
  ZoomScratch* scratch = nullptr;     // where an average goes; without one, parts are stretched
};

// Draws the part of the picture at `drawn` that falls inside `clip` (area pixels; the whole area
// for a full frame, an exposed strip for a pan) into frame, whose margins are already filled.
// Returns false when what it drew is not the exact view (a level, the stand-in, or nothing yet).
bool DrawZoomedPart(HDC frame, const XywhRect& drawn, const XywhRect& clip, const ZoomedSource& source);

// Puts an averaged part (32-bit, its own size) at (x, y) of the frame: blitted, or blended over
// what is there on the per-pixel alpha path.
void PutAveragedPart(HDC frame, const CImage& part, int32_t x, int32_t y, bool alphaPath, bool withAlpha);
