#include <gtest/gtest.h>

#include "view/fit_layout.h"

namespace {

void ExpectRect(const XywhRect& r, int32_t x, int32_t y, int32_t width, int32_t height) {
  EXPECT_EQ(r.x, x);
  EXPECT_EQ(r.y, y);
  EXPECT_EQ(r.width, width);
  EXPECT_EQ(r.height, height);
}

TEST(ViewFitLayout, WideImageIsEnlargedToTheWidthWithTopAndBottomStrips) {
  const XywhRect fitted = FitImage(100, 50, 800, 600);
  ExpectRect(fitted, 0, 100, 800, 400);
  ExpectRect(DrawnRect(fitted, 1.0f, 55.0f, 66.0f), 0, 100, 800, 400);  // pan ignored when fitted
  const MarginStrips m = MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, 800, 600);
  ASSERT_EQ(m.count, 2);
  ExpectRect(m.strips[0], 0, 0, 800, 100);
  ExpectRect(m.strips[1], 0, 500, 800, 100);
}

TEST(ViewFitLayout, TallImageGetsLeftAndRightStrips) {
  const XywhRect fitted = FitImage(300, 600, 800, 600);
  ExpectRect(fitted, 250, 0, 300, 600);
  const MarginStrips m = MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, 800, 600);
  ASSERT_EQ(m.count, 2);
  ExpectRect(m.strips[0], 0, 0, 250, 600);
  ExpectRect(m.strips[1], 550, 0, 250, 600);
}

TEST(ViewFitLayout, SquareTakesTheWideBranchAndFallsBackToTheHeight) {
  ExpectRect(FitImage(512, 512, 800, 600), 100, 0, 600, 600);
  // One pixel wider: the odd leftover pixel goes to the right margin.
  const XywhRect fitted = FitImage(512, 512, 801, 600);
  ExpectRect(fitted, 100, 0, 600, 600);
  const MarginStrips m = MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, 801, 600);
  ASSERT_EQ(m.count, 2);
  ExpectRect(m.strips[0], 0, 0, 100, 600);
  ExpectRect(m.strips[1], 700, 0, 101, 600);
}

TEST(ViewFitLayout, ExactFitLeavesNoStrips) {
  const XywhRect fitted = FitImage(1600, 1200, 800, 600);
  ExpectRect(fitted, 0, 0, 800, 600);
  EXPECT_EQ(MarginStripsFor(fitted, 1.0f, 0.0f, 0.0f, 800, 600).count, 0);
}

TEST(ViewFitLayout, ZoomTwoWithPanCoversTheAreaWithoutStrips) {
  const XywhRect fitted = FitImage(100, 50, 800, 600);
  ExpectRect(DrawnRect(fitted, 2.0f, -400.0f, -300.0f), -400, -100, 1600, 800);
  EXPECT_EQ(MarginStripsFor(fitted, 2.0f, -400.0f, -300.0f, 800, 600).count, 0);
}

TEST(ViewFitLayout, ZoomedStripsFollowTheFloatTestsInOrder) {
  // Image pushed right and down: right strip absent, then left, top and bottom strips.
  const XywhRect fitted = FitImage(100, 50, 800, 600);  // (0, 100, 800, 400)
  const MarginStrips m = MarginStripsFor(fitted, 1.5f, 10.5f, -20.0f, 800, 600);
  ExpectRect(DrawnRect(fitted, 1.5f, 10.5f, -20.0f), 10, 130, 1200, 600);
  ASSERT_EQ(m.count, 2);
  ExpectRect(m.strips[0], 0, 0, 10, 600);    // left
  ExpectRect(m.strips[1], 0, 0, 800, 130);   // top; bottom: 600 > 730 fails
  // Image dragged off to the left: right strip only.
  const MarginStrips r = MarginStripsFor(fitted, 2.0f, -1000.0f, -300.0f, 800, 600);
  ASSERT_EQ(r.count, 1);
  ExpectRect(r.strips[0], 600, 0, 200, 600);
}

TEST(ViewFitLayout, ZoomJustAboveOneTakesTheZoomedPath) {
  const XywhRect fitted = FitImage(100, 50, 800, 600);
  ExpectRect(DrawnRect(fitted, 1.0000001f, 10.0f, 20.0f), 10, 120, 800, 400);
  const MarginStrips m = MarginStripsFor(fitted, 1.0000001f, 10.0f, 20.0f, 800, 600);
  ASSERT_EQ(m.count, 3);
  ExpectRect(m.strips[0], 0, 0, 10, 600);
  ExpectRect(m.strips[1], 0, 0, 800, 120);
  EXPECT_EQ(m.strips[2].y, 520);
  // The float sum lands just past 520, so truncation leaves the strip one row short of the
  // bottom edge: the renderer must not rely on the strips alone on the zoomed path.
  EXPECT_EQ(m.strips[2].height, 79);
}

TEST(ViewFitLayout, DegenerateSizesGiveAnEmptyRectangle) {
  ExpectRect(FitImage(0, 0, 800, 600), 0, 0, 0, 0);
  ExpectRect(FitImage(100, 50, 0, 0), 0, 0, 0, 0);
  // Extreme shapes still fit inside the area.
  const XywhRect thin = FitImage(65535, 1, 800, 600);
  EXPECT_EQ(thin.width, 800);
  EXPECT_EQ(thin.height, 0);
  const XywhRect tall = FitImage(1, 65535, 800, 600);
  EXPECT_EQ(tall.height, 600);
  EXPECT_EQ(tall.width, 0);
}

TEST(ViewFitLayout, HugeZoomAndPanSaturateInsteadOfOverflowing) {
  const XywhRect fitted = FitImage(100, 50, 800, 600);
  const XywhRect r = DrawnRect(fitted, 1.0e9f, -1.0e12f, 0.0f);
  EXPECT_EQ(r.x, INT32_MIN);
  EXPECT_EQ(r.width, INT32_MAX);
}

}  // namespace
