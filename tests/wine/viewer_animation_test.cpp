// An animated GIF playing in the real viewer window: its frames in order at roughly their
// delays, turned by R while they play, stopped for good by a step (nothing of it drawn after),
// and a hostile animation that plays or ends quietly. What was drawn is read from the kept frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "browse/win32/animation.h"
#include "commands/win32/slideshow.h"
#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"
#include "support/test_gif.h"
#include "support/test_paths.h"
#include "viewer_window_fixture.h"

namespace {

// Six frames of 200 ms, each with its own colour over the top half and white below.
const std::vector<uint32_t> kColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr uint32_t kWhite = 0xFFFFFF;
constexpr uint32_t kGrey = 0x808080;
constexpr int32_t kFrameMs = 200;

std::vector<GifFrameSpec> ColourFrames() {
  std::vector<GifFrameSpec> frames;
  for (uint8_t i = 0; i < 6; ++i) {
    frames.push_back({0, 0, 64, 40, 1, kFrameMs / 10, -1, false, {},
                      [i](int32_t, int32_t y) { return uint8_t(y < 20 ? i : 6); }});
  }
  return frames;
}

int32_t ColourIndex(uint32_t colour) {
  for (size_t i = 0; i < 6; ++i) {
    if (kColours[i] == colour) return static_cast<int32_t>(i);
  }
  return -1;
}

class Animation : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"animation");
    ASSERT_TRUE(WriteFileBytes(Path(L"a.gif"), EncodeAnimatedGif(64, 40, kColours, ColourFrames(), 0)));
    ASSERT_TRUE(WriteSolidBmp(Path(L"b.bmp"), 64, 40, Rgb{128, 128, 128}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
  }
  void TearDown() override { RemoveTree(folder_); }

  void Show(const wchar_t* name) {
    OpenStartFile(true, Path(name));
    viewState.zoom = 1.0f;
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
  }
  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
  void Key(WPARAM key) {
    MSG msg{Hwnd(), WM_KEYDOWN, key, 0, 0, {}};
    if (!viewer_.FilterQueuedMessage(&msg)) DispatchMessageW(&msg);
  }
  // A pixel d frame pixels from the centre, along x or y.
  uint32_t Near(int32_t dx, int32_t dy) {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(width / 2 + dx, height / 2 + dy);
  }

  struct Change {
    DWORD at;
    int32_t colour;
  };
  // The frames seen at (dx, dy) for ms milliseconds, one entry per change; any pixel there that
  // is no frame's colour is reported through `strange`.
  std::vector<Change> Watch(int32_t dx, int32_t dy, DWORD ms, std::vector<uint32_t>* strange = nullptr) {
    std::vector<Change> changes;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      Pump();
      const uint32_t pixel = Near(dx, dy);
      const int32_t colour = ColourIndex(pixel);
      if (colour < 0) {
        if (strange != nullptr) strange->push_back(pixel);
        continue;
      }
      if (changes.empty() || changes.back().colour != colour) changes.push_back({GetTickCount(), colour});
    }
    return changes;
  }
  // The frames seen advance through the cycle in order (a frame dropped when late skips one),
  // at roughly one per kFrameMs over the time watched.
  void ExpectPlaysInOrder(const std::vector<Change>& changes, const char* when) {
    ASSERT_GE(changes.size(), 5u) << when << ": too few frames shown";
    int32_t advanced = 0, inOrder = 0;
    for (size_t i = 1; i < changes.size(); ++i) {
      const int32_t step = (changes[i].colour - changes[i - 1].colour + 6) % 6;
      EXPECT_LE(step, 2) << when << ": frame " << changes[i - 1].colour << " then " << changes[i].colour;
      advanced += step;
      if (step == 1) ++inOrder;
    }
    EXPECT_GE(inOrder * 2, static_cast<int32_t>(changes.size() - 1)) << when << ": mostly one frame after another";
    const double ms = changes.back().at - changes.front().at;
    const double perFrame = ms / advanced;
    EXPECT_GT(perFrame, kFrameMs * 0.6) << when << ": frames come faster than their delay";
    EXPECT_LT(perFrame, kFrameMs * 1.6) << when << ": the clock drifts behind the file's delays";
  }

  std::wstring folder_;
};

