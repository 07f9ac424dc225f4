#include "view/win32/zoomed_draw.h"

#include <algorithm>
#include <cmath>
#include <thread>

#include "view/area_average.h"
#include "framework/gdi_handles.h"
#include "view/zoom_levels.h"

namespace {

// The averaged part goes through one 32-bit DIB kept between frames (a drag draws many).
class Scratch {
 public:
  bool Ensure(int32_t width, int32_t height) {
    if (!image_.IsNull() && image_.Width() >= width && image_.Height() >= height) return true;
    return image_.Create(std::max(width, image_.IsNull() ? 0 : image_.Width()),
                         std::max(height, image_.IsNull() ? 0 : image_.Height()), 32, true);
  }
  const CImage& Image() const { return image_; }

 private:
  CImage image_;
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

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

// The exact area average of the window of the drawn picture, from `level`.
bool AverageFrom(HDC frame, const CImage& level, const XywhRect& drawn, const DrawnWindow& window, bool alphaPath,
                 bool withAlpha) {
  RGBQUAD colours[256] = {};
  if (level.BitsPerPixel() <= 8) {  // only the full-size picture has palette pixels
    MemoryDc dc(frame, level.Handle());
    if (!dc.Ok() || GetDIBColorTable(dc.Get(), 0, 256, colours) == 0) return false;
  }
  const SourcePixels pixels{level.TopRow(), level.Pitch(),        level.Width(),
                            level.Height(), level.BitsPerPixel(), reinterpret_cast<const uint8_t*>(colours)};
  const AreaAverager averager(pixels, drawn.width, drawn.height,
                              withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque);
  const int32_t width = window.endColumn - window.firstColumn;
  const int32_t height = window.endRow - window.firstRow;
  Scratch& scratch = TheScratch();
  if (!averager.Ok() || !scratch.Ensure(width, height)) return false;
  const CImage& out = scratch.Image();
  GdiFlush();  // the scratch was drawn from in the last frame; those blits must have landed
  const TargetPixels target{out.TopRow(), out.Pitch(), width, height};
  const int32_t half = window.firstRow + height / 2;
  std::thread lower([&] {
    averager.AverageWindow(TargetPixels{out.TopRow() + static_cast<ptrdiff_t>(half - window.firstRow) * out.Pitch(),
                                        out.Pitch(), width, height - (half - window.firstRow)},
                           window.firstColumn, window.endColumn, half, window.endRow);
  });
  averager.AverageWindow(TargetPixels{target.topRow, target.pitch, width, half - window.firstRow}, window.firstColumn,
                         window.endColumn, window.firstRow, half);
  lower.join();
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

bool DrawZoomedPart(HDC frame, const XywhRect& drawn, const XywhRect& clip, const ZoomedSource& source) {
  if (source.picture == nullptr || source.picture->IsNull() || drawn.width <= 0 || drawn.height <= 0) return true;
  const DrawnWindow inClip = Clipped(drawn, clip);
  if (inClip.Empty()) return true;
  const CImage* level = source.picture;
  if (source.reductions != nullptr && source.quality == ZoomQuality::kQuick) {
    std::vector<LevelSize> sizes;
    for (const auto& l : source.reductions->levels) sizes.push_back(LevelSize{l->Width(), l->Height()});
    const int32_t index = LevelForDrawnSize(sizes, drawn.width, drawn.height);
    if (index >= 0) level = source.reductions->levels[static_cast<size_t>(index)].get();
  }
  const bool withAlpha = source.alphaPath && (level == source.picture ? source.picture->HasAlpha()
                                                                      : source.reductions->withAlpha);
  // The kept frame is only this large; a drag keeps each part's cost to what shows.
  const DrawnWindow window{inClip.firstColumn, inClip.endColumn, inClip.firstRow, inClip.endRow};
  const bool reduction = level->Width() >= drawn.width && level->Height() >= drawn.height;
  if (reduction && AverageFrom(frame, *level, drawn, window, source.alphaPath, withAlpha)) {
    return level == source.picture;
  }
  StretchFrom(frame, *source.picture, drawn, window, source.alphaPath,
              source.alphaPath && source.picture->HasAlpha());
  return true;
}
