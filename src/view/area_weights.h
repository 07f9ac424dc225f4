// The weights of an exact box filter along one axis: how much of each source pixel falls into
// each output pixel, in whole units so that sums of weighted pixels are exact integers.
#pragma once
#include <cstdint>
#include <vector>

// Where the source pixels of one output pixel come from: `count` source pixels starting at
// `first`, weighted by weights[offset .. offset + count).
struct AverageSpan {
  int32_t first;
  int32_t count;
  int32_t offset;
};

// One axis reduced from sourceSize to targetSize pixels. With g the greatest common divisor of
// the two sizes, a source pixel is targetSize / g units long and an output pixel sourceSize / g
// units (`total`); each weight is the number of units a source pixel shares with an output
// pixel, so the weights of every output pixel add up to `total` exactly and no weight exceeds
// targetSize / g.
struct AxisWeights {
  std::vector<AverageSpan> spans;  // one per output pixel
  std::vector<int32_t> weights;
  int64_t total = 0;
};

// Requires 1 <= targetSize <= sourceSize.
AxisWeights MakeAxisWeights(int32_t sourceSize, int32_t targetSize);
