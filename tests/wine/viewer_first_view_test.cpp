// Big JPEGs show a first view from a reduced decode while the full one runs, then the exact
// fitted view, through the real viewer window: at the start of a 100 MP picture, and on steps
// through big pictures not prepared ahead.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "support/test_jpeg.h"
#include "support/test_paths.h"
#include "view/area_average.h"
#include "view/fit_layout.h"
#include "viewer_window_fixture.h"

namespace {

bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  KernelHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
  DWORD written = 0;
  return file && WriteFile(file.Get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

class FirstView : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"first-view");
    // Sizes tell the pictures apart; the pattern's 8-pixel checker and grain make a reduced
    // decode differ from the full one wherever it is not averaged right.
    const struct {
      const wchar_t* name;
      int32_t width, height;
      bool progressive;
    } files[] = {{L"a.jpg", 10000, 10000, false}, {L"b.jpg", 4000, 3000, false}, {L"c.jpg", 3000, 4000, false},
                 {L"d.jpg", 4200, 2800, false}, {L"e.jpg", 6000, 4000, true}};
    for (const auto& f : files) {
      TestJpegOptions options = JpegOptions(TestJpegColour::kYcc420, f.width, f.height);
      options.progressive = f.progressive;
      ASSERT_TRUE(WriteBytes(Path(f.name), MakeTestJpeg(options)));
    }
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
    viewState.backgroundLevel = kLightBackground;
    viewState.zoom = 1.0f;
  }
  void TearDown() override { RemoveTree(folder_); }

  std::wstring Path(const wchar_t* name) const { return folder_ + L"\\" + name; }
  void Key(WPARAM key, bool repeat = false) {
    MSG msg{Hwnd(), WM_KEYDOWN, key, repeat ? LPARAM{1} << 30 : 0, 0, {}};
    if (!viewer_.FilterQueuedMessage(&msg)) DispatchMessageW(&msg);
  }
  // As the viewer's own loop does: every message, then its turn (which replays held input).
  void LoopFor(DWORD ms) {
    const DWORD start = GetTickCount();
    do {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (!viewer_.FilterQueuedMessage(&msg)) DispatchMessageW(&msg);
        viewer_.OnLoopTurn();
      }
      Sleep(2);
    } while (GetTickCount() - start < ms);
  }
  uint32_t Background() const { return kLightBackground * 0x010101u; }
  void ExpectFirstViewThenExact(const char* what);

  // Takes the worker's replies until the frame shows something other than the background while
  // the picture is still awaited: the first view. False when the picture came first.
  bool WaitForFirstView(std::vector<uint32_t>& frame, int32_t& width, int32_t& height) {
    const DWORD start = GetTickCount();
    while (PictureLoading(Browse()) && GetTickCount() - start < 30000) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageW(&msg);
        if (!PictureLoading(Browse())) return false;
        if (ReadKeptFrame(View().frame, frame, width, height) && frame[static_cast<size_t>(height / 2) * width + width / 2] != Background()) {
          return true;
        }
      }
      Sleep(2);
    }
    return false;
  }

  // PSNR of the fitted part of a frame against the exact area average of the shown picture.
  static double FittedPsnr(const std::vector<uint32_t>& frame, int32_t width, int32_t height) {
    const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), width, height);
    const SourcePixels source{currentImage.TopRow(), currentImage.Pitch(), currentImage.Width(),
                              currentImage.Height(), currentImage.BitsPerPixel(), nullptr};
    const AreaAverager exact(source, fitted.width, fitted.height, AverageMode::kOpaque);
    if (!exact.Ok() || fitted.width <= 0 || fitted.height <= 0) return 0;
    std::vector<uint8_t> expected(static_cast<size_t>(fitted.width) * fitted.height * 4);
    exact.AverageWindow(TargetPixels{expected.data(), fitted.width * 4, fitted.width, fitted.height}, 0, fitted.width,
                        0, fitted.height);
    double squares = 0;
    for (int32_t y = 0; y < fitted.height; ++y) {
      for (int32_t x = 0; x < fitted.width; ++x) {
        const uint32_t got = frame[static_cast<size_t>(fitted.y + y) * width + fitted.x + x];
        const uint8_t* want = &expected[(static_cast<size_t>(y) * fitted.width + x) * 4];
        for (int32_t c = 0; c < 3; ++c) {
          const double d = static_cast<double>((got >> (8 * c)) & 0xFF) - want[c];
          squares += d * d;
        }
      }
    }
    const double mse = squares / (3.0 * fitted.width * fitted.height);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
  }

  std::wstring folder_;
};

