#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "view/area_average.h"
#include "view/zoom_levels.h"

namespace {

// A random 24-bit picture, top-down, rows padded to four bytes.
struct Picture {
  int32_t width, height, pitch;
  std::vector<uint8_t> bytes;
  SourcePixels Source() const { return SourcePixels{bytes.data(), pitch, width, height, 24, nullptr}; }
  uint8_t At(int32_t x, int32_t y, int32_t c) const { return bytes[static_cast<size_t>(y) * pitch + x * 3 + c]; }
};

Picture RandomPicture(int32_t width, int32_t height, std::mt19937& random) {
  Picture p{width, height, (width * 3 + 3) / 4 * 4, {}};
  p.bytes.resize(static_cast<size_t>(p.pitch) * height);
  for (uint8_t& b : p.bytes) b = static_cast<uint8_t>(random());
  return p;
}

// Channel c of output (x, y) of a w x h reduction, in real numbers from the definition.
double ExactAverage(const Picture& p, int32_t w, int32_t h, int32_t x, int32_t y, int32_t c) {
  const double left = double(x) * p.width / w, right = double(x + 1) * p.width / w;
  const double top = double(y) * p.height / h, bottom = double(y + 1) * p.height / h;
  double sum = 0;
  for (int32_t j = int32_t(top); j < p.height && j < bottom; ++j)
    for (int32_t i = int32_t(left); i < p.width && i < right; ++i)
      sum += (std::min(right, i + 1.0) - std::max(left, double(i))) *
             (std::min(bottom, j + 1.0) - std::max(top, double(j))) * p.At(i, j, c);
  return sum / ((right - left) * (bottom - top));
}

struct Level {
  std::vector<uint8_t> bytes;
  TargetPixels target;
};

// Largest difference of a level from the exact average of the whole picture at its size.
double WorstError(const Picture& p, const TargetPixels& t) {
  double worst = 0;
  for (int32_t y = 0; y < t.height; ++y)
    for (int32_t x = 0; x < t.width; ++x)
      for (int32_t c = 0; c < 3; ++c)
        worst = std::max(worst, std::abs(t.topRow[static_cast<ptrdiff_t>(y) * t.pitch + x * 4 + c] -
                                         ExactAverage(p, t.width, t.height, x, y, c)));
  return worst;
}

}  // namespace

// The levels of a picture halve down to the fitted size, each is the exact area average of the
// whole picture at its size (up to one rounding per level), and a view picks the smallest level
// with a pixel for every drawn pixel.
TEST(ZoomLevels, HalvingLevelsAreExactAveragesAndTheViewPicksTheSmallestSufficient) {
  std::mt19937 random(16);
  for (const auto& size : {std::pair<int32_t, int32_t>{240, 160}, {203, 131}}) {
    const Picture picture = RandomPicture(size.first, size.second, random);
    const int32_t fittedWidth = size.first / 5, fittedHeight = size.second / 5;
    const std::vector<LevelSize> sizes = HalvingLevels(picture.width, picture.height, fittedWidth, fittedHeight);
    ASSERT_EQ(sizes.size(), 2u) << "expected halves down to the fitted " << fittedWidth << " x " << fittedHeight;
    for (size_t i = 0; i < sizes.size(); ++i) {
      const LevelSize before = i == 0 ? LevelSize{picture.width, picture.height} : sizes[i - 1];
      EXPECT_EQ(sizes[i].width, before.width / 2);
      EXPECT_EQ(sizes[i].height, before.height / 2);
    }
    EXPECT_LT(sizes.back().width / 2, fittedWidth) << "expected nothing smaller than the fitted size kept";

    std::vector<Level> levels(sizes.size());
    std::vector<TargetPixels> targets;
    for (size_t i = 0; i < sizes.size(); ++i) {
      levels[i].bytes.assign(static_cast<size_t>(sizes[i].width) * sizes[i].height * 4, 0);
      levels[i].target = TargetPixels{levels[i].bytes.data(), sizes[i].width * 4, sizes[i].width, sizes[i].height};
      targets.push_back(levels[i].target);
    }
    ASSERT_TRUE(AverageHalvingLevels(picture.Source(), targets, AverageMode::kOpaque));
    const bool even = picture.width % 4 == 0 && picture.height % 4 == 0;
    EXPECT_LE(WorstError(picture, targets[0]), kAreaAverageMaxError) << "level 1 of " << picture.width;
    // Even halves average whole blocks, so the second level only adds its own rounding.
    if (even) {
      EXPECT_LE(WorstError(picture, targets[1]), 2 * kAreaAverageMaxError) << "level 2 of " << picture.width;
    }

    EXPECT_EQ(LevelForDrawnSize(sizes, sizes[1].width + 1, sizes[1].height), 0) << "one pixel too few in level 2";
    EXPECT_EQ(LevelForDrawnSize(sizes, sizes[1].width, sizes[1].height), 1);
    EXPECT_EQ(LevelForDrawnSize(sizes, sizes[0].width, sizes[0].height + 1), -1) << "expected the full picture";
  }
  // The visible part of a zoomed view, averaged alone, is exactly that part of the whole view.
  const Picture picture = RandomPicture(301, 177, random);
  const AreaAverager averager(picture.Source(), 250, 150, AverageMode::kOpaque);
  std::vector<uint8_t> whole(250 * 150 * 4);
  averager.AverageRows(TargetPixels{whole.data(), 250 * 4, 250, 150}, 0, 150);
  for (const DrawnWindow& w : {DrawnWindow{0, 250, 0, 150}, DrawnWindow{37, 38, 5, 149}, DrawnWindow{120, 250, 77, 78}}) {
    const int32_t width = w.endColumn - w.firstColumn, height = w.endRow - w.firstRow;
    std::vector<uint8_t> part(static_cast<size_t>(width) * height * 4, 7);
    averager.AverageWindow(TargetPixels{part.data(), width * 4, width, height}, w.firstColumn, w.endColumn, w.firstRow,
                           w.endRow);
    int32_t wrong = 0;
    for (int32_t y = 0; y < height; ++y)
      for (int32_t x = 0; x < width * 4; ++x)
        wrong += part[static_cast<size_t>(y) * width * 4 + x] !=
                 whole[static_cast<size_t>(y + w.firstRow) * 250 * 4 + w.firstColumn * 4 + x];
    EXPECT_EQ(wrong, 0) << "expected the window at column " << w.firstColumn << ", row " << w.firstRow
                        << " to equal the whole view there";
  }

  EXPECT_TRUE(HalvingLevels(100, 80, 60, 30).empty()) << "a half narrower than the fitted size is no level";

  const DrawnWindow inside = VisiblePartOf(XywhRect{-30, 10, 200, 100}, 120, 80);
  EXPECT_EQ(inside.firstColumn, 30);
  EXPECT_EQ(inside.endColumn, 150);
  EXPECT_EQ(inside.firstRow, 0);
  EXPECT_EQ(inside.endRow, 70);
  EXPECT_TRUE(VisiblePartOf(XywhRect{130, 0, 50, 50}, 120, 80).Empty()) << "expected nothing of a rectangle beyond the area";
}
