#include "input/zoom_steps.h"

#include <cmath>

namespace {

// Truncation toward zero that stays defined for values outside the 32-bit range.
int32_t TruncateToInt32(float v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0f) return INT32_MAX;
  if (v <= -2147483648.0f) return INT32_MIN;
  return static_cast<int32_t>(v);
}

}  // namespace

float ZoomInStep(float zoom) {
  float next = static_cast<float>(static_cast<double>(zoom) + kZoomStep);
  return next > kLargestZoom ? kLargestZoom : next;
}

float ZoomOutStep(float zoom) {
  float next = static_cast<float>(static_cast<double>(zoom) - kZoomStep);
  return next < kSmallestZoom ? kSmallestZoom : next;
}

float DoubleClickZoom(float zoom) { return zoom == 1.0f ? kDoubleClickZoom : 1.0f; }

float PanForAnchor(int32_t anchor, float zoom) { return -(static_cast<float>(anchor) * (zoom - 1.0f)); }

DragAxis DragStep(const DragAxis& axis, int32_t cursor, float zoom) {
  const int32_t delta = static_cast<int32_t>(static_cast<int64_t>(cursor) - axis.last);
  DragAxis next;
  next.last = cursor;
  next.pan = axis.pan + static_cast<float>(delta);
  next.anchor = TruncateToInt32(static_cast<float>(axis.anchor) - static_cast<float>(delta) / zoom);
  return next;
}
