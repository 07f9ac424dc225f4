#include "view/win32/zoom_reductions.h"

#include <windows.h>

#include <cstdlib>
#include <utility>

#include "view/area_average.h"
#include "view/win32/fitted_copy.h"
#include "view/zoom_levels.h"

void ZoomReductions::Swap(ZoomReductions& other) {
  std::swap(sourceRevision, other.sourceRevision);
  std::swap(withAlpha, other.withAlpha);
  levels.swap(other.levels);
}

uint64_t ZoomReductions::Bytes() const {
  uint64_t bytes = 0;
  for (const auto& level : levels) bytes += static_cast<uint64_t>(level->Height()) * std::abs(level->Pitch());
  return bytes;
}

bool MakeZoomReductions(const PixelHold& source, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                        ZoomReductions& reductions) {
  reductions.levels.clear();
  if (source.Empty()) return false;
  const std::vector<LevelSize> sizes = HalvingLevels(source.width, source.height, fittedWidth, fittedHeight);
  if (sizes.empty()) return false;
  std::vector<TargetPixels> targets;
  for (const LevelSize& size : sizes) {
    auto level = std::make_unique<CImage>();
    if (!level->Create(size.width, size.height, 32, withAlpha)) {
      reductions.levels.clear();
      return false;
    }
    targets.push_back(TargetPixels{level->TopRow(), level->Pitch(), size.width, size.height});
    reductions.levels.push_back(std::move(level));
  }
  if (!AverageHalvingLevels(PixelsOf(source), targets,
                            withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque)) {
    reductions.levels.clear();
    return false;
  }
  reductions.sourceRevision = source.revision;
  reductions.withAlpha = withAlpha;
  return true;
}

bool MakeZoomReductions(const CImage& source, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                        ZoomReductions& reductions) {
  return MakeZoomReductions(source.Hold(), fittedWidth, fittedHeight, withAlpha, reductions);
}

void MakeDrawnCopies(const CImage& picture, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                     FittedCopy& fitted, ZoomReductions& reductions) {
  MakeFittedCopy(picture, fittedWidth, fittedHeight, withAlpha, fitted);
  MakeZoomReductions(picture, fittedWidth, fittedHeight, withAlpha, reductions);
}
