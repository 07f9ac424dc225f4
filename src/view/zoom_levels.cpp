#include "view/zoom_levels.h"

#include <algorithm>

#include "view/area_average.h"

std::vector<LevelSize> HalvingLevels(int32_t width, int32_t height, int32_t fittedWidth, int32_t fittedHeight) {
  std::vector<LevelSize> levels;
  LevelSize level{width / 2, height / 2};
  while (level.width >= std::max(fittedWidth, 1) && level.height >= std::max(fittedHeight, 1)) {
    levels.push_back(level);
    level = LevelSize{level.width / 2, level.height / 2};
  }
  return levels;
}

int32_t LevelForDrawnSize(const std::vector<LevelSize>& levels, int32_t drawnWidth, int32_t drawnHeight) {
  int32_t chosen = -1;
  for (size_t i = 0; i < levels.size(); ++i) {
    if (levels[i].width >= drawnWidth && levels[i].height >= drawnHeight) chosen = static_cast<int32_t>(i);
  }
  return chosen;
}

DrawnWindow VisiblePartOf(const XywhRect& drawn, int32_t areaWidth, int32_t areaHeight) {
  const int64_t firstColumn = std::max<int64_t>(0, -static_cast<int64_t>(drawn.x));
  const int64_t endColumn = std::min<int64_t>(drawn.width, static_cast<int64_t>(areaWidth) - drawn.x);
  const int64_t firstRow = std::max<int64_t>(0, -static_cast<int64_t>(drawn.y));
  const int64_t endRow = std::min<int64_t>(drawn.height, static_cast<int64_t>(areaHeight) - drawn.y);
  auto clamp = [](int64_t v) { return static_cast<int32_t>(std::max<int64_t>(0, v)); };
  return DrawnWindow{clamp(firstColumn), clamp(endColumn), clamp(firstRow), clamp(endRow)};
}

bool AverageHalvingLevels(const SourcePixels& source, const std::vector<TargetPixels>& levels, AverageMode mode) {
  SourcePixels from = source;
  for (const TargetPixels& level : levels) {
    const AreaAverager averager(from, level.width, level.height, mode);
    if (!averager.Ok()) return false;
    averager.AverageRows(level, 0, level.height);
    // The level just made, 32-bit, feeds the next; with alpha it is premultiplied like its source.
    from = SourcePixels{level.topRow, level.pitch, level.width, level.height, 32, nullptr};
  }
  return true;
}