// Faults: frames out of order or at the wrong pace, frames composed before a turn shown untouched,
// a zoom that stops the frames, a frame of the animation drawn over the picture stepped to.
TEST_F(Animation, PlaysTurnsAndStopsOnAStep) {
  Show(L"a.gif");
  ASSERT_TRUE(Browse().animation.playing) << "an animated GIF plays";
  std::vector<uint32_t> strange;
  ExpectPlaysInOrder(Watch(0, -5, 2600, &strange), "playing");
  EXPECT_EQ(Near(0, 5), kWhite) << "the lower half of every frame";
  EXPECT_TRUE(strange.empty()) << "a pixel of no frame: " << Hex(strange.empty() ? 0 : strange.front());

  // R: the frames that follow are turned too (their top half now on the right).
  Key('R');
  Watch(5, 0, 300);  // frames made before the turn are dropped, not shown
  strange.clear();
  ExpectPlaysInOrder(Watch(5, 0, 2600, &strange), "turned");
  EXPECT_TRUE(strange.empty()) << "an unturned frame or another pixel: " << Hex(strange.empty() ? 0 : strange.front());
  EXPECT_EQ(Near(-5, 0), kWhite);

  // Up: zoomed in, the frames go on playing in order.
  Key(VK_UP);
  EXPECT_GT(viewState.zoom, 1.0f) << "Up zooms in";
  ExpectPlaysInOrder(Watch(5, 0, 1500), "zoomed");

  // A step onto the BMP: from the moment of the step only the frame then shown, then the BMP.
  const uint32_t atStep = Near(5, 0);
  Key(VK_RIGHT);
  EXPECT_FALSE(Browse().animation.playing) << "a step stops the animation at once";
  const DWORD start = GetTickCount();
  bool bmp = false;
  while (GetTickCount() - start < 1500) {
    Pump();
    const uint32_t now = CentreOfFrame();
    if (now == kGrey) bmp = true;
    ASSERT_TRUE(now == kGrey || (!bmp && Near(5, 0) == atStep))
        << "drawn after the step: " << Hex(now) << (bmp ? " after the BMP" : "");
  }
  EXPECT_TRUE(bmp) << "the BMP never came";
  EXPECT_EQ(Caption(), L"Vistrel - b.bmp");
}

