// The picture reduced to the size it is drawn at in the fitted view, by an exact area average:
// every pixel counts in proportion to the part of the screen pixel it covers, where a stretch
// of the whole picture would alias (lines vanish, patterns turn to moire). Made once per
// picture, turn and drawn size, and blitted 1:1.
#pragma once
#include <cstdint>

#include <atomic>

#include "picture/win32/dib_image.h"
#include "view/area_average.h"

struct FittedCopy {
  uint64_t sourceRevision = 0;  // the revision of the image it was made from
  bool withAlpha = false;       // averaged with premultiplied alpha, for the per-pixel alpha path
  CImage image;                 // 32-bit, the drawn size; empty when none is made

  // True when the copy shows that image at that size, drawn that way.
  bool Matches(const CImage& source, int32_t width, int32_t height, bool alpha) const;
  // Exchanges the copies (one moving with its picture to or from currentImage).
  void Swap(FittedCopy& other);
};

// True when a picture of that size drawn at width x height is a reduction the average serves:
// smaller on one side at least and larger on none.
bool ReducesTo(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height);
inline bool ReducesTo(const CImage& source, int32_t width, int32_t height) {
  return ReducesTo(source.Width(), source.Height(), width, height);
}

// The held pixels as the averager reads them.
SourcePixels PixelsOf(const PixelHold& hold);

// Averages output rows [firstRow, endRow) split over two threads (one when a second cannot start),
// in bands, stopping early when `cancelled` is set (the output is then unfinished). Any thread.
void AverageInHalves(const AreaAverager& averager, const TargetPixels& target, int32_t firstColumn, int32_t endColumn,
                     int32_t firstRow, int32_t endRow, const std::atomic<bool>* cancelled);

// Makes copy from source at width x height; false (copy emptied) when the size is no reduction
// or the copy cannot be made (or was cancelled). withAlpha averages premultiplied colours and
// alpha (a 32-bit source with alpha on the per-pixel alpha path); otherwise colours only. Any
// thread; the work is split over two threads.
bool MakeFittedCopy(const PixelHold& source, int32_t width, int32_t height, bool withAlpha, FittedCopy& copy,
                    const std::atomic<bool>* cancelled = nullptr);
// The same from an image the calling thread owns.
bool MakeFittedCopy(const CImage& source, int32_t width, int32_t height, bool withAlpha, FittedCopy& copy);

// For a picture drawn at or above its own size on the plain path: the half-tone stretch to width
// x height done ahead, into a 32-bit copy the view then blits as it is (a stretch that is
// otherwise done at every draw, and runs many times slower from 24 bits or a palette than from
// 32). False (copy emptied) when the size is a reduction or the copy cannot be made. Any thread,
// on an image it owns (the picture is selected into a device context of this thread).
bool MakeEnlargedCopy(const CImage& source, int32_t width, int32_t height, FittedCopy& copy);
