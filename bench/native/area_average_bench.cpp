// Times the area-average reduction of a 24-megapixel chart (6000 x 4000, bottom-up like a decoded
// bitmap) into 1920 x 1080 and into 1471 x 981, from 24-bit B, G, R (opaque) and from 32-bit
// premultiplied B, G, R, A, on one thread and split by rows over two. Each figure is the median
// of 7 runs, interleaved with a same-run baseline: one read of every source byte, the least any
// reduction must do. Beside the wall times it prints the processor time of the busiest thread,
// which stays meaningful when other jobs share the machine. Also checks the result against a plain
// double-precision area average (its time is printed too) and prints the PSNR of ours against it.
//
// Build optimised, not in the sanitiser preset (see docs/benchmarks.md).
#include <time.h>  // clock_gettime: per-thread processor time

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "support/test_chart.h"
#include "view/area_average.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 7;

double Milliseconds(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// A 32-bit bottom-up output bitmap.
struct Target {
  int32_t width;
  int32_t height;
  std::vector<uint8_t> pixels;
  Target(int32_t w, int32_t h) : width(w), height(h), pixels(static_cast<size_t>(w) * h * 4) {}
  int32_t Pitch() const { return -width * 4; }
  uint8_t* TopRow() { return pixels.data() + pixels.size() - static_cast<size_t>(width) * 4; }
  TargetPixels View() { return TargetPixels{TopRow(), Pitch(), width, height}; }
};

SourcePixels SourceOf(const TestChart& chart) {
  return SourcePixels{chart.TopRow(), chart.pitch, chart.width, chart.height, chart.bitsPerPixel, nullptr};
}

// Reads every byte of the source once; the result is used so the reads cannot be dropped.
uint64_t ReadPass(const TestChart& chart) {
  const size_t rowBytes = static_cast<size_t>(-chart.pitch);
  uint64_t total = 0;
#if defined(__SSE2__)
  __m128i sum = _mm_setzero_si128();
  const __m128i zero = _mm_setzero_si128();
  for (int32_t y = 0; y < chart.height; ++y) {
    const uint8_t* row = chart.TopRow() + static_cast<ptrdiff_t>(y) * chart.pitch;
    size_t i = 0;
    for (; i + 16 <= rowBytes; i += 16) {
      sum =
          _mm_add_epi64(sum, _mm_sad_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + i)), zero));
    }
    for (; i < rowBytes; ++i) total += row[i];
  }
  uint64_t lanes[2];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(lanes), sum);
  total += lanes[0] + lanes[1];
#else
  for (int32_t y = 0; y < chart.height; ++y) {
    const uint8_t* row = chart.TopRow() + static_cast<ptrdiff_t>(y) * chart.pitch;
    for (size_t i = 0; i < rowBytes; ++i) total += row[i];
  }
#endif
  return total;
}

// The part of [begin, end) that source pixel j covers.
double Covered(double begin, double end, int32_t j) {
  return std::max(0.0, std::min(end, j + 1.0) - std::max(begin, static_cast<double>(j)));
}

// The plain double-precision area average: for each output row, the covered source rows summed
// with their covered fractions, then each output pixel's columns likewise.
void ReferenceAverage(const TestChart& chart, Target& target, bool averageAlpha) {
  const int32_t stride = chart.bitsPerPixel / 8;
  const double sx = static_cast<double>(chart.width) / target.width;
  const double sy = static_cast<double>(chart.height) / target.height;
  std::vector<double> rowSum(static_cast<size_t>(chart.width) * 4);
  for (int32_t y = 0; y < target.height; ++y) {
    std::fill(rowSum.begin(), rowSum.end(), 0.0);
    const double top = y * sy;
    const double bottom = (y + 1) * sy;
    for (int32_t j = static_cast<int32_t>(top); j < chart.height && j < bottom; ++j) {
      const double w = Covered(top, bottom, j);
      const uint8_t* row = chart.TopRow() + static_cast<ptrdiff_t>(j) * chart.pitch;
      for (int32_t x = 0; x < chart.width; ++x) {
        for (int c = 0; c < stride; ++c) rowSum[static_cast<size_t>(x) * 4 + c] += w * row[x * stride + c];
      }
    }
    uint8_t* out = target.TopRow() + static_cast<ptrdiff_t>(y) * target.Pitch();
    for (int32_t x = 0; x < target.width; ++x) {
      const double left = x * sx;
      const double right = (x + 1) * sx;
      double sum[4] = {0, 0, 0, 0};
      for (int32_t i = static_cast<int32_t>(left); i < chart.width && i < right; ++i) {
        const double w = Covered(left, right, i);
        for (int c = 0; c < 4; ++c) sum[c] += w * rowSum[static_cast<size_t>(i) * 4 + c];
      }
      for (int c = 0; c < 4; ++c) {
        out[x * 4 + c] = static_cast<uint8_t>(std::lround(sum[c] / (sx * sy)));
      }
      if (!averageAlpha) out[x * 4 + 3] = 255;
    }
  }
}

