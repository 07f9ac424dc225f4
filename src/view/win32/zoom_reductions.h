// The halving reductions of a picture kept for its zoomed views (see view/zoom_levels.h), 32-bit,
// the depth the platform stretches and blits fastest. Made on the worker once a picture is shown
// or prepared, and adopted by the window's thread with the picture.
#pragma once
#include <cstdint>
#include <memory>
#include <vector>

#include "picture/win32/dib_image.h"

struct ZoomReductions {
  uint64_t sourceRevision = 0;  // the revision of the picture they were made from
  bool withAlpha = false;       // averaged with premultiplied alpha, for the per-pixel alpha path
  std::vector<std::unique_ptr<CImage>> levels;  // the first is the picture halved

  // True when they were made from that picture, for that way of drawing.
  bool Match(const CImage& source, bool alpha) const {
    return !levels.empty() && !source.IsNull() && sourceRevision == source.Revision() && withAlpha == alpha;
  }
  void Swap(ZoomReductions& other);
  uint64_t Bytes() const;
};

// Makes the levels of source down to about fittedWidth x fittedHeight. False (reductions emptied)
// when there are none to make or memory is short. Any thread, on images it alone uses.
bool MakeZoomReductions(const PixelHold& source, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                        ZoomReductions& reductions);
bool MakeZoomReductions(const CImage& source, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                        ZoomReductions& reductions);

// The copies a shown picture is drawn from: its fitted copy and its halving levels, both averaged
// from the full-size picture (a fitted copy averaged from a level would mix the pixels the level
// halved and lose the exactness of fine detail). Any thread, on images it alone uses.
struct FittedCopy;
void MakeDrawnCopies(const CImage& picture, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                     FittedCopy& fitted, ZoomReductions& reductions);
