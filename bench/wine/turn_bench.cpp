// What a quarter turn of a large picture costs with our tiled rotation against the imaging
// library's rotate-flip, in the same run. Prints figures; it is not a test.
//
// For 24 MP (6000 x 4000) and 100 MP (12000 x 8400) pictures at 24 and 32 bits: our turn into a
// new DIB (as the worker runs it), the library's GdipImageRotateFlip alone on a
// bitmap it already holds (its best case), and the whole imaging-library route
// (RotateWithImagingLibrary: the DIB handed to the library, turned there and handed back),
// medians of 5.
//
//   turn_bench.exe [--quick]    --quick: the 24 MP pictures only
#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "bench_timing.h"
#include "picture/win32/dib_turn.h"
#include "picture/win32/dib_image.h"
#include "framework/gdiplus_handles.h"
#include "picture/win32/image_edits.h"
#include "support/test_paths.h"

using namespace Gdiplus::DllExports;

namespace {

constexpr int kRuns = 5;

template <class Work>
double MedianMs(Work work) {
  std::vector<double> times;
  for (int i = 0; i < kRuns; ++i) {
    const double start = NowMs();
    work();
    times.push_back(NowMs() - start);
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void Fill(CImage& image) {
  for (int32_t y = 0; y < image.Height(); ++y) {
    uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
    const int32_t bytes = image.Width() * image.BitsPerPixel() / 8;
    for (int32_t i = 0; i < bytes; ++i) row[i] = static_cast<uint8_t>(i * 7 + y * 13);
  }
}

void Measure(int32_t width, int32_t height, int32_t bits) {
  CImage picture;
  if (!picture.Create(width, height, bits, false)) {
    std::printf("%d x %d at %d bits: cannot make the picture\n", width, height, bits);
    return;
  }
  Fill(picture);
  CImage turned;
  const double ours = MedianMs([&] { TurnDib(picture, kTurnClockwise, turned); });
  turned.Destroy();

  double library = -1;
  {
    GpBitmapOwner wrapper, held;
    const Gdiplus::PixelFormat format = bits == 24 ? PixelFormat24bppRGB : PixelFormat32bppRGB;
    if (GdipCreateBitmapFromScan0(width, height, picture.Pitch(), format, picture.TopRow(), wrapper.Out()) == Gdiplus::Ok &&
        GdipCloneBitmapAreaI(0, 0, width, height, format, wrapper.Get(), held.Out()) == Gdiplus::Ok) {
      library = MedianMs([&] { GdipImageRotateFlip(held.Get(), Gdiplus::Rotate90FlipNone); });
    }
  }
  // The library route turns the picture itself; a fresh copy each run keeps the runs alike.
  std::vector<double> routeTimes;
  for (int i = 0; i < kRuns; ++i) {
    CImage copy;
    if (!copy.Create(width, height, bits, false)) break;
    Fill(copy);
    const double start = NowMs();
    RotateWithImagingLibrary(copy, kTurnClockwise, false);
    routeTimes.push_back(NowMs() - start);
  }
  std::sort(routeTimes.begin(), routeTimes.end());
  const double route = routeTimes.empty() ? -1 : routeTimes[routeTimes.size() / 2];
  std::printf("%5d x %5d at %d bits: ours %7.1f ms, library rotate-flip %7.1f ms (ours %.2fx of it), "
              "library route %7.1f ms (ours %.2fx of it)\n",
              width, height, bits, ours, library, library > 0 ? ours / library : 0.0, route,
              route > 0 ? ours / route : 0.0);
}

}  // namespace

int main() {
  if (!EnsureImagingStarted()) {
    std::printf("the imaging library did not start\n");
    return 1;
  }
  const std::vector<std::wstring> arguments = ProgramArguments();
  const bool quick = arguments.size() == 2 && arguments[1] == L"--quick";
  if (arguments.size() > 2 || (arguments.size() == 2 && !quick)) {
    std::printf("usage: turn_bench.exe [--quick]\n");
    return 2;
  }
  for (int32_t bits : {24, 32}) Measure(6000, 4000, bits);
  if (quick) return 0;
  for (int32_t bits : {24, 32}) Measure(12000, 8400, bits);
  return 0;
}
