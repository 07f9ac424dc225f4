// A folder of flat-coloured pictures whose fitted place on the screen can be predicted, and
// the viewer started on one of them in a normal window of known size.
#pragma once
#include "e2e/viewer_fixture.h"

namespace e2e {

struct FlatPicture {
  const wchar_t* name;
  int width;
  int height;
  Rgb colour;
};

// Natural order: "1 red" before "2 green" before "10 blue".
const FlatPicture kRed{L"1 red.bmp", 400, 200, Rgb{220, 30, 30}};
const FlatPicture kGreen{L"2 green.bmp", 200, 400, Rgb{30, 180, 60}};
const FlatPicture kBlue{L"10 blue.bmp", 300, 300, Rgb{40, 60, 210}};

// Where the viewer puts a width x height picture fitted into a W x H picture area: scaled
// until it meets two opposite edges, centred, an odd leftover pixel going right or down.
inline PixelEdges FittedEdges(int W, int H, int width, int height) {
  const float aspect = static_cast<float>(width) / static_cast<float>(height);
  int dw = W;
  int dh = H;
  if (aspect < 1.0f) {
    dw = static_cast<int>(H * aspect);
    if (dw > W) { dw = W; dh = static_cast<int>(W / aspect); }
  } else {
    dh = static_cast<int>(W / aspect);
    if (dh > H) { dh = H; dw = static_cast<int>(H * aspect); }
  }
  const int ox = dw < W ? (W - dw) / 2 : 0;
  const int oy = dh < H ? (H - dh) / 2 : 0;
  return PixelEdges{ox, oy, ox + dw, oy + dh};
}

inline bool EdgesWithin(const PixelEdges& a, const PixelEdges& b, int slack) {
  return std::abs(a.left - b.left) <= slack && std::abs(a.top - b.top) <= slack &&
         std::abs(a.right - b.right) <= slack && std::abs(a.bottom - b.bottom) <= slack;
}

class PictureViewerTest : public ViewerTest {
 protected:
  void SetUp() override {
    ViewerTest::SetUp();
    if (IsSkipped() || HasFatalFailure()) return;
    folder_ = scratch_ + L"\\pictures";
    ASSERT_TRUE(CreateDirectoryW(folder_.c_str(), nullptr));
    for (const FlatPicture& picture : {kRed, kGreen, kBlue}) {
      ASSERT_TRUE(WriteSolidBmp(PathOf(picture), picture.width, picture.height, picture.colour));
    }
    ASSERT_TRUE(WriteSettingsValues(kNormalPlacement));
  }

  std::wstring PathOf(const FlatPicture& picture) const { return folder_ + L"\\" + picture.name; }

  // Starts the viewer on `picture` in a normal 1000 x 700 window and waits for its title.
  void StartOn(const FlatPicture& picture) {
    ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(PathOf(picture))));
    ExpectShowing(picture);
  }

  // The caption names `picture` and the screen shows it fitted, with light margins.
  void ExpectShowing(const FlatPicture& picture) {
    const std::string title = "Vistrel - " + Narrow(picture.name);
    std::wstring seen;
    EXPECT_TRUE(viewer_.WaitForCaption(L"Vistrel - " + std::wstring(picture.name), kStateTimeoutMs, &seen))
        << "expected the caption \"" << title << "\", got \"" << Narrow(seen) << "\"";
    ExpectFittedOnScreen(picture);
  }

  void ExpectFittedOnScreen(const FlatPicture& picture) {
    ScreenCapture capture;
    PixelEdges expected;
    PixelEdges content;
    const bool fitted = WaitUntil([&] {
      capture = viewer_.CaptureClient();
      if (capture.Empty()) return false;
      expected = FittedEdges(capture.width, capture.height, picture.width, picture.height);
      content = FindContentEdges(capture, kLightGrey, 3);
      return EdgesWithin(content, expected, 1) &&
             Near(ToRgb(capture.At((expected.left + expected.right) / 2, (expected.top + expected.bottom) / 2)),
                  picture.colour, 6);
    }, kStateTimeoutMs, 40);
    ASSERT_FALSE(capture.Empty()) << "could not read the viewer's picture area from the screen";
    EXPECT_TRUE(fitted) << "expected " << Narrow(picture.name) << " " << ToString(picture.colour) << " at "
                        << ToString(expected) << " in a " << capture.width << " x " << capture.height
                        << " area, got content at " << ToString(content) << " with centre "
                        << ToString(ToRgb(capture.At(capture.width / 2, capture.height / 2)));
    if (expected.left > 0) {
      EXPECT_EQ(ToString(ToRgb(capture.At(0, capture.height / 2))), ToString(kLightGrey)) << "left margin";
      EXPECT_EQ(ToString(ToRgb(capture.At(capture.width - 1, capture.height / 2))), ToString(kLightGrey))
          << "right margin";
    }
    if (expected.top > 0) {
      EXPECT_EQ(ToString(ToRgb(capture.At(capture.width / 2, 0))), ToString(kLightGrey)) << "top margin";
      EXPECT_EQ(ToString(ToRgb(capture.At(capture.width / 2, capture.height - 1))), ToString(kLightGrey))
          << "bottom margin";
    }
  }

  static constexpr SettingsValues kNormalPlacement{100, 80, 1100, 780, 0, 250};
  std::wstring folder_;
};

}  // namespace e2e
