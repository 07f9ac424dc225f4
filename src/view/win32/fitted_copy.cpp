#include "view/win32/fitted_copy.h"

#include <windows.h>

#include "framework/gdi_handles.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <utility>

bool FittedCopy::Matches(const CImage& source, int32_t width, int32_t height, bool alpha) const {
  return !image.IsNull() && !source.IsNull() && sourceRevision == source.Revision() && withAlpha == alpha &&
         image.Width() == width && image.Height() == height;
}

void FittedCopy::Swap(FittedCopy& other) {
  std::swap(sourceRevision, other.sourceRevision);
  std::swap(withAlpha, other.withAlpha);
  image.Swap(other.image);
}

bool ReducesTo(int32_t sourceWidth, int32_t sourceHeight, int32_t width, int32_t height) {
  return width >= 1 && height >= 1 && width <= sourceWidth && height <= sourceHeight &&
         (width < sourceWidth || height < sourceHeight);
}

SourcePixels PixelsOf(const PixelHold& hold) {
  return SourcePixels{hold.topRow, hold.pitch, hold.width, hold.height, hold.bitsPerPixel,
                      hold.colourTable.empty() ? nullptr : hold.colourTable.data()};
}

void AverageInHalves(const AreaAverager& averager, const TargetPixels& target, int32_t firstColumn, int32_t endColumn,
                     int32_t firstRow, int32_t endRow, const std::atomic<bool>* cancelled) {
  // Bands between looks at the cancel flag: a view the user has already left stops within one.
  constexpr int32_t kBandRows = 64;
  const auto average = [&](int32_t from, int32_t to) {
    for (int32_t top = from; top < to; top += kBandRows) {
      if (cancelled != nullptr && *cancelled) return;
      const int32_t bottom = std::min(to, top + kBandRows);
      const TargetPixels band{target.topRow + static_cast<ptrdiff_t>(top - firstRow) * target.pitch, target.pitch,
                              target.width, bottom - top};
      averager.AverageWindow(band, firstColumn, endColumn, top, bottom);
    }
  };
  // Two halves at once: the reduction of a large picture is most of what its view costs, and the
  // second core would otherwise wait. Without a second thread this one does both halves.
  const int32_t half = firstRow + (endRow - firstRow) / 2;
  std::thread lower;
  try {
    lower = std::thread([&] { average(half, endRow); });
  } catch (const std::system_error&) {
  }
  average(firstRow, half);
  if (lower.joinable()) {
    lower.join();
  } else {
    average(half, endRow);
  }
}

bool MakeFittedCopy(const PixelHold& source, int32_t width, int32_t height, bool withAlpha, FittedCopy& copy,
                    const std::atomic<bool>* cancelled) {
  copy.image.Destroy();
  if (source.Empty() || !ReducesTo(source.width, source.height, width, height)) return false;
  const AreaAverager averager(PixelsOf(source), width, height,
                              withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque);
  if (!averager.Ok() || !copy.image.Create(width, height, 32, withAlpha)) return false;
  AverageInHalves(averager, TargetPixels{copy.image.TopRow(), copy.image.Pitch(), width, height}, 0, width, 0, height,
                  cancelled);
  if (cancelled != nullptr && *cancelled) {
    copy.image.Destroy();
    return false;
  }
  copy.sourceRevision = source.revision;
  copy.withAlpha = withAlpha;
  return true;
}

bool MakeFittedCopy(const CImage& source, int32_t width, int32_t height, bool withAlpha, FittedCopy& copy) {
  return MakeFittedCopy(source.Hold(), width, height, withAlpha, copy);
}

namespace {

// The picture pixel for pixel in 32 bits, the depth the platform stretches from fastest.
bool CopyTo32Bits(const CImage& source, CImage& copy) {
  const PixelHold hold = source.Hold();
  const AreaAverager identity(PixelsOf(hold), hold.width, hold.height, AverageMode::kOpaque);
  if (hold.Empty() || !identity.Ok() || !copy.Create(hold.width, hold.height, 32, false)) return false;
  identity.AverageRows(TargetPixels{copy.TopRow(), copy.Pitch(), hold.width, hold.height}, 0, hold.height);
  return true;
}

}  // namespace

bool MakeEnlargedCopy(const CImage& source, int32_t width, int32_t height, FittedCopy& copy) {
  copy.image.Destroy();
  if (source.IsNull() || width < source.Width() || height < source.Height()) return false;
  CImage wide;
  const CImage& from = source.BitsPerPixel() == 32 || !CopyTo32Bits(source, wide) ? source : wide;
  if (!copy.image.Create(width, height, 32, false)) return false;
  MemoryDc fromDc(nullptr, from.Handle());
  MemoryDc intoDc(nullptr, copy.image.Handle());
  if (!fromDc.Ok() || !intoDc.Ok()) {
    copy.image.Destroy();
    return false;
  }
  SetStretchBltMode(intoDc.Get(), HALFTONE);
  SetBrushOrgEx(intoDc.Get(), 0, 0, nullptr);
  StretchBlt(intoDc.Get(), 0, 0, width, height, fromDc.Get(), 0, 0, from.Width(), from.Height(), SRCCOPY);
  GdiFlush();  // drawn before another thread reads or blits it
  copy.sourceRevision = source.Revision();
  copy.withAlpha = false;
  return true;
}
