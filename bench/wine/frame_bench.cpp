// What a user does to the shown picture near its fitted size, timed in-process on the renderer
// with a 1600 x 981 picture area (the maximised window), against the former route in the same
// run. Prints figures; it is not a test. (bench/e2e.sh times the whole program from outside.)
//
// For a 24 MP (6000 x 4000) and a 100 MP (12000 x 8400) test chart, 24-bit:
// - the worker's cost of the drawn copies (halving levels, then the fitted copy from them);
// - (z) the Up key from the fitted view (zoom 1.0 -> 1.2, anchored at the centre), as drawn now,
//   against one HALFTONE stretch of the whole picture into the zoomed rectangle (the former draw);
// - (q) PSNR of the zoomed views at 1.2x and 2x against the exact area average of the full
//   picture, and of the former stretch;
// - (p) drags at 1.2x and 3x: 40 moves of (7, 4) pixels, each drawn and put on the screen;
// - (t) R on the fitted view: until the turned picture is on the screen, the longest the window
//   then takes to answer (a background toggle, every 20 ms) until the full-size turn has landed,
//   and that whole turn; against the turn on the window's thread (Render's own, which blocks).
// Then, for the largest picture the decode limit lets through, (t) alone.
//
//   frame_bench.exe [--quick]    --quick: the 24 MP chart only
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "bench_viewer.h"
#include "resource.h"
#include "decode/jpeg/win32/jpeg_decode.h"
#include "support/photo_jpeg.h"
#include "support/test_chart.h"
#include "support/test_paths.h"
#include "view/area_average.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/background_turn.h"
#include "picture/win32/dib_image.h"
#include "view/win32/fitted_copy.h"
#include "framework/gdi_handles.h"
#include "view/win32/kept_frame.h"
#include "view/win32/render.h"
#include "view/win32/zoom_reductions.h"
#include "view/zoom_levels.h"

namespace {

constexpr int32_t kAreaWidth = 1600;
constexpr int32_t kAreaHeight = 981;
constexpr int kRuns = 5;

bool LoadChart(BenchViewer& viewer, const TestChart& chart) {
  if (!currentImage.Create(chart.width, chart.height, chart.bitsPerPixel, false)) return false;
  const size_t rowBytes = static_cast<size_t>(-chart.pitch);
  for (int32_t y = 0; y < chart.height; ++y) {
    std::memcpy(currentImage.TopRow() + static_cast<ptrdiff_t>(y) * currentImage.Pitch(),
                chart.TopRow() + static_cast<ptrdiff_t>(y) * chart.pitch, rowBytes);
  }
  viewer.MarkShown(L"C:\\bench\\photo.jpg", false);
  return true;
}

// The drawn copies as the worker makes them for a shown picture.
double MakeCopies(PictureView& view) {
  const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), kAreaWidth, kAreaHeight);
  const double start = NowMs();
  MakeDrawnCopies(currentImage, fitted.width, fitted.height, false, view.shown.fitted, view.shown.levels);
  return NowMs() - start;
}

void ZoomAtCentre(float zoom) {
  viewState.zoom = zoom;
  viewState.zoomAnchorX = kAreaWidth / 2;
  viewState.zoomAnchorY = kAreaHeight / 2;
  viewState.panX = -(static_cast<float>(viewState.zoomAnchorX) * (zoom - 1.0f));
  viewState.panY = -(static_cast<float>(viewState.zoomAnchorY) * (zoom - 1.0f));
}

XywhRect Drawn() {
  return DrawnRect(FitImage(currentImage.Width(), currentImage.Height(), kAreaWidth, kAreaHeight), viewState.zoom,
                   viewState.panX, viewState.panY);
}

// The former zoomed draw: one HALFTONE stretch of the whole picture into the drawn rectangle,
// onto the screen; returns its time and leaves what it drew in `frame` (0x00RRGGBB rows).
double FormerZoomedDraw(HWND viewer, std::vector<uint32_t>* frame) {
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  WindowDc screen(control);
  Bitmap target(CreateCompatibleBitmap(screen.Get(), kAreaWidth, kAreaHeight));
  const XywhRect d = Drawn();
  double ms = 0;
  {
    MemoryDc dest(screen.Get(), target.Get());
    MemoryDc source(dest.Get(), currentImage.Handle());
    const double start = NowMs();
    SetStretchBltMode(dest.Get(), HALFTONE);
    SetBrushOrgEx(dest.Get(), 0, 0, nullptr);
    StretchBlt(dest.Get(), d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
               currentImage.Height(), SRCCOPY);
    BitBlt(screen.Get(), 0, 0, kAreaWidth, kAreaHeight, dest.Get(), 0, 0, SRCCOPY);
    GdiFlush();
    ms = NowMs() - start;
  }
  if (frame != nullptr) {
    frame->assign(static_cast<size_t>(kAreaWidth) * kAreaHeight, 0);
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), kAreaWidth, -kAreaHeight, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    GetDIBits(screen.Get(), target.Get(), 0, kAreaHeight, frame->data(), &info, DIB_RGB_COLORS);
  }
  return ms;
}

