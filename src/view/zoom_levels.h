// The halving reductions a picture keeps for its zoomed views, and which one a view draws from:
// a zoomed view near the fitted size drawn from the full-size picture reads (and averages) many
// times the pixels it shows; from the right reduction it reads at most four times as many.
#pragma once
#include <cstdint>
#include <vector>

#include "view/rects.h"

struct LevelSize {
  int32_t width;
  int32_t height;
};

// The picture halved (rounded down), then halved again, as long as the result still covers the
// fitted size on both sides: nothing drawn at or above the fitted size needs a smaller one.
// Empty when even the first half is smaller than the fitted size.
std::vector<LevelSize> HalvingLevels(int32_t width, int32_t height, int32_t fittedWidth, int32_t fittedHeight);

// The index of the smallest level that still has at least one pixel per drawn pixel on both
// sides; -1 when none has (the full-size picture is drawn from).
int32_t LevelForDrawnSize(const std::vector<LevelSize>& levels, int32_t drawnWidth, int32_t drawnHeight);

// The part of the drawn rectangle inside an area of areaWidth x areaHeight, in the drawn
// rectangle's own pixels (column 0 is its left edge). Empty (first >= end) when none shows.
struct DrawnWindow {
  int32_t firstColumn;
  int32_t endColumn;
  int32_t firstRow;
  int32_t endRow;
  bool Empty() const { return firstColumn >= endColumn || firstRow >= endRow; }
};
DrawnWindow VisiblePartOf(const XywhRect& drawn, int32_t areaWidth, int32_t areaHeight);

// Fills each level from the one before it (the first from source) by an exact area average, on
// the calling thread alone: levels are made while the user looks at a picture, and the other
// core is left to the window's thread. The targets are 32-bit rows of the HalvingLevels sizes (or
// any decreasing sizes). False, at the first level that cannot be made, when sizes or depth are
// not what the averager takes. Any thread.
struct SourcePixels;
struct TargetPixels;
enum class AverageMode;
bool AverageHalvingLevels(const SourcePixels& source, const std::vector<TargetPixels>& levels, AverageMode mode);