// Faults: the slideshow cutting an animation short or holding it past its 3 s, an animation
// left playing under the next slide, frames still swapped in while the window is minimised,
// playback that never resumes after it, and frames of a deleted file drawn after the delete.
TEST_F(Animation, PlaysThroughItsSlidePausesWhileMinimisedAndGoesWithADelete) {
  Show(L"a.gif");
  Key('S');
  ASSERT_EQ(viewState.slideshowRunning, 1);
  const DWORD started = GetTickCount();
  ExpectPlaysInOrder(Watch(0, -5, 2500), "during its slide");
  while (currentIndex == 0 && GetTickCount() - started < 5000) Pump();
  const DWORD slide = GetTickCount() - started;
  EXPECT_GE(slide, 2700u) << "expected the slide to last about 3 s, got " << slide << " ms";
  EXPECT_LE(slide, 3800u) << "expected the slide to last about 3 s, got " << slide << " ms";
  EXPECT_FALSE(Browse().animation.playing) << "the next slide leaves the animation";
  Key('S');
  EXPECT_EQ(viewState.slideshowRunning, 0);

  Key(VK_LEFT);
  WaitForPicture();
  ASSERT_TRUE(Browse().animation.playing) << "shown again, it plays again";
  Watch(0, -5, 600);
  ShowWindow(Hwnd(), SW_MINIMIZE);
  const auto shownFrame = [] {
    return currentImage.IsNull() ? 0u : *reinterpret_cast<const uint32_t*>(currentImage.TopRow());
  };
  const uint32_t before = shownFrame();
  const DWORD minimised = GetTickCount();
  while (GetTickCount() - minimised < 3 * kFrameMs) Pump();
  EXPECT_EQ(Hex(shownFrame()), Hex(before)) << "no frame is swapped in while the window is minimised";
  ShowWindow(Hwnd(), SW_RESTORE);
  ExpectPlaysInOrder(Watch(0, -5, 1500), "restored");

  std::thread answer([] {
    HWND box = nullptr;
    for (int i = 0; i < 500 && box == nullptr; ++i, Sleep(10)) box = FindWindowW(L"#32770", L"Please Confirm");
    if (box != nullptr) ViewerProcess::PressButton(box, IDYES);
  });
  Key(VK_DELETE);
  answer.join();
  EXPECT_EQ(GetFileAttributesW(Path(L"a.gif").c_str()), INVALID_FILE_ATTRIBUTES) << "expected a.gif deleted";
  EXPECT_FALSE(Browse().animation.playing) << "a delete stops the animation at once";
  WaitForPicture();
  EXPECT_EQ(Hex(CentreOfFrame()), Hex(kGrey)) << "the picture after the deleted one";
  EXPECT_EQ(Caption(), L"Vistrel - b.bmp");
}

// A hostile file: thousands of zero-delay frames, the third declared 65535 pixels square. Only
// the two frames before it ever show (played again, as browsers do), the window never stalls,
// and a step leaves it as usual.
TEST_F(Animation, HostileAnimationPlaysOrEndsQuietly) {
  std::vector<GifFrameSpec> frames = ColourFrames();
  for (auto& f : frames) f.delay = 0;
  frames.resize(3000, frames[2]);
  std::vector<uint8_t> file = EncodeAnimatedGif(64, 40, kColours, frames, 0);
  // The third frame's descriptor (after its graphic control "21 F9 04 x x x x 00").
  size_t controls = 0, at = 0;
  for (size_t i = 0; i + 3 < file.size(); ++i) {
    if (file[i] == 0x21 && file[i + 1] == 0xF9 && file[i + 2] == 0x04 && ++controls == 3) {
      at = i + 8;
      break;
    }
  }
  ASSERT_EQ(file[at], 0x2C);
  for (size_t k = at + 5; k < at + 9; ++k) file[k] = 0xFF;
  file[at + 9] = 0x40;  // interlaced: every declared row would need decoding
  ASSERT_TRUE(WriteFileBytes(Path(L"c.gif"), file));
  Show(L"c.gif");
  // The decode limit may refuse it whole (its extent counts the huge frame): then nothing plays.
  const bool refused = viewState.loadFailed == 1;
  if (refused) {
    EXPECT_FALSE(Browse().animation.playing);
  }
  int32_t seen = 0;
  DWORD longest = 0, last = GetTickCount();
  const DWORD start = last;
  while (GetTickCount() - start < 1500) {
    Pump();
    const DWORD now = GetTickCount();
    longest = std::max<DWORD>(longest, now - last);
    last = now;
    if (refused) continue;
    const int32_t colour = ColourIndex(Near(0, -5));
    ASSERT_TRUE(colour == 0 || colour == 1) << "only the frames before the broken one: " << Hex(Near(0, -5));
    seen |= 1 << colour;
  }
  EXPECT_LT(longest, 500u) << "the window's thread stalled";
  if (!refused) {
    EXPECT_EQ(seen, 3) << "both frames before the broken one play";
  }
  Key(VK_LEFT);
  WaitForPicture();
  EXPECT_EQ(CentreOfFrame(), kGrey);
}

}  // namespace
