// An animated WebP and an animated JPEG XL playing in the real viewer window: both made at test
// time by the host's gif2webp and cjxl from one animated GIF written here (six colours, 200 ms
// each), their frames seen in order at roughly their delays, the WebP on the alpha path, and a
// step leaving each for a BMP. What was drawn is read from the kept frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "browse/win32/animation.h"
#include "imagelist/win32/image_list.h"
#include "resource.h"
#include "support/host_tool.h"
#include "support/test_gif.h"
#include "support/test_paths.h"
#include "viewer_window_fixture.h"

namespace {

const std::vector<uint32_t> kColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
constexpr uint32_t kGrey = 0x808080;
constexpr int32_t kFrameMs = 200;

// Six frames, each its own colour over the top half and white below.
std::vector<uint8_t> ColourGif() {
  std::vector<GifFrameSpec> frames;
  for (uint8_t i = 0; i < 6; ++i) {
    frames.push_back({0, 0, 64, 40, 1, kFrameMs / 10, -1, false, {},
                      [i](int32_t, int32_t y) { return uint8_t(y < 20 ? i : 6); }});
  }
  return EncodeAnimatedGif(64, 40, kColours, frames, 0);
}

int32_t ColourIndex(uint32_t colour) {
  for (size_t i = 0; i < 6; ++i) {
    if (kColours[i] == colour) return static_cast<int32_t>(i);
  }
  return -1;
}

class AnimatedWebpJxl : public ViewerWindowTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/gif2webp", "/usr/bin/cjxl"}) {
      if (!HostHasProgram(tool)) GTEST_SKIP() << tool << " is not on the host (Debian's webp, libjxl-tools)";
    }
    folder_ = MakeScratchDir(L"animation-webp-jxl");
    ASSERT_TRUE(WriteFileBytes(Path(L"source.gif.in"), ColourGif()));
    const std::string gif = UnixPathOf(Path(L"source.gif.in"));
    const std::string command = "/usr/bin/gif2webp -quiet '" + gif + "' -o '" + UnixPathOf(Path(L"a.webp")) +
                                "' && /usr/bin/cjxl '" + gif + "' '" + UnixPathOf(Path(L"b.jxl")) + "' -d 0";
    ASSERT_EQ(RunOnHost(command, folder_), 0) << command;
    ASSERT_TRUE(DeleteFileW(Path(L"source.gif.in").c_str()));
    ASSERT_TRUE(WriteSolidBmp(Path(L"c.bmp"), 64, 40, Rgb{128, 128, 128}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
  void Show(const wchar_t* name) {
    OpenStartFile(true, Path(name));
    viewState.zoom = 1.0f;
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
  }
  uint32_t Near(int32_t dx, int32_t dy) {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(width / 2 + dx, height / 2 + dy);
  }

  // The frames seen in the top half for ms milliseconds advance through the cycle in order (a
  // late frame dropped skips one) at roughly one per kFrameMs; nothing else is ever drawn there.
  void ExpectPlaysInOrder(const char* what, DWORD ms) {
    struct Change {
      DWORD at;
      int32_t colour;
    };
    std::vector<Change> changes;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
      Pump();
      const uint32_t pixel = Near(0, -5);
      const int32_t colour = ColourIndex(pixel);
      ASSERT_GE(colour, 0) << what << ": expected a frame's colour, got " << std::hex << pixel;
      if (changes.empty() || changes.back().colour != colour) changes.push_back({GetTickCount(), colour});
    }
    ASSERT_GE(changes.size(), 5u) << what << ": expected at least 5 frames shown, got " << changes.size();
    int32_t advanced = 0, inOrder = 0;
    for (size_t i = 1; i < changes.size(); ++i) {
      const int32_t step = (changes[i].colour - changes[i - 1].colour + 6) % 6;
      EXPECT_LE(step, 2) << what << ": expected the next frame after " << changes[i - 1].colour << ", got "
                         << changes[i].colour;
      advanced += step;
      inOrder += step == 1;
    }
    EXPECT_GE(inOrder * 2, static_cast<int32_t>(changes.size() - 1)) << what << ": expected mostly one frame after another";
    const double perFrame = static_cast<double>(changes.back().at - changes.front().at) / advanced;
    EXPECT_GT(perFrame, kFrameMs * 0.6) << what << ": expected about " << kFrameMs << " ms a frame, got " << perFrame;
    EXPECT_LT(perFrame, kFrameMs * 1.6) << what << ": expected about " << kFrameMs << " ms a frame, got " << perFrame;
    EXPECT_EQ(Near(0, 5), 0xFFFFFFu) << what << ": expected the white lower half";
  }

  std::wstring folder_;
};

// Faults: an animated WebP refused or shown still, frames out of order or at the wrong pace, the
// animation drawn after a step.
TEST_F(AnimatedWebpJxl, BothPlayInOrderAndStopOnAStep) {
  Show(L"a.webp");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the animated WebP's first frame to show";
  EXPECT_EQ(viewState.alphaPrepared, 1) << "expected an animated WebP on the alpha path";
  ASSERT_TRUE(Browse().animation.playing) << "expected the animated WebP to play";
  ExpectPlaysInOrder("WebP", 2600);

  Show(L"b.jxl");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the JPEG XL animation's first frame to show";
  ASSERT_TRUE(Browse().animation.playing) << "expected the JPEG XL animation to play";
  EXPECT_EQ(Caption(), L"Vistrel - b.jxl");
  ExpectPlaysInOrder("JPEG XL", 2600);

  SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
  EXPECT_FALSE(Browse().animation.playing) << "expected a step to stop the animation at once";
  WaitForPicture();
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < 600) {
    Pump();
    ASSERT_EQ(CentreOfFrame(), kGrey) << "expected only the BMP after the step";
  }
  EXPECT_EQ(Caption(), L"Vistrel - c.bmp");
}

}  // namespace
