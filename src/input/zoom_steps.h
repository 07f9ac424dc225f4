// Zoom and pan arithmetic on plain values: steps of 0.2 between 1.0 and 20.0 around an anchor
// point that stays where it is on screen, the double-click toggle, and drag panning.
#pragma once
#include <cstdint>

constexpr double kZoomStep = 0.2;
constexpr float kLargestZoom = 20.0f;
constexpr float kSmallestZoom = 1.0f;
constexpr float kDoubleClickZoom = 3.0f;

// One step in, computed in double precision and rounded to float, clamped to 20.0.
float ZoomInStep(float zoom);
// One step out, clamped to 1.0.
float ZoomOutStep(float zoom);
// 1.0 exactly goes to 3.0; anything else back to the fitted 1.0.
float DoubleClickZoom(float zoom);
// The pan that keeps the picture point under the anchor in place: -(anchor x (zoom - 1)).
float PanForAnchor(int32_t anchor, float zoom);

// One drag step on one axis: the pan moves with the cursor and the anchor follows it, scaled
// back by the zoom and truncated toward zero.
struct DragAxis {
  float pan;
  int32_t anchor;
  int32_t last;
};
DragAxis DragStep(const DragAxis& axis, int32_t cursor, float zoom);