double TimedRedraw(PictureView& view) {
  const double start = NowMs();
  Redraw(view);
  GdiFlush();
  return NowMs() - start;
}

// PSNR of the visible drawn part of a frame against the exact area average of the full picture.
double ZoomedPsnr(const std::vector<uint32_t>& frame) {
  const XywhRect d = Drawn();
  const DrawnWindow part = VisiblePartOf(d, kAreaWidth, kAreaHeight);
  const SourcePixels source{currentImage.TopRow(), currentImage.Pitch(), currentImage.Width(), currentImage.Height(),
                            currentImage.BitsPerPixel(), nullptr};
  const AreaAverager exact(source, d.width, d.height, AverageMode::kOpaque);
  const int32_t w = part.endColumn - part.firstColumn, h = part.endRow - part.firstRow;
  if (!exact.Ok() || part.Empty()) return -1;
  std::vector<uint8_t> expected(static_cast<size_t>(w) * h * 4), got(static_cast<size_t>(w) * h * 4);
  exact.AverageWindow(TargetPixels{expected.data(), w * 4, w, h}, part.firstColumn, part.endColumn, part.firstRow,
                      part.endRow);
  for (int32_t y = 0; y < h; ++y) {
    std::memcpy(&got[static_cast<size_t>(y) * w * 4],
                &frame[static_cast<size_t>(d.y + part.firstRow + y) * kAreaWidth + d.x + part.firstColumn],
                static_cast<size_t>(w) * 4);
  }
  return PsnrBgr(got.data(), w * 4, expected.data(), w * 4, w, h);
}

std::vector<uint32_t> KeptPixels(const PictureView& view) {
  std::vector<uint32_t> pixels;
  int32_t width = 0, height = 0;
  ReadKeptFrame(view.frame, pixels, width, height);
  return pixels;
}

// (t): R on the fitted view, the background toggled every 20 ms until the full-size turn lands.
void TurnFigure(BenchViewer& viewer) {
  PictureView& view = viewer.View();
  viewState.zoom = 1.0f;
  Redraw(view);
  double start = NowMs();
  TurnShownPicture(view, kTurnClockwise);
  GdiFlush();
  const double shown = NowMs() - start;
  double longest = 0;
  while (view.turn.active && NowMs() - start < 120000) {
    const double asked = NowMs();
    viewState.backgroundLevel = viewState.backgroundLevel == 0 ? kLightBackground : kDarkBackground;
    Redraw(view);
    GdiFlush();
    longest = std::max(longest, NowMs() - asked);
    Sleep(20);
    viewer.Pump();
  }
  const double landed = NowMs() - start;
  if (view.turn.active) {
    std::printf("  (t) the full-size turn did not land within 120 s\n");
    return;
  }
  start = NowMs();
  Turn(view, kTurnCounterClockwise);  // the turn on the window's thread
  const double blocking = NowMs() - start;
  std::printf("  (t) R on the fitted view: turned picture on screen in %.1f ms, window answered within %.1f ms "
              "meanwhile, full-size turn landed after %.0f ms; the turn on the window's thread blocks it %.0f ms "
              "(ratio %.3f)\n",
              shown, longest, landed, blocking, shown / blocking);
}