// Processor time of the calling thread: what other jobs on a busy machine do not inflate.
double ThreadCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct Timing {
  double wallMs;
  double busiestThreadMs;  // processor time of the thread that worked longest
};

// One reduction including its tables, on one thread or split by rows over two.
Timing TimeOurs(const TestChart& chart, Target& target, AverageMode mode, AverageKernel kernel, int threads) {
  const Clock::time_point start = Clock::now();
  const double cpuStart = ThreadCpuMs();
  const AreaAverager averager(SourceOf(chart), target.width, target.height, mode, kernel);
  const TargetPixels view = target.View();
  double otherMs = 0.0;
  if (threads == 1) {
    averager.AverageRows(view, 0, target.height);
  } else {
    const int32_t half = target.height / 2;
    std::thread other([&] {
      const double otherStart = ThreadCpuMs();
      averager.AverageRows(view, 0, half);
      otherMs = ThreadCpuMs() - otherStart;
    });
    averager.AverageRows(view, half, target.height);
    other.join();
  }
  const double ownMs = ThreadCpuMs() - cpuStart;
  return Timing{Milliseconds(Clock::now() - start), std::max(ownMs, otherMs)};
}

void Measure(const TestChart& chart, int32_t width, int32_t height) {
  const bool alpha = chart.bitsPerPixel == 32;
  const AverageMode mode = alpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque;
  Target ours(width, height);
  std::vector<double> baseline, one, oneCpu, two, twoCpu, portable;
  uint64_t checksum = 0;
  for (int run = 0; run < kRuns; ++run) {
    const Clock::time_point start = Clock::now();
    checksum += ReadPass(chart);
    baseline.push_back(Milliseconds(Clock::now() - start));
    Timing t = TimeOurs(chart, ours, mode, AverageKernel::kFastest, 1);
    one.push_back(t.wallMs);
    oneCpu.push_back(t.busiestThreadMs);
    t = TimeOurs(chart, ours, mode, AverageKernel::kFastest, 2);
    two.push_back(t.wallMs);
    twoCpu.push_back(t.busiestThreadMs);
    portable.push_back(TimeOurs(chart, ours, mode, AverageKernel::kPortable, 1).wallMs);
  }
  Target reference(width, height);
  const Clock::time_point start = Clock::now();
  ReferenceAverage(chart, reference, alpha);
  const double referenceMs = Milliseconds(Clock::now() - start);

  int32_t maxDifference = 0;
  for (size_t i = 0; i < ours.pixels.size(); ++i) {
    maxDifference = std::max(maxDifference, std::abs(ours.pixels[i] - reference.pixels[i]));
  }
  const double psnr =
      PsnrBgr(ours.TopRow(), ours.Pitch(), reference.TopRow(), reference.Pitch(), width, height);
  const double base = Median(baseline);
  const double m1 = Median(one);
  const double m2 = Median(two);
  const double mp = Median(portable);
  std::printf("%d-bit %s -> %d x %d  (read pass %.1f ms, checksum %llu)\n", chart.bitsPerPixel,
              alpha ? "premultiplied" : "opaque", width, height, base,
              static_cast<unsigned long long>(checksum % 1000));
  const double c1 = Median(oneCpu);
  const double c2 = Median(twoCpu);
  std::printf("  1 thread  %7.1f ms = %5.2f x read pass (processor time %.1f ms)\n", m1, m1 / base, c1);
  std::printf(
      "  2 threads %7.1f ms = %5.2f x read pass, speed-up %.2f (busier thread's processor time %.1f ms,"
      " %.2f x less)\n",
      m2, m2 / base, m1 / m2, c2, c1 / c2);
  std::printf("  portable  %7.1f ms = %5.2f x read pass, %.2f x the fast kernels\n", mp, mp / base, mp / m1);
  std::printf("  double reference %.1f ms = %.1f x ours (1 thread)\n", referenceMs, referenceMs / m1);
  std::printf("  PSNR against the double reference: %.1f dB (colour), largest difference %d level(s)%s\n",
              psnr, maxDifference, psnr >= 50.0 ? "" : "  BELOW 50 dB");
}

}  // namespace

int main() {
#if !defined(__OPTIMIZE__)
  std::printf("Unoptimised build: the figures below say little. See docs/benchmarks.md.\n");
#endif
  std::printf("Area average of a 6000 x 4000 chart, median of %d runs\n", kRuns);
  for (ChartPixels kind : {ChartPixels::kBgr, ChartPixels::kPremultipliedBgra}) {
    const TestChart chart = MakeTestChart(6000, 4000, kind);
    Measure(chart, 1920, 1080);
    Measure(chart, 1471, 981);
  }
  return 0;
}
