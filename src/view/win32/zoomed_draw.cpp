#include "view/win32/zoomed_draw.h"

#include <algorithm>
#include <cmath>

#include "view/area_average.h"
#include "view/win32/fitted_copy.h"
#include "framework/gdi_handles.h"
#include "view/zoom_levels.h"

namespace {

DrawnWindow Clipped(const XywhRect& drawn, const XywhRect& clip) {
  const DrawnWindow inArea = VisiblePartOf(XywhRect{drawn.x - clip.x, drawn.y - clip.y, drawn.width, drawn.height},
                                           clip.width, clip.height);
  return inArea;
}

void Put(HDC frame, const XywhRect& to, HDC from, const XywhRect& part, bool alphaPath, bool withAlpha, bool stretch) {
  if (alphaPath) {
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, static_cast<BYTE>(withAlpha ? AC_SRC_ALPHA : 0)};
    AlphaBlend(frame, to.x, to.y, to.width, to.height, from, part.x, part.y, part.width, part.height, blend);
  } else if (stretch) {
    SetStretchBltMode(frame, HALFTONE);
    SetBrushOrgEx(frame, 0, 0, nullptr);
    StretchBlt(frame, to.x, to.y, to.width, to.height, from, part.x, part.y, part.width, part.height, SRCCOPY);
  } else {
    BitBlt(frame, to.x, to.y, to.width, to.height, from, part.x, part.y, SRCCOPY);
  }
}

// The exact area average of the window of the drawn picture, from `level` (a level, or a picture
// whose visible part is small enough to average here).
bool AverageFrom(HDC frame, ZoomScratch& scratch, const CImage& level, const XywhRect& drawn,
                 const DrawnWindow& window, bool alphaPath, bool withAlpha) {
  const PixelHold pixels = level.Hold();
  if (pixels.Empty()) return false;
  const AreaAverager averager(PixelsOf(pixels), drawn.width, drawn.height,
                              withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque);
  const int32_t width = window.endColumn - window.firstColumn;
  const int32_t height = window.endRow - window.firstRow;
  if (!averager.Ok() || !scratch.Ensure(width, height)) return false;
  const CImage& out = scratch.Image();
  GdiFlush();  // the scratch was drawn from in the last frame; those blits must have landed
  AverageInHalves(averager, TargetPixels{out.TopRow(), out.Pitch(), width, height}, window.firstColumn,
                  window.endColumn, window.firstRow, window.endRow, nullptr);
  MemoryDc source(frame, out.Handle());
  if (!source.Ok()) return false;
  Put(frame, XywhRect{drawn.x + window.firstColumn, drawn.y + window.firstRow, width, height}, source.Get(),
      XywhRect{0, 0, width, height}, alphaPath, withAlpha, false);
  return true;
}

// A half-tone stretch of the source pixels the window shows, whole pixels, placed where the
// stretch of the whole picture puts them.
void StretchFrom(HDC frame, const CImage& picture, const XywhRect& drawn, const DrawnWindow& window, bool alphaPath,
                 bool withAlpha) {
  const double scaleX = static_cast<double>(drawn.width) / picture.Width();
  const double scaleY = static_cast<double>(drawn.height) / picture.Height();
  const int32_t sx0 = std::max(0, static_cast<int32_t>(std::floor(window.firstColumn / scaleX)));
  const int32_t sx1 = std::min(picture.Width(), static_cast<int32_t>(std::ceil(window.endColumn / scaleX)));
  const int32_t sy0 = std::max(0, static_cast<int32_t>(std::floor(window.firstRow / scaleY)));
  const int32_t sy1 = std::min(picture.Height(), static_cast<int32_t>(std::ceil(window.endRow / scaleY)));
  if (sx1 <= sx0 || sy1 <= sy0) return;
  const int32_t dx0 = drawn.x + static_cast<int32_t>(std::lround(sx0 * scaleX));
  const int32_t dx1 = drawn.x + static_cast<int32_t>(std::lround(sx1 * scaleX));
  const int32_t dy0 = drawn.y + static_cast<int32_t>(std::lround(sy0 * scaleY));
  const int32_t dy1 = drawn.y + static_cast<int32_t>(std::lround(sy1 * scaleY));
  MemoryDc source(frame, picture.Handle());
  if (!source.Ok()) return;
  Put(frame, XywhRect{dx0, dy0, dx1 - dx0, dy1 - dy0}, source.Get(), XywhRect{sx0, sy0, sx1 - sx0, sy1 - sy0},
      alphaPath, withAlpha, true);
}

}  // namespace

bool ZoomScratch::Ensure(int32_t width, int32_t height) {
  if (!image_.IsNull() && image_.Width() >= width && image_.Height() >= height) return true;
  return image_.Create(std::max(width, image_.IsNull() ? 0 : image_.Width()),
                       std::max(height, image_.IsNull() ? 0 : image_.Height()), 32, true);
}

bool DrawZoomedPart(HDC frame, const XywhRect& drawn, const XywhRect& clip, const ZoomedSource& source) {
  if (source.picture == nullptr || source.picture->IsNull() || drawn.width <= 0 || drawn.height <= 0) return true;
  const DrawnWindow inClip = Clipped(drawn, clip);
  if (inClip.Empty()) return true;
  const CImage& picture = *source.picture;
  const CImage* level = &picture;
  if (source.quality == ZoomQuality::kQuick) {
    if (source.reductions != nullptr) {
      std::vector<LevelSize> sizes;
      for (const auto& l : source.reductions->levels) sizes.push_back(LevelSize{l->Width(), l->Height()});
      const int32_t index = LevelForDrawnSize(sizes, drawn.width, drawn.height);
      if (index >= 0) level = source.reductions->levels[static_cast<size_t>(index)].get();
    } else if (picture.Width() / 2 >= drawn.width && picture.Height() / 2 >= drawn.height) {
      // A level would serve but none is made yet: averaging the full-size picture's visible part
      // here would read at least four times the area's pixels, so the stand-in is stretched.
      if (source.standIn == nullptr || source.standIn->IsNull()) return false;
      StretchFrom(frame, *source.standIn, drawn, inClip, source.alphaPath, source.alphaPath && source.standInAlpha);
      return false;
    }
  }
  const bool withAlpha = source.alphaPath && (level == &picture ? picture.HasAlpha() : source.reductions->withAlpha);
  const bool reduction = level->Width() >= drawn.width && level->Height() >= drawn.height;
  if (reduction && source.scratch != nullptr && AverageFrom(frame, *source.scratch, *level, drawn, inClip, source.alphaPath, withAlpha)) return level == &picture;
  StretchFrom(frame, picture, drawn, inClip, source.alphaPath, source.alphaPath && picture.HasAlpha());
  return true;
}

void PutAveragedPart(HDC frame, const CImage& part, int32_t x, int32_t y, bool alphaPath, bool withAlpha) {
  MemoryDc source(frame, part.Handle());
  if (!source.Ok()) return;
  Put(frame, XywhRect{x, y, part.Width(), part.Height()}, source.Get(), XywhRect{0, 0, part.Width(), part.Height()},
      alphaPath, withAlpha, false);
}
