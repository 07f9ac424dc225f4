// How the fitted view looks and what it costs, against bare baselines in the same run. Prints
// figures; it is not a test.
//
// Quality: a 6000 x 4000 chart of fine detail (1-pixel lines, checkerboards, a zone plate, noise)
// fitted into a 1471 x 981 picture area, drawn by the renderer on the plain path (listed as a
// JPEG) and on the alpha path (listed as a PNG, with alpha varying across it), compared with the
// exact area average of the chart (composed over the background on the alpha path): PSNR of what
// the renderer put in its frame, and of a bare HALFTONE StretchBlt / AlphaBlend of the whole chart.
//
// Cost: a 24 MP picture fitted into 1920 x 1080: the first fitted render of it until the exact
// view is on the screen (the area average, made on the worker for a picture this large,
// included) and a redraw that reuses the average (as a background toggle or a window move does),
// against one bare HALFTONE StretchBlt of the whole picture.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

#include "bench_timing.h"
#include "bench_viewer.h"
#include "framework/gdi_handles.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "support/test_chart.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/kept_frame.h"
#include "view/win32/render.h"

namespace {

constexpr int kRuns = 7;
constexpr int32_t kChartWidth = 6000;
constexpr int32_t kChartHeight = 4000;

// The chart becomes currentImage, as a decode would leave it (premultiplied on the alpha path).
bool LoadChart(BenchViewer& viewer, const TestChart& chart, bool alpha, const wchar_t* path) {
  if (!currentImage.Create(chart.width, chart.height, chart.bitsPerPixel, alpha)) return false;
  const size_t rowBytes = static_cast<size_t>(-chart.pitch);
  for (int32_t y = 0; y < chart.height; ++y) {
    std::memcpy(currentImage.TopRow() + static_cast<ptrdiff_t>(y) * currentImage.Pitch(),
                chart.TopRow() + static_cast<ptrdiff_t>(y) * chart.pitch, rowBytes);
  }
  viewer.MarkShown(path, alpha);
  return true;
}

// Draws the fitted view and waits until its exact copy, averaged on the worker for a picture this
// large, is on the screen; false when it did not come.
bool DrawFittedAndWait(BenchViewer& viewer) {
  PictureView& view = viewer.View();
  Redraw(view);
  const FittedCopy& copy = view.shown.fitted;
  return viewer.PumpUntil([&] { return !copy.image.IsNull() && copy.sourceRevision == currentImage.Revision(); },
                          60000);
}

// Which source pixels an output pixel covers on one axis, and by how much of each (as a part of
// the output pixel), in plain doubles: the reference is written independently of the engine.
struct Tap {
  int32_t source;
  double weight;
};
std::vector<std::vector<Tap>> AxisTaps(int32_t sourceSize, int32_t targetSize) {
  std::vector<std::vector<Tap>> taps(static_cast<size_t>(targetSize));
  const double scale = static_cast<double>(sourceSize) / targetSize;
  for (int32_t o = 0; o < targetSize; ++o) {
    const double from = o * scale;
    const double to = (o + 1) * scale;
    for (int32_t i = static_cast<int32_t>(from); i < sourceSize && i < to; ++i) {
      const double covered = std::min<double>(i + 1, to) - std::max<double>(i, from);
      if (covered > 0) taps[static_cast<size_t>(o)].push_back(Tap{i, covered / scale});
    }
  }
  return taps;
}

// The exact area average of the chart at the fitted size, composed over the background on the
// alpha path (premultiplied colours and alpha averaged alike), as 32-bit top-down rows.
std::vector<uint8_t> ExactFitted(const TestChart& chart, const XywhRect& fitted, bool alpha) {
  const int32_t bytes = chart.bitsPerPixel / 8;
  const auto columns = AxisTaps(chart.width, fitted.width);
  const auto rows = AxisTaps(chart.height, fitted.height);
  std::vector<uint8_t> out(static_cast<size_t>(fitted.width) * fitted.height * 4);
  std::vector<double> across(static_cast<size_t>(fitted.width) * 4);
  for (int32_t y = 0; y < fitted.height; ++y) {
    std::fill(across.begin(), across.end(), 0.0);
    for (const Tap& row : rows[static_cast<size_t>(y)]) {
      const uint8_t* line = chart.TopRow() + static_cast<ptrdiff_t>(row.source) * chart.pitch;
      for (int32_t x = 0; x < fitted.width; ++x) {
        for (const Tap& column : columns[static_cast<size_t>(x)]) {
          const uint8_t* p = line + static_cast<ptrdiff_t>(column.source) * bytes;
          const double w = row.weight * column.weight;
          for (int32_t c = 0; c < bytes; ++c) across[static_cast<size_t>(x) * 4 + c] += w * p[c];
        }
      }
    }
    for (int32_t x = 0; x < fitted.width; ++x) {
      const double* v = &across[static_cast<size_t>(x) * 4];
      const double cover = alpha ? v[3] / 255.0 : 1.0;
      uint8_t* o = &out[(static_cast<size_t>(y) * fitted.width + x) * 4];
      for (int32_t c = 0; c < 3; ++c) {
        o[c] = static_cast<uint8_t>(std::lround(std::min(255.0, v[c] + kLightBackground * (1.0 - cover))));
      }
    }
  }
  return out;
}

// The fitted rectangle of a 0x00RRGGBB frame as 32-bit B, G, R, 0 rows.
std::vector<uint8_t> Cut(const std::vector<uint32_t>& frame, int32_t frameWidth, const XywhRect& r) {
  std::vector<uint8_t> rows(static_cast<size_t>(r.width) * r.height * 4);
  for (int32_t y = 0; y < r.height; ++y) {
    for (int32_t x = 0; x < r.width; ++x) {
      const uint32_t p = frame[static_cast<size_t>(r.y + y) * frameWidth + r.x + x];
      uint8_t* out = &rows[(static_cast<size_t>(y) * r.width + x) * 4];
      out[0] = static_cast<uint8_t>(p);
      out[1] = static_cast<uint8_t>(p >> 8);
      out[2] = static_cast<uint8_t>(p >> 16);
    }
  }
  return rows;
}

// The whole of currentImage stretched into the rectangle the plain way (HALFTONE) or the alpha
// way (AlphaBlend over the background), without the renderer: what a fitted draw was before.
std::vector<uint32_t> BareFitted(HWND viewer, const XywhRect& d, int32_t width, int32_t height, bool alpha) {
  WindowDc screen(GetDlgItem(viewer, IDC_PICTURE));
  Bitmap target(CreateCompatibleBitmap(screen.Get(), width, height));
  {
    MemoryDc dest(screen.Get(), target.Get());
    MemoryDc source(dest.Get(), currentImage.Handle());
    const RECT all{0, 0, width, height};
    Brush grey(CreateSolidBrush(RGB(kLightBackground, kLightBackground, kLightBackground)));
    FillRect(dest.Get(), &all, grey.Get());
    if (alpha) {
      BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
      AlphaBlend(dest.Get(), d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
                 currentImage.Height(), blend);
    } else {
      SetStretchBltMode(dest.Get(), HALFTONE);
      SetBrushOrgEx(dest.Get(), 0, 0, nullptr);
      StretchBlt(dest.Get(), d.x, d.y, d.width, d.height, source.Get(), 0, 0, currentImage.Width(),
                 currentImage.Height(), SRCCOPY);
    }
  }
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  BITMAPINFO info = {};
  info.bmiHeader = {sizeof(BITMAPINFOHEADER), width, -height, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
  GetDIBits(screen.Get(), target.Get(), 0, static_cast<UINT>(height), pixels.data(), &info, DIB_RGB_COLORS);
  return pixels;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, const XywhRect& r) {
  return PsnrBgr(a.data(), r.width * 4, b.data(), r.width * 4, r.width, r.height);
}

void QualityFigures(const TestChart& chart, bool alpha) {
  constexpr int32_t kWidth = 1471;
  constexpr int32_t kHeight = 981;
  BenchViewer viewer(L"fitting bench", kWidth, kHeight);
  if (!LoadChart(viewer, chart, alpha, alpha ? L"C:\\bench\\chart.png" : L"C:\\bench\\chart.jpg")) {
    std::printf("  could not make the chart's bitmap\n");
    return;
  }
  const XywhRect fitted = FitImage(chart.width, chart.height, kWidth, kHeight);
  const std::vector<uint8_t> exact = ExactFitted(chart, fitted, alpha);
  if (!DrawFittedAndWait(viewer)) {
    std::printf("  the exact fitted copy did not come from the worker\n");
    return;
  }
  std::vector<uint32_t> frame;
  int32_t frameWidth = 0, frameHeight = 0;
  if (!ReadKeptFrame(viewer.View().frame, frame, frameWidth, frameHeight)) {
    std::printf("  no kept frame\n");
    return;
  }
  const double ours = Psnr(Cut(frame, frameWidth, fitted), exact, fitted);
  const double bare = Psnr(Cut(BareFitted(viewer.Window(), fitted, kWidth, kHeight, alpha), kWidth, fitted), exact, fitted);
  std::printf("  (q) %s path, %dx%d chart fitted into %dx%d: PSNR against the exact area average %.1f dB (target >= 35); "
              "bare %s %.1f dB\n",
              alpha ? "alpha" : "plain", chart.width, chart.height, fitted.width, fitted.height, ours,
              alpha ? "AlphaBlend" : "HALFTONE StretchBlt", bare);
}

void CostFigures(const TestChart& chart) {
  constexpr int32_t kWidth = 1920;
  constexpr int32_t kHeight = 1080;
  BenchViewer viewer(L"fitting bench", kWidth, kHeight);
  if (!LoadChart(viewer, chart, false, L"C:\\bench\\photo.jpg")) return;
  PictureView& view = viewer.View();
  const XywhRect fitted = FitImage(chart.width, chart.height, kWidth, kHeight);
  std::vector<double> first, again, bare;
  for (int i = 0; i < kRuns; ++i) {
    view.shown.fitted.image.Destroy();  // as after a decode, a turn or a new size
    double start = NowMs();
    if (!DrawFittedAndWait(viewer)) {
      std::printf("  the exact fitted copy did not come from the worker\n");
      return;
    }
    GdiFlush();
    first.push_back(NowMs() - start);
    start = NowMs();
    Redraw(view);
    GdiFlush();
    again.push_back(NowMs() - start);
    start = NowMs();
    BareFitted(viewer.Window(), fitted, kWidth, kHeight, false);
    bare.push_back(NowMs() - start);
  }
  const double stretch = Median(bare);
  std::printf("  (q) 24 MP into %dx%d: first fitted render until the exact average is on the screen %.1f ms, bare HALFTONE StretchBlt %.1f ms, "
              "ratio %.3f (target <= 0.5)\n",
              kWidth, kHeight, Median(first), stretch, Median(first) / stretch);
  std::printf("  (q) redraw reusing the average %.2f ms (target <= 5 ms), ratio to the bare stretch %.3f\n",
              Median(again), Median(again) / stretch);
}

}  // namespace

int main() {
  SetInitialViewState(viewState);
  std::printf("fitting: chart and costs (medians of %d)\n", kRuns);
  const TestChart plain = MakeTestChart(kChartWidth, kChartHeight, ChartPixels::kBgr);
  QualityFigures(plain, false);
  QualityFigures(MakeTestChart(kChartWidth, kChartHeight, ChartPixels::kPremultipliedBgra), true);
  CostFigures(plain);
  currentImage.Destroy();
  return 0;
}
