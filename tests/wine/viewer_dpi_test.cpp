// The real viewer window when its monitor's scale changes: a WM_DPICHANGED as the system sends it
// (120 -> 144 dpi) moves and resizes the window to the suggested rectangle, lays the picture
// control over the client area at the new scale and refits the picture, and the minimum window
// size follows the DPI through the whole table.
#include <windows.h>

#include <gtest/gtest.h>

#include "resource.h"
#include "support/image_encoders.h"
#include "view/fit_layout.h"
#include "view/win32/render.h"
#include "viewer_window_fixture.h"

namespace {

constexpr int32_t kWidth = 2400;
constexpr int32_t kHeight = 1600;

struct MinimumAt {
  int32_t dpi;
  LONG width;
  LONG height;
};
// 768 x 536 in 96-dpi units.
constexpr MinimumAt kMinimumSizes[] = {{96, 768, 536}, {120, 960, 670}, {144, 1152, 804}, {192, 1536, 1072}};

class ViewerDpi : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"dpi");
    ASSERT_TRUE(SaveTestImage(folder_ + L"\\a.jpg", kWidth, kHeight, L"image/jpeg", [](int32_t x, int32_t y) {
      return 0xFF000000u | ((x * 255 / kWidth) << 16) | ((y * 255 / kHeight) << 8) | 90u;
    }));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 1000, 700, SWP_SHOWWINDOW);
    OpenStartFile(true, folder_ + L"\\a.jpg");
    viewState.zoom = 1.0f;
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
  }
  void TearDown() override { RemoveTree(folder_); }

  // What the system sends when the window's monitor changes scale.
  void ChangeDpi(int32_t dpi, const RECT& suggested) {
    SendMessageW(Hwnd(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  }
  RECT WindowRect() {
    RECT r{};
    GetWindowRect(Hwnd(), &r);
    return r;
  }
  // The minimum tracking size the window gives the system now.
  POINT MinimumTrackSize() {
    MINMAXINFO info{};
    SendMessageW(Hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    return info.ptMinTrackSize;
  }
  // The picture control's rectangle in the viewer's client coordinates.
  RECT ControlRect() {
    HWND control = GetDlgItem(Hwnd(), IDC_PICTURE);
    RECT r{};
    GetWindowRect(control, &r);
    MapWindowPoints(nullptr, Hwnd(), reinterpret_cast<POINT*>(&r), 2);
    return r;
  }
  // The control starts at the client area's corner and reaches at least to its far edges (one
  // pixel beyond at most: the client size goes through 96-dpi units and back).
  void ExpectControlCoversClient(int32_t dpi) {
    RECT client{};
    GetClientRect(Hwnd(), &client);
    const RECT control = ControlRect();
    EXPECT_TRUE(control.left == 0 && control.top == 0 && control.right >= client.right &&
                control.bottom >= client.bottom && control.right - client.right <= 1 &&
                control.bottom - client.bottom <= 1)
        << "at " << dpi << " dpi expected the control over the client area 0,0-" << client.right << ","
        << client.bottom << ", got " << control.left << "," << control.top << "-" << control.right << ","
        << control.bottom;
  }

  std::wstring folder_;
};

TEST_F(ViewerDpi, ADpiChangeTakesTheSuggestedRectangleAndRefits) {
  // At 120 dpi first, the window's size unchanged: laid out at the new scale all the same.
  ChangeDpi(120, WindowRect());
  ExpectControlCoversClient(120);
  POINT minimum = MinimumTrackSize();
  EXPECT_TRUE(minimum.x == 960 && minimum.y == 670)
      << "expected a 960 x 670 minimum at 120 dpi, got " << minimum.x << " x " << minimum.y;

  viewState.zoom = 1.4f;
  Redraw(View());
  // Onto a 144-dpi monitor: the system suggests the same window scaled by 144 / 120.
  const RECT suggested{150, 120, 150 + 1200, 120 + 840};
  ChangeDpi(144, suggested);
  const RECT now = WindowRect();
  EXPECT_TRUE(now.left == suggested.left && now.top == suggested.top && now.right == suggested.right &&
              now.bottom == suggested.bottom)
      << "expected the window at 150,120-1350,960, got " << now.left << "," << now.top << "-" << now.right << ","
      << now.bottom;
  EXPECT_EQ(viewState.zoom, 1.0f) << "expected the fitted view back, got zoom " << viewState.zoom;
  ExpectControlCoversClient(144);
  minimum = MinimumTrackSize();
  EXPECT_TRUE(minimum.x == 1152 && minimum.y == 804)
      << "expected a 1152 x 804 minimum at 144 dpi, got " << minimum.x << " x " << minimum.y;

  // The fitted copy for the new picture area is made from the full-size picture on the worker.
  const RECT control = ControlRect();
  const XywhRect fitted = FitImage(kWidth, kHeight, control.right, control.bottom);
  const DWORD start = GetTickCount();
  while (!View().shown.fitted.Matches(currentImage, fitted.width, fitted.height, false) &&
         GetTickCount() - start < 10000)
    Pump();
  EXPECT_TRUE(View().shown.fitted.Matches(currentImage, fitted.width, fitted.height, false))
      << "expected a fitted copy of " << fitted.width << " x " << fitted.height << " for the "
      << control.right << " x " << control.bottom << " picture area";
  int32_t frameWidth = 0, frameHeight = 0;
  FrameSize(frameWidth, frameHeight);
  EXPECT_TRUE(frameWidth == control.right && frameHeight == control.bottom)
      << "expected a " << control.right << " x " << control.bottom << " frame, got " << frameWidth << " x "
      << frameHeight;
}

TEST_F(ViewerDpi, TheMinimumWindowSizeFollowsEveryDpi) {
  for (const MinimumAt& row : kMinimumSizes) {
    ChangeDpi(row.dpi, WindowRect());
    const POINT minimum = MinimumTrackSize();
    EXPECT_TRUE(minimum.x == row.width && minimum.y == row.height)
        << "at " << row.dpi << " dpi expected a " << row.width << " x " << row.height << " minimum, got "
        << minimum.x << " x " << minimum.y;
    ExpectControlCoversClient(row.dpi);
  }
}

}  // namespace
