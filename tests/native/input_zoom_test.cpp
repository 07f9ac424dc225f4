// Zoom steps, the double-click toggle, the anchor relation, drag steps and the key table.
#include <gtest/gtest.h>

#include "input/zoom_steps.h"

namespace {

float InSteps(float zoom, int n) {
  for (int i = 0; i < n; ++i) zoom = ZoomInStep(zoom);
  return zoom;
}

float OutSteps(float zoom, int n) {
  for (int i = 0; i < n; ++i) zoom = ZoomOutStep(zoom);
  return zoom;
}

TEST(ZoomSteps, EachStepIsTheFloatNearestTheDoubleSum) {
  EXPECT_EQ(InSteps(1.0f, 1), 1.2000000477f);
  EXPECT_EQ(InSteps(1.0f, 2), 1.4000000954f);
  EXPECT_EQ(InSteps(1.0f, 3), 1.6000001431f);
  EXPECT_LT(InSteps(1.0f, 94), 20.0f);
  EXPECT_EQ(InSteps(1.0f, 95), 20.0f) << "the 95th step is clamped";
  EXPECT_EQ(ZoomInStep(20.0f), 20.0f);
  EXPECT_EQ(ZoomOutStep(1.0f), 1.0f);
  EXPECT_EQ(OutSteps(20.0f, 95), 1.0f);
  EXPECT_EQ(OutSteps(3.0f, 10), 1.0f);
}

TEST(ZoomSteps, InThenOutReturnsToFittedExceptInTheDriftBand) {
  for (int n = 1; n <= 120; ++n) {
    float back = OutSteps(InSteps(1.0f, n), n);
    if (n <= 35 || n >= 95) {
      EXPECT_EQ(back, 1.0f) << "n = " << n;
    } else {
      EXPECT_EQ(back, 1.0000002f) << "n = " << n;
      EXPECT_EQ(ZoomOutStep(back), 1.0f) << "one more step fits again, n = " << n;
    }
  }
}

TEST(ZoomSteps, DoubleClickTogglesAndAnchorKeepsItsPointInPlace) {
  EXPECT_EQ(DoubleClickZoom(1.0f), 3.0f);
  EXPECT_EQ(DoubleClickZoom(3.0f), 1.0f);
  EXPECT_EQ(DoubleClickZoom(20.0f), 1.0f);
  EXPECT_EQ(DoubleClickZoom(1.0000002f), 1.0f);
  // A picture point p is drawn at p * zoom + pan: the anchor maps onto itself.
  for (int anchor : {0, 7, 400, -30, 5000}) {
    float pan = PanForAnchor(anchor, 3.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(anchor) * 3.0f + pan, static_cast<float>(anchor));
  }
  EXPECT_EQ(PanForAnchor(123, 1.0f), 0.0f);
}

TEST(ZoomSteps, DragMovesPanByTheCursorAndTruncatesTheAnchor) {
  DragAxis step = DragStep(DragAxis{-50.0f, 10, 100}, 101, 2.0f);
  EXPECT_EQ(step.pan, -49.0f);
  EXPECT_EQ(step.anchor, 9) << "10 - 0.5 truncates to 9";
  EXPECT_EQ(step.last, 101);
  step = DragStep(DragAxis{0.0f, -10, 100}, 99, 2.0f);
  EXPECT_EQ(step.pan, -1.0f);
  EXPECT_EQ(step.anchor, -9) << "-10 + 0.5 truncates toward zero";
  step = DragStep(DragAxis{0.0f, 0, INT32_MIN}, INT32_MAX, 1.2f);
  EXPECT_EQ(step.last, INT32_MAX) << "a wild jump stays defined";
}

}  // namespace
