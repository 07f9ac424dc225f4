// A zoom, a drag and two turns of a large picture on the real viewer window: the zoomed view is
// the area average of the full picture (from the kept halving levels), a drag moves the frame and
// draws only what it uncovers yet leaves exactly the frame a full redraw gives, and a turn shows
// the turned picture at once while the full-size turn runs on the worker, with input still live.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "resource.h"
#include "support/image_encoders.h"
#include "view/area_average.h"
#include "view/fit_layout.h"
#include "view/win32/background_turn.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/render.h"
#include "picture/win32/dib_image.h"
#include "view/win32/zoom_reductions.h"
#include "view/zoom_levels.h"
#include "viewer_window_fixture.h"

namespace {

constexpr int32_t kWidth = 2400;
constexpr int32_t kHeight = 1600;
constexpr uint32_t kLightGrey = 0x00FAFAFA;
constexpr uint32_t kBlack = 0x00000000;

class ViewerFrame : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"frame");
    // Gradients with a fine checkerboard: a stretch aliases it, an area average does not.
    ASSERT_TRUE(SaveTestImage(folder_ + L"\\a.jpg", kWidth, kHeight, L"image/jpeg", [](int32_t x, int32_t y) {
      const uint32_t fine = ((x / 3 + y / 3) % 2) * 90;
      return 0xFF000000u | ((x * 255 / kWidth) << 16) | ((y * 255 / kHeight) << 8) | (60 + fine);
    }));
    ASSERT_TRUE(SaveTestImage(folder_ + L"\\b.jpg", kWidth, kHeight, L"image/jpeg",
                              [](int32_t, int32_t) { return 0xFF2040C0u; }));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
    OpenStartFile(true, folder_ + L"\\a.jpg");
    viewState.backgroundLevel = kLightBackground;
    viewState.zoom = 1.0f;
    ShowCurrentPicture(Browse(), StepDirection::kNone);
    WaitForPicture();
  }
  void TearDown() override {
    ShowCurrentPicture(Browse(), StepDirection::kNone);  // abandons any turn still running
    RemoveTree(folder_);
  }

  BOOL Filter(UINT message, WPARAM wParam) {
    MSG msg{GetDlgItem(Hwnd(), IDC_PICTURE), message, wParam, 0, 0, {}};
    return viewer_.FilterQueuedMessage(&msg);
  }
  void PutCursor(int32_t x, int32_t y) {
    POINT p{x, y};
    ClientToScreen(Hwnd(), &p);
    // Under Wine a pointer event still on its way can put the cursor back: it must stay put.
    int steady = 0;
    const DWORD start = GetTickCount();
    while (steady < 3 && GetTickCount() - start < 3000) {
      POINT now{};
      if (GetCursorPos(&now) && now.x == p.x && now.y == p.y) {
        ++steady;
      } else {
        steady = 0;
        SetCursorPos(p.x, p.y);
      }
      Pump();
      Sleep(20);
    }
  }
  // Lets the window's timers run: the exact view follows once input has paused.
  void Settle() {
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 500) Pump();
  }
  std::vector<uint32_t> Frame(int32_t& width, int32_t& height) {
    std::vector<uint32_t> pixels;
    ReadKeptFrame(View().frame, pixels, width, height);
    return pixels;
  }

  // PSNR of the drawn part of the frame against the exact area average of the full picture.
  double ZoomedPsnr() {
    int32_t width = 0, height = 0;
    const std::vector<uint32_t> frame = Frame(width, height);
    const XywhRect drawn = DrawnRect(FitImage(kWidth, kHeight, width, height), viewState.zoom, viewState.panX,
                                     viewState.panY);
    const DrawnWindow part = VisiblePartOf(drawn, width, height);
    const SourcePixels source{currentImage.TopRow(), currentImage.Pitch(), currentImage.Width(),
                              currentImage.Height(), currentImage.BitsPerPixel(), nullptr};
    const AreaAverager exact(source, drawn.width, drawn.height, AverageMode::kOpaque);
    const int32_t w = part.endColumn - part.firstColumn, h = part.endRow - part.firstRow;
    if (!exact.Ok() || part.Empty()) return 0;
    std::vector<uint8_t> expected(static_cast<size_t>(w) * h * 4);
    exact.AverageWindow(TargetPixels{expected.data(), w * 4, w, h}, part.firstColumn, part.endColumn, part.firstRow,
                        part.endRow);
    double squares = 0;
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        const uint32_t got = frame[static_cast<size_t>(drawn.y + part.firstRow + y) * width + drawn.x + part.firstColumn + x];
        const uint8_t* want = &expected[(static_cast<size_t>(y) * w + x) * 4];
        for (int32_t c = 0; c < 3; ++c) {
          const double d = static_cast<double>((got >> (8 * c)) & 0xFF) - want[c];
          squares += d * d;
        }
      }
    }
    const double mse = squares / (3.0 * w * h);
    return mse == 0 ? 99.0 : 10.0 * std::log10(255.0 * 255.0 / mse);
  }

  std::wstring folder_;
};

