// The picture on screen: the first paint, refitting on resize, the minimum window size and
// keeping the picture when another window covers it.
#include "e2e/picture_test_folder.h"

namespace e2e {
namespace {

using PictureDisplay = PictureViewerTest;

TEST_F(PictureDisplay, FirstPaintNamesTheStartFileAndShowsItFitted) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kGreen));
  EXPECT_FALSE(viewer_.IsMaximized());
}

void ResizeTo(HWND window, int width, int height) {
  SetWindowPos(window, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

TEST_F(PictureDisplay, ResizingAndMaximisingRefitThePicture) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kRed));
  const ScreenCapture before = viewer_.CaptureClient();

  ResizeTo(viewer_.Window(), 800, 760);
  ASSERT_TRUE(WaitUntil([&] {
    RECT r = viewer_.WindowEdges();
    return r.right - r.left == 800 && r.bottom - r.top == 760;
  }, kStateTimeoutMs)) << "expected an 800 x 760 window, got " << WindowRectText(viewer_.Window());
  ExpectFittedOnScreen(kRed);
  EXPECT_NE(viewer_.CaptureClient().width, before.width);

  viewer_.PostSysCommand(SC_MAXIMIZE);
  ExpectMaximizedSoon();
  ExpectFittedOnScreen(kRed);
}

TEST_F(PictureDisplay, WindowCannotBeMadeSmallerThanTheMinimumSize) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kBlue));
  ResizeTo(viewer_.Window(), 300, 200);
  RECT r = {};
  EXPECT_TRUE(WaitUntil([&] {
    r = viewer_.WindowEdges();
    return r.right - r.left == 768 && r.bottom - r.top == 536;
  }, kStateTimeoutMs)) << "expected 768 x 536 after asking for 300 x 200, got " << (r.right - r.left) << " x "
                       << (r.bottom - r.top);
  ExpectFittedOnScreen(kBlue);
}

// A plain window of the test process in one colour, above every other window while it lives.
class CoveringWindow {
 public:
  CoveringWindow(const RECT& screenEdges, COLORREF colour) : brush_(CreateSolidBrush(colour)) {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.hbrBackground = brush_;
    windowClass.lpszClassName = L"VistrelE2eCover";
    RegisterClassW(&windowClass);
    window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"cover",
                              WS_POPUP | WS_VISIBLE, screenEdges.left, screenEdges.top,
                              screenEdges.right - screenEdges.left, screenEdges.bottom - screenEdges.top, nullptr,
                              nullptr, windowClass.hInstance, nullptr);
    if (window_) UpdateWindow(window_);
  }
  ~CoveringWindow() {
    Destroy();
    UnregisterClassW(L"VistrelE2eCover", GetModuleHandleW(nullptr));
    if (brush_) DeleteObject(brush_);
  }
  CoveringWindow(const CoveringWindow&) = delete;
  CoveringWindow& operator=(const CoveringWindow&) = delete;

  HWND Get() const { return window_; }
  void Destroy() {
    if (window_) DestroyWindow(window_);
    window_ = nullptr;
  }
  // Lets the window paint itself; it lives on this thread.
  static void PumpMessages() {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
  }

 private:
  HBRUSH brush_;  // owned; the class paints with it while the window lives
  HWND window_ = nullptr;
};

TEST_F(PictureDisplay, CoveringAndUncoveringKeepsThePicture) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kGreen));
  ASSERT_TRUE(viewer_.WaitForStillPicture(3000));
  const ScreenCapture before = viewer_.CaptureClient();
  const RECT client = viewer_.ClientScreenEdges();
  {
    const Rgb magenta{255, 0, 255};
    CoveringWindow cover(client, RGB(magenta.r, magenta.g, magenta.b));
    ASSERT_NE(cover.Get(), nullptr);
    Rgb seen;
    EXPECT_TRUE(WaitUntil([&] {
      CoveringWindow::PumpMessages();
      ScreenCapture now = CaptureScreen(client);
      seen = now.Empty() ? Rgb{} : ToRgb(now.At(now.width / 2, now.height / 2));
      return seen == magenta;
    }, kStateTimeoutMs)) << "expected the covering window on screen, got " << ToString(seen);
    cover.Destroy();
    CoveringWindow::PumpMessages();
  }
  size_t different = 0;
  EXPECT_TRUE(WaitUntil([&] {
    different = CountDifferentPixels(before, viewer_.CaptureClient(), 2);
    return different == 0;
  }, kStateTimeoutMs, 40)) << "expected the uncovered picture area to equal the one before, got " << different
                           << " of " << before.pixels.size() << " pixels different";
  ExpectFittedOnScreen(kGreen);
}

}  // namespace
}  // namespace e2e
