#include "view/win32/fitted_copy.h"

#include <windows.h>

#include <system_error>
#include <thread>
#include <utility>

#include "framework/gdi_handles.h"
#include "view/area_average.h"

bool FittedCopy::Matches(const CImage& source, int32_t width, int32_t height, bool alpha) const {
  return !image.IsNull() && !source.IsNull() && sourceRevision == source.Revision() && withAlpha == alpha &&
         image.Width() == width && image.Height() == height;
}

void FittedCopy::Swap(FittedCopy& other) {
  std::swap(sourceRevision, other.sourceRevision);
  std::swap(withAlpha, other.withAlpha);
  image.Swap(other.image);
}

bool ReducesTo(const CImage& source, int32_t width, int32_t height) {
  return width >= 1 && height >= 1 && width <= source.Width() && height <= source.Height() &&
         (width < source.Width() || height < source.Height());
}

bool MakeFittedCopy(const CImage& source, int32_t width, int32_t height, bool withAlpha, FittedCopy& copy) {
  copy.image.Destroy();
  if (source.IsNull() || !ReducesTo(source, width, height)) return false;
  RGBQUAD colours[256] = {};
  if (source.BitsPerPixel() <= 8) {
    MemoryDc dc(nullptr, source.Handle());
    if (!dc.Ok() || GetDIBColorTable(dc.Get(), 0, 256, colours) == 0) return false;
  }
  GdiFlush();  // the source's pixels are read directly: drawing into them must have landed
  const SourcePixels pixels{source.TopRow(), source.Pitch(), source.Width(), source.Height(), source.BitsPerPixel(),
                            reinterpret_cast<const uint8_t*>(colours)};
  const AreaAverager averager(pixels, width, height,
                              withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque);
  if (!averager.Ok() || !copy.image.Create(width, height, 32, withAlpha)) return false;
  const TargetPixels target{copy.image.TopRow(), copy.image.Pitch(), width, height};
  // Two halves at once: the reduction of a large picture is most of what its first fitted
  // view costs, and this machine's second core would otherwise wait.
  // Without a second thread (none could be started) this one does both halves.
  const int32_t half = height / 2;
  std::thread lower;
  try {
    lower = std::thread([&] { averager.AverageRows(target, half, height); });
  } catch (const std::system_error&) {
  }
  averager.AverageRows(target, 0, half);
  if (lower.joinable()) {
    lower.join();
  } else {
    averager.AverageRows(target, half, height);
  }
  copy.sourceRevision = source.Revision();
  copy.withAlpha = withAlpha;
  return true;
}

FittedCopy& CurrentFittedCopy() {
  static FittedCopy copy;
  return copy;
}