void Figures(const char* label, int32_t width, int32_t height) {
  BenchViewer viewer(L"frame bench", kAreaWidth, kAreaHeight);
  PictureView& view = viewer.View();
  {
    const TestChart chart = MakeTestChart(width, height, ChartPixels::kBgr);
    if (!LoadChart(viewer, chart)) {
      std::printf("%s: could not make the picture\n", label);
      return;
    }
  }
  const double copies = MakeCopies(view);
  std::printf("%s (%d x %d): drawn copies on the worker %.0f ms (%zu levels, %.0f MB)\n", label, width, height,
              copies, view.shown.levels.levels.size(), view.shown.levels.Bytes() / 1048576.0);

  // (z) and (q)
  std::vector<double> up, former;
  for (int i = 0; i < kRuns; ++i) {
    viewState.zoom = 1.0f;
    Redraw(view);
    ZoomAtCentre(1.2000000477f);
    up.push_back(TimedRedraw(view));
    former.push_back(FormerZoomedDraw(viewer.Window(), nullptr));
  }
  std::printf("  (z) Up from fitted: %.1f ms; former whole-picture stretch %.1f ms; ratio %.3f\n", Median(up),
              Median(former), Median(up) / Median(former));
  for (float zoom : {1.2000000477f, 2.0f}) {
    ZoomAtCentre(zoom);
    Redraw(view);
    const std::vector<uint32_t> quickFrame = KeptPixels(view);
    const double quick = ZoomedPsnr(quickFrame);
    const double start = NowMs();
    double exactAfter = -1;
    while (NowMs() - start < 1500) {  // input pauses: the worker's exact view follows
      viewer.Pump();
      if (exactAfter < 0 && KeptPixels(view) != quickFrame) exactAfter = NowMs() - start;
      Sleep(2);
    }
    const double settled = ZoomedPsnr(KeptPixels(view));
    std::vector<uint32_t> stretched;
    FormerZoomedDraw(viewer.Window(), &stretched);
    std::printf("  (q) %.1fx: PSNR against the exact average %.1f dB drawn from the level at once, %.1f dB once input "
                "paused, on screen %.0f ms after the quick one (target >= 35); former stretch %.1f dB\n",
                zoom, quick, settled, exactAfter, ZoomedPsnr(stretched));
  }

  // (q) on a photo-like picture of the same size: smooth light, edges and grain, as cameras give.
  {
    const std::wstring path = MakeScratchDir(L"frame-bench") + L"\\photo.jpg";
    CImage photo;
    if (EnsureImagingStarted() && WritePhotoJpeg(path, width, height, 3) && DecodeJpegFile(path, photo) == FileDecodeOutcome::kDecoded) {
      CImage chart;
      chart.Swap(currentImage);
      currentImage.Swap(photo);
      MakeCopies(view);
      for (float zoom : {1.2000000477f, 2.0f}) {
        ZoomAtCentre(zoom);
        Redraw(view);
        std::printf("  (q) %.1fx on a photo-like picture: %.1f dB drawn from the level at once\n", zoom,
                    ZoomedPsnr(KeptPixels(view)));
      }
      currentImage.Swap(chart);
      MakeCopies(view);
    }
  }

  // (p)
  for (float zoom : {1.2000000477f, 3.0f}) {
    ZoomAtCentre(zoom);
    Redraw(view);
    std::vector<double> moves;
    for (int i = 0; i < 40; ++i) {
      const float step = i < 20 ? 1.0f : -1.0f;
      viewState.panX += 7 * step;
      viewState.panY += 4 * step;
      moves.push_back(TimedRedraw(view));
    }
    const double worst = *std::max_element(moves.begin(), moves.end());
    std::printf("  (p) drag at %.1fx: %.1f ms per move (median), worst %.1f ms, so %.0f moves/s possible; former "
                "%.1f ms per move\n",
                zoom, Median(moves), worst, 1000.0 / Median(moves), FormerZoomedDraw(viewer.Window(), nullptr));
  }

  TurnFigure(viewer);
  viewState.backgroundLevel = kLightBackground;
  currentImage.Destroy();
}

// The largest picture the decode limit lets through, as a PNG with alpha gives it (32-bit,
// premultiplied on the worker): only (t), whether the window keeps answering during its turn.
void BigTurn(int32_t width, int32_t height) {
  BenchViewer viewer(L"frame bench", kAreaWidth, kAreaHeight);
  PictureView& view = viewer.View();
  if (!currentImage.Create(width, height, 32, true)) {
    std::printf("%d x %d: could not make the picture\n", width, height);
    return;
  }
  for (int32_t y = 0; y < height; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(currentImage.TopRow() + static_cast<ptrdiff_t>(y) * currentImage.Pitch());
    for (int32_t x = 0; x < width; ++x) row[x] = 0xFF000000u | ((x & 0xFF) << 16) | ((y & 0xFF) << 8) | ((x ^ y) & 0xFF);
  }
  viewer.MarkShown(L"C:\\bench\\big.png", true);
  const XywhRect fitted = FitImage(width, height, kAreaWidth, kAreaHeight);
  MakeDrawnCopies(currentImage, fitted.width, fitted.height, true, view.shown.fitted, view.shown.levels);
  std::printf("%d x %d PNG with alpha (%.0f MB):\n", width, height, width * 4.0 * height / 1048576.0);
  TurnFigure(viewer);
  currentImage.Destroy();
}

}  // namespace

int main() {
  const std::vector<std::wstring> arguments = ProgramArguments();
  const bool quick = arguments.size() == 2 && arguments[1] == L"--quick";
  if (arguments.size() > 2 || (arguments.size() == 2 && !quick)) {
    std::printf("usage: frame_bench.exe [--quick]\n");
    return 2;
  }
  SetInitialViewState(viewState);
  std::printf("frame: interactions near the fitted view, %d x %d area (medians of %d)\n", kAreaWidth, kAreaHeight,
              kRuns);
  Figures("24 MP", 6000, 4000);
  if (quick) return 0;
  Figures("100 MP", 12000, 8400);
  BigTurn(16000, 16000);
  return 0;
}
