#include "input/zoom_steps.h"

#include "framework/saturating_cast.h"

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
  next.anchor = SaturatingTruncate(static_cast<float>(axis.anchor) - static_cast<float>(delta) / zoom);
  return next;
}
