// An animated WebP and an animated JPEG XL in the real viewer window, made at test time by the
// host's gif2webp and cjxl from one GIF written here (six colours over a white lower half, 200 ms
// each): the frames seen in order at roughly their delays, the WebP on the alpha path. (Steps, turns
// and pauses are the same code for every format: the GIF scenario covers them.) What was drawn is
// read from the kept frame.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "browse/win32/animation.h"
#include "imagelist/win32/image_list.h"
#include "support/host_tool.h"
#include "support/test_gif.h"
#include "viewer_window_fixture.h"

namespace {

const std::vector<uint32_t> kColours = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF, 0xFFFFFF};

class AnimatedWebpJxl : public ViewerWindowTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/gif2webp", "/usr/bin/cjxl"}) {
      if (!HostHasProgram(tool)) GTEST_SKIP() << tool << " is not on the host (Debian's webp, libjxl-tools)";
    }
    folder_ = MakeScratchDir(L"animation-webp-jxl");
    std::vector<GifFrameSpec> frames;
    for (uint8_t i = 0; i < 6; ++i)
      frames.push_back({0, 0, 64, 40, 1, 20, -1, false, {}, [i](int32_t, int32_t y) { return uint8_t(y < 20 ? i : 6); }});
    ASSERT_TRUE(WriteFileBytes(folder_ + L"\\source.gif", EncodeAnimatedGif(64, 40, kColours, frames, 0)));
    const std::string gif = "'" + UnixPathOf(folder_ + L"\\source.gif") + "' ";
    const std::string command = "/usr/bin/gif2webp -quiet " + gif + "-o '" + UnixPathOf(folder_ + L"\\a.webp") +
                                "' && /usr/bin/cjxl " + gif + "'" + UnixPathOf(folder_ + L"\\b.jxl") + "' -d 0";
    ASSERT_EQ(RunOnHost(command, folder_), 0) << command;
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }

  // Shows the file, then watches the top half for 2.6 s: every frame seen is one of the six, each
  // change goes on by one frame (two when a late one was dropped), about one per 200 ms.
  void ExpectPlays(const wchar_t* name) {
    OpenStartFile(true, folder_ + L"\\" + name);
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
    ASSERT_EQ(viewState.loadFailed, 0) << Narrow(name) << ": expected the first frame to show";
    ASSERT_TRUE(Browse().animation.playing) << Narrow(name) << ": expected it to play";
    int32_t width = 0, height = 0, last = -1, changes = 0, advanced = 0, inOrder = 0;
    FrameSize(width, height);
    DWORD first = 0, now = 0;
    for (const DWORD start = GetTickCount(); (now = GetTickCount()) - start < 2600;) {
      Pump();
      const uint32_t pixel = FramePixel(width / 2, height / 2 - 5);
      const int32_t colour = static_cast<int32_t>(std::find(kColours.begin(), kColours.begin() + 6, pixel) - kColours.begin());
      ASSERT_LT(colour, 6) << Narrow(name) << ": expected a frame's colour, got " << std::hex << pixel;
      if (colour == last) continue;
      if (last >= 0) {
        const int32_t step = (colour - last + 6) % 6;
        EXPECT_LE(step, 2) << Narrow(name) << ": expected the frame after " << last << ", got " << colour;
        advanced += step, inOrder += step == 1, ++changes;
      } else {
        first = now;
      }
      last = colour;
    }
    ASSERT_GE(changes, 5) << Narrow(name) << ": expected at least 5 frame changes";
    EXPECT_GE(inOrder * 2, changes) << Narrow(name) << ": expected mostly one frame after another";
    const double perFrame = static_cast<double>(now - first) / advanced;
    EXPECT_TRUE(perFrame > 120 && perFrame < 320) << Narrow(name) << ": expected about 200 ms a frame, got " << perFrame;
    EXPECT_EQ(FramePixel(width / 2, height / 2 + 5), 0xFFFFFFu) << Narrow(name) << ": expected the white lower half";
  }
  std::wstring folder_;
};

// Faults: an animated WebP refused or shown still, frames out of order or at the wrong pace.
TEST_F(AnimatedWebpJxl, BothPlayInOrderAtTheirPace) {
  ASSERT_NO_FATAL_FAILURE(ExpectPlays(L"a.webp"));
  EXPECT_EQ(viewState.alphaPrepared, 1) << "expected an animated WebP on the alpha path";
  ASSERT_NO_FATAL_FAILURE(ExpectPlays(L"b.jxl"));
}

}  // namespace