// Waits for the awaited picture's first view, then for the picture, and checks both against the
// exact fitted view of the picture.
void FirstView::ExpectFirstViewThenExact(const char* what) {
  std::vector<uint32_t> first, exact;
  int32_t width = 0, height = 0;
  ASSERT_TRUE(WaitForFirstView(first, width, height)) << what << ": expected a first view before the picture";
  const uint64_t before = currentImage.IsNull() ? 0 : currentImage.Revision();
  WaitForPicture();
  ASSERT_FALSE(currentImage.IsNull());
  EXPECT_NE(currentImage.Revision(), before) << what << ": expected the picture to replace the first view";
  ReadKeptFrame(View().frame, exact, width, height);
  EXPECT_GE(FittedPsnr(exact, width, height), 60.0) << what << ": expected the exact fitted view once the picture came";
  const double firstPsnr = FittedPsnr(first, width, height);
  std::printf("%s: first view %.1f dB against the exact fitted view\n", what, firstPsnr);
  EXPECT_GE(firstPsnr, 38.0) << what << ": expected the first view close to the exact one";
  EXPECT_LT(firstPsnr, 99.0) << what << ": expected the first view to come from the quick decode";
  // Outside the fitted picture the first view left the background.
  const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), width, height);
  const size_t margin = fitted.x > 0 ? static_cast<size_t>(height / 2) * width : static_cast<size_t>(width / 2);
  if (fitted.x > 0 || fitted.y > 0) {
    EXPECT_EQ(first[margin] & 0xFFFFFF, Background()) << what;
  }
}

TEST_F(FirstView, BigJpegsShowAQuickDecodeFirstThenTheExactPicture) {
  // The start of a 100 MP picture.
  OpenStartFile(true, Path(L"a.jpg"));
  ShowCurrentPicture(Browse(), StepDirection::kNone);
  ASSERT_NO_FATAL_FAILURE(ExpectFirstViewThenExact("the 100 MP start"));
  ASSERT_EQ(currentImage.Width(), 10000);

  // Steps through big pictures not prepared ahead, as when a key is held: the last one asked for
  // ends shown exactly, whatever views of the others were on their way.
  ForgetPreparedPictures(Browse());
  for (int i = 0; i < 3; ++i) {
    Key(VK_RIGHT);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 60) Pump();
  }
  EXPECT_EQ(Caption(), L"Vistrel - d.jpg");
  WaitForPicture();
  EXPECT_EQ(currentImage.Width(), 4200);
  EXPECT_EQ(currentImage.Height(), 2800);
  std::vector<uint32_t> exact;
  int32_t width = 0, height = 0;
  ReadKeptFrame(View().frame, exact, width, height);
  EXPECT_GE(FittedPsnr(exact, width, height), 60.0) << "expected d.jpg's exact fitted view after the steps";

  // A progressive picture: its first view from the first scans alone.
  ForgetPreparedPictures(Browse());
  Key(VK_RIGHT);
  ASSERT_NO_FATAL_FAILURE(ExpectFirstViewThenExact("the progressive 24 MP picture"));
  EXPECT_EQ(currentImage.Width(), 6000);

  // Right held through them, none prepared: a press, then a repeat every 40 ms. Each repeat waits
  // a little for the picture it would supersede to show its first view, so pictures go by on the
  // screen while the key is down; and the hold ends where its 30 presses lead (e.jpg again, 30
  // steps round a folder of 5), no press lost, exact.
  ForgetPreparedPictures(Browse());
  std::vector<uint32_t> last, frame;
  ReadKeptFrame(View().frame, last, width, height);
  int viewsWhileHeld = 0;
  for (int press = 0; press < 30; ++press) {
    Key(VK_RIGHT, press > 0);
    const DWORD pressed = GetTickCount();
    while (GetTickCount() - pressed < 40) {
      LoopFor(1);
      if (ReadKeptFrame(View().frame, frame, width, height) && frame != last) {
        ++viewsWhileHeld;
        last = frame;
      }
    }
  }
  std::printf("held Right: %d pictures on the screen while the key was down\n", viewsWhileHeld);
  EXPECT_GE(viewsWhileHeld, 2) << "expected pictures on the screen while Right was held, got " << viewsWhileHeld;
  // Let go: the repeats still waiting go at once, so the last picture's decode starts now.
  MSG up{Hwnd(), WM_KEYUP, VK_RIGHT, LPARAM{3} << 30 | 1, 0, {}};
  if (!viewer_.FilterQueuedMessage(&up)) DispatchMessageW(&up);
  viewer_.OnLoopTurn();
  EXPECT_TRUE(viewer_.State().input.held.empty()) << "expected every held press replayed at the release";
  EXPECT_EQ(Caption(), L"Vistrel - e.jpg") << "expected the hold to end 30 steps on";
  WaitForPicture();
  EXPECT_EQ(currentImage.Width(), 6000);
  ReadKeptFrame(View().frame, exact, width, height);
  EXPECT_GE(FittedPsnr(exact, width, height), 60.0) << "expected e.jpg's exact fitted view after the hold";
}

}  // namespace
