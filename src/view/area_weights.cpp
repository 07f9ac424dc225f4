#include "view/area_weights.h"

#include <algorithm>
#include <numeric>

AxisWeights MakeAxisWeights(int32_t sourceSize, int32_t targetSize) {
  AxisWeights axis;
  if (targetSize < 1 || sourceSize < targetSize) return axis;
  const int64_t g = std::gcd(sourceSize, targetSize);
  const int64_t sourceUnit = targetSize / g;  // units per source pixel
  const int64_t targetUnit = sourceSize / g;  // units per output pixel
  axis.total = targetUnit;
  axis.spans.reserve(static_cast<size_t>(targetSize));
  // Each source pixel falls into one output pixel or straddles the border of two.
  axis.weights.reserve(static_cast<size_t>(sourceSize) + static_cast<size_t>(targetSize));
  for (int64_t i = 0; i < targetSize; ++i) {
    const int64_t start = i * targetUnit;
    const int64_t end = start + targetUnit;
    const int64_t first = start / sourceUnit;
    const int64_t last = (end - 1) / sourceUnit;
    axis.spans.push_back(AverageSpan{static_cast<int32_t>(first), static_cast<int32_t>(last - first + 1),
                                     static_cast<int32_t>(axis.weights.size())});
    for (int64_t j = first; j <= last; ++j) {
      const int64_t shared = std::min((j + 1) * sourceUnit, end) - std::max(j * sourceUnit, start);
      axis.weights.push_back(static_cast<int32_t>(shared));
    }
  }
  return axis;
}