TEST_F(ViewerFrame, ZoomDragAndTurnsWorkFromTheKeptCopies) {
  ASSERT_EQ(currentImage.Width(), kWidth);
  const ZoomReductions& levels = View().shown.levels;
  ASSERT_TRUE(levels.Match(currentImage, false)) << "expected halving levels made with the prepared picture";
  EXPECT_EQ(levels.levels.front()->Width(), kWidth / 2);

  // A new window size: a quick view at once, the exact fitted copy made on the worker.
  SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 1000, 760, SWP_SHOWWINDOW);
  Redraw(View());
  int32_t areaWidth = 0, areaHeight = 0;
  Frame(areaWidth, areaHeight);
  const XywhRect fitted = FitImage(kWidth, kHeight, areaWidth, areaHeight);
  EXPECT_FALSE(View().shown.fitted.Matches(currentImage, fitted.width, fitted.height, false))
      << "expected the new fitted copy left to the worker";
  Settle();
  EXPECT_TRUE(View().shown.fitted.Matches(currentImage, fitted.width, fitted.height, false));
  EXPECT_GE(ZoomedPsnr(), 60.0) << "expected the exact fitted view once the copy arrived";

  RECT client{};
  GetClientRect(Hwnd(), &client);
  PutCursor(client.right / 2, client.bottom / 2);
  for (int step = 1; step <= 5; ++step) {
    Filter(WM_KEYDOWN, VK_UP);
    if (step == 1 || step == 5) {
      const double quick = ZoomedPsnr();
      EXPECT_GE(quick, 35.0) << "at zoom " << viewState.zoom << " expected >= 35 dB against the exact average, got "
                             << quick;
      Settle();
      const double settled = ZoomedPsnr();
      EXPECT_GE(settled, 60.0) << "at zoom " << viewState.zoom << " expected the exact view once input paused, got "
                               << settled << " dB";
    }
  }

  // A drag: the frame moves by the cursor's step, and is then exactly what a full redraw gives.
  int32_t width = 0, height = 0;
  const std::vector<uint32_t> before = Frame(width, height);
  const float panX = viewState.panX, panY = viewState.panY;
  Filter(WM_LBUTTONDOWN, MK_LBUTTON);
  ASSERT_EQ(viewState.dragging, 1);
  PutCursor(client.right / 2 + 37, client.bottom / 2 + 23);
  Filter(WM_MOUSEMOVE, MK_LBUTTON);
  Filter(WM_LBUTTONUP, 0);
  const std::vector<uint32_t> moved = Frame(width, height);
  int32_t notMoved = 0;
  for (int32_t y = 100; y < height - 100; y += 13)
    for (int32_t x = 100; x < width - 100; x += 17)
      notMoved += moved[static_cast<size_t>(y + 23) * width + x + 37] != before[static_cast<size_t>(y) * width + x];
  EXPECT_EQ(notMoved, 0) << "expected the frame moved by (37, 23); pan " << panX << ", " << panY << " -> "
                         << viewState.panX << ", " << viewState.panY;
  Filter(WM_KEYDOWN, 'C');
  Filter(WM_KEYDOWN, 'C');  // two background changes: a full redraw at the same place
  const std::vector<uint32_t> redrawn = Frame(width, height);
  size_t differing = 0;
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x)
      if (x < 37 || y < 23) differing += moved[static_cast<size_t>(y) * width + x] != redrawn[static_cast<size_t>(y) * width + x];
  EXPECT_EQ(differing, 0u) << "expected the strips the drag uncovered to equal a full redraw there";

  // Two turns: each on screen at once from the turned fitted copy; input live meanwhile.
  const uint8_t* corner = currentImage.TopRow();
  const uint32_t topLeft = corner[0] | (corner[1] << 8) | (corner[2] << 16);
  Filter(WM_KEYDOWN, 'R');
  EXPECT_TRUE(View().turn.active) << "expected the full-size turn on the worker";
  EXPECT_EQ(viewState.zoom, 1.0f);
  EXPECT_EQ(Frame(width, height)[static_cast<size_t>(height / 2) * width + 2], kLightGrey)
      << "expected side bands of the turned, tall picture at once";
  Filter(WM_KEYDOWN, 'C');
  EXPECT_EQ(Frame(width, height)[static_cast<size_t>(height / 2) * width + 2], kBlack)
      << "expected the background key answered during the turn";
  Filter(WM_KEYDOWN, 'R');
  EXPECT_EQ(Frame(width, height)[static_cast<size_t>(2) * width + width / 2], kBlack)
      << "expected bands above and below after the second turn";
  const DWORD start = GetTickCount();
  while (View().turn.active && GetTickCount() - start < 30000) Pump();
  ASSERT_FALSE(View().turn.active) << "the turned picture never arrived";
  ASSERT_EQ(currentImage.Width(), kWidth);
  const uint8_t* last = currentImage.TopRow() + static_cast<ptrdiff_t>(kHeight - 1) * currentImage.Pitch() +
                        static_cast<ptrdiff_t>(kWidth - 1) * (currentImage.BitsPerPixel() / 8);
  EXPECT_EQ(static_cast<uint32_t>(last[0] | (last[1] << 8) | (last[2] << 16)), topLeft)
      << "expected the old top-left pixel at the bottom right after a half turn";
  EXPECT_TRUE(View().shown.levels.Match(currentImage, false)) << "expected levels made with the turn";

  // A step during a turn abandons it: the next picture shows, unturned.
  Filter(WM_KEYDOWN, 'L');
  ASSERT_TRUE(View().turn.active);
  Filter(WM_KEYDOWN, VK_RIGHT);
  WaitForPicture();
  EXPECT_FALSE(View().turn.active) << "expected the turn abandoned by the next picture";
  EXPECT_EQ(Caption(), L"Vistrel - b.jpg");
  EXPECT_EQ(currentImage.Width(), kWidth) << "expected the next picture unturned";
}

}  // namespace
