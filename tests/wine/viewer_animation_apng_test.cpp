// An animated PNG playing in the real viewer window. Its default image (grey) is no frame of it,
// so the first frame shows from the start and the grey never does; the frames after the first
// cover only the top half, so the first frame's white lower half stays; they follow in order.
#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "browse/win32/animation.h"
#include "imagelist/win32/image_list.h"
#include "support/test_apng.h"
#include "support/test_paths.h"
#include "viewer_window_fixture.h"

namespace {

const std::vector<uint32_t> kColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};

int32_t ColourIndex(uint32_t colour) {
  for (size_t i = 0; i < kColours.size(); ++i) {
    if (kColours[i] == colour) return static_cast<int32_t>(i);
  }
  return -1;
}

// Faults: the default image shown, frames out of order or not composed over the first one.
TEST_F(ViewerWindowTest, AnimatedPngShowsItsFirstFrameThenTheFramesInOrder) {
  std::vector<ApngFrameSpec> frames = {
      {0, 0, 64, 40, 1, 2, 0, 0, [](int32_t, int32_t y) { return y < 20 ? 0xFF000000u | kColours[0] : 0xFFFFFFFFu; }}};
  for (size_t i = 1; i < kColours.size(); ++i)
    frames.push_back({0, 0, 64, 20, 1, 5, 0, 0, [i](int32_t, int32_t) { return 0xFF000000u | kColours[i]; }});
  ApngOptions options;
  options.hiddenDefault = [](int32_t, int32_t) { return 0xFF808080u; };
  const std::wstring folder = MakeScratchDir(L"apng"), path = folder + L"\\a.png";
  const struct Remove { std::wstring folder; ~Remove() { RemoveTree(folder); } } removeAfter{folder};
  ASSERT_TRUE(WriteFileBytes(path, EncodeApng(64, 40, frames, options)));
  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  ShowWindow(Hwnd(), SW_RESTORE);
  SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
  OpenStartFile(true, path);
  viewState.zoom = 1.0f;
  ShowCurrentPicture(Browse(), StepDirection::kNone);
  WaitForPicture();
  ASSERT_TRUE(Browse().animation.playing) << "expected the APNG to play, got a still";
  int32_t width = 0, height = 0;
  FrameSize(width, height);
  const int32_t first = ColourIndex(FramePixel(width / 2, height / 2 - 5));
  EXPECT_TRUE(first == 0 || first == 1) << "expected the first frame, got " << std::hex << FramePixel(width / 2, height / 2 - 5);

  std::vector<int32_t> seen;
  for (const DWORD start = GetTickCount(); GetTickCount() - start < 3000;) {
    Pump();
    const uint32_t top = FramePixel(width / 2, height / 2 - 5), bottom = FramePixel(width / 2, height / 2 + 5);
    ASSERT_NE(ColourIndex(top), -1) << "expected a frame's colour, got " << std::hex << top;
    ASSERT_EQ(bottom, 0xFFFFFFu) << "expected the first frame's white kept below, got " << std::hex << bottom;
    if (seen.empty() || seen.back() != ColourIndex(top)) seen.push_back(ColourIndex(top));
  }
  ASSERT_GE(seen.size(), 7u) << "expected a whole play and more in 3 s, got " << seen.size() << " frames";
  for (size_t i = 1; i < seen.size(); ++i) {
    const int32_t step = (seen[i] - seen[i - 1] + 6) % 6;
    EXPECT_TRUE(step == 1 || step == 2) << "expected the next frame (or one dropped when late), got " << seen[i - 1]
                                        << " then " << seen[i];
  }
}

}  // namespace
