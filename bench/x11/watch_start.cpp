// Times a native X program from launch until an area of the screen shows its picture and is
// still, the way bench/wine/e2e_bench.cpp times vistrel.exe: full-width rows spread over the
// area, read with XGetSubImage a few hundred times a second; the figure is the start of the
// first capture of the final state, which must have stayed unchanged for the quiet time and
// cover most of the area with something other than what was there before and black.
// Bench code for bench/e2e.sh, built there with the host compiler; prints figures, not a test.
//
//   watch_start --area WxH+X+Y [--runs N] [--warmup N] [--quiet-ms MS] [--result FILE]
//               [--save-reference FILE [--settle-ms MS] | --reference FILE] -- COMMAND...
//
// Prints the counted runs, their median and the mean poll period; with --result it writes only
// "MEDIAN PERIOD FIRST" (or "failed") to FILE, last of all (for e2e_bench.exe, which starts this
// helper once per round). FIRST, with a reference, is the median time to the first picture: the
// first capture close to the final state (90 % of the pixels within 40 levels), such as a quick
// first view the exact picture replaces later; -1 without a reference.
//
// A program started in a Wine desktop of its own shows the desktop's background first, which is
// new and still for as long as the program takes, so for those a reference decides: a run with
// --save-reference waits at least the settle time (and the quiet time after the last change) and
// writes the state it ends on to FILE; a run with --reference FILE accepts only a state that
// matches it (at least 95 % of the pixels within 12 levels in every channel).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "screen_timing.h"

extern char** environ;

namespace {

constexpr int kSampledRows = 32;
constexpr double kTimeoutMs = 30000;
// From the start of one capture to the start of the next, as e2e_bench.exe reads the screen.
constexpr double kPeriodMs = 4;

// Owns the display connection and one image of `rows` rows that every capture is read into.
class RowSampler {
 public:
  RowSampler(Display* display, const Area& area) : display_(display), area_(area) {
    const int rows = std::min(kSampledRows, area.height);
    for (int i = 0; i < rows; ++i) rowTops_.push_back(area.y + (2 * i + 1) * area.height / (2 * rows));
    const int screen = DefaultScreen(display);
    image_ =
        XGetImage(display, RootWindow(display, screen), area.x, area.y, area.width, rows, AllPlanes, ZPixmap);
  }
  ~RowSampler() {
    if (image_ != nullptr) XDestroyImage(image_);
  }
  RowSampler(const RowSampler&) = delete;
  RowSampler& operator=(const RowSampler&) = delete;

  bool Ok() const { return image_ != nullptr && image_->bits_per_pixel == 32; }

  // Pixels as 0x00RRGGBB, row after row.
  void Capture(std::vector<uint32_t>* pixels) {
    const Window root = RootWindow(display_, DefaultScreen(display_));
    for (size_t i = 0; i < rowTops_.size(); ++i) {
      XGetSubImage(display_, root, area_.x, rowTops_[i], area_.width, 1, AllPlanes, ZPixmap, image_, 0,
                   static_cast<int>(i));
    }
    pixels->resize(static_cast<size_t>(area_.width) * rowTops_.size());
    for (size_t row = 0; row < rowTops_.size(); ++row) {
      const auto* source = reinterpret_cast<const uint32_t*>(image_->data + row * image_->bytes_per_line);
      for (int x = 0; x < area_.width; ++x) (*pixels)[row * area_.width + x] = source[x] & 0x00FFFFFF;
    }
  }

 private:
  Display* display_;  // not owned
  Area area_;
  std::vector<int> rowTops_;
  XImage* image_ = nullptr;
};

// Share of pixels that show something new: neither what was there before the launch nor black.
double CoveredFraction(const std::vector<uint32_t>& pixels, const std::vector<uint32_t>& before) {
  size_t covered = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (pixels[i] != before[i] && pixels[i] != 0) ++covered;
  }
  return pixels.empty() ? 0 : static_cast<double>(covered) / static_cast<double>(pixels.size());
}

// Share of pixels within `tolerance` levels of the reference in every channel.
double MatchingFraction(const std::vector<uint32_t>& pixels, const std::vector<uint32_t>& reference,
                        int tolerance) {
  if (pixels.size() != reference.size() || pixels.empty()) return 0;
  size_t matching = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    bool close = true;
    for (int shift = 0; shift < 24; shift += 8) {
      const int a = static_cast<int>((pixels[i] >> shift) & 0xFF);
      const int b = static_cast<int>((reference[i] >> shift) & 0xFF);
      if (std::abs(a - b) > tolerance) close = false;
    }
    if (close) ++matching;
  }
  return static_cast<double>(matching) / static_cast<double>(pixels.size());
}

// What a run accepts as the final state: with a reference, a state that matches it; else one
// that covers most of the area, after the settle time when a reference is being made.
struct Acceptance {
  const std::vector<uint32_t>* reference = nullptr;  // not owned; null when none
  double settleMs = 0;
};

bool Accepts(const Acceptance& acceptance, const std::vector<uint32_t>& state,
             const std::vector<uint32_t>& before) {
  if (acceptance.reference != nullptr) return MatchingFraction(state, *acceptance.reference, 12) >= 0.95;
  return CoveredFraction(state, before) >= 0.5;
}

bool SaveState(const char* path, const std::vector<uint32_t>& state) {
  FILE* file = std::fopen(path, "wb");
  if (file == nullptr) return false;
  const bool written = std::fwrite(state.data(), sizeof state[0], state.size(), file) == state.size();
  return std::fclose(file) == 0 && written;
}

bool LoadState(const char* path, size_t count, std::vector<uint32_t>* state) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  state->resize(count);
  const bool read = std::fread(state->data(), sizeof (*state)[0], count, file) == count;
  std::fclose(file);
  return read;
}

struct RunResult {
  bool ok = false;
  double ms = 0;
  double firstMs = -1;  // the first capture close to the reference; -1 for none
  int captures = 0;
  double periodMs = 0;
  std::vector<uint32_t> finalState;
};

RunResult TimeOneStart(RowSampler& sampler, char** command, double quietMs, const Acceptance& acceptance) {
  RunResult result;
  std::vector<uint32_t> before, now, state;
  sampler.Capture(&before);
  const double launched = NowMs();
  pid_t child = 0;
  if (posix_spawnp(&child, command[0], nullptr, nullptr, command, environ) != 0) {
    std::fprintf(stderr, "could not start %s\n", command[0]);
    return result;
  }
  double stateSince = 0, first = 0, last = 0;
  bool accepted = false;
  for (;;) {
    const double captured = NowMs();
    if (captured - launched > kTimeoutMs) break;
    sampler.Capture(&now);
    if (result.captures++ == 0) first = captured;
    last = captured;
    if (result.captures == 1 || now != state) {
      state.swap(now);
      stateSince = captured;
      accepted = Accepts(acceptance, state, before);
      if (result.firstMs < 0 && acceptance.reference != nullptr &&
          MatchingFraction(state, *acceptance.reference, 40) >= 0.9) {
        result.firstMs = captured - launched;
      }
    }
    if (accepted && captured - stateSince >= quietMs && captured - launched >= acceptance.settleMs) {
      result.ok = true;
      result.ms = stateSince - launched;
      result.finalState = state;
      break;
    }
    SleepMs(std::max(0.0, captured + kPeriodMs - NowMs()));
  }
  if (result.captures > 1) result.periodMs = (last - first) / (result.captures - 1);
  kill(child, SIGTERM);
  int status = 0;
  waitpid(child, &status, 0);
  // Let the window go before the next run compares against the bare screen.
  for (double end = NowMs() + 5000; NowMs() < end; SleepMs(10)) {
    sampler.Capture(&now);
    if (now == before) break;
  }
  return result;
}

// The caller waits for this file rather than for the process (Wine hands out no waitable handle
// for a Unix process), so it appears whole, by a rename, once everything else is done.
void WriteResult(const char* path, const double* median, double periodMs, double firstMedian) {
  const std::string partial = std::string(path) + ".partial";
  FILE* file = std::fopen(partial.c_str(), "w");
  if (file == nullptr) return;
  if (median != nullptr) {
    std::fprintf(file, "%.1f %.1f %.1f\n", *median, periodMs, firstMedian);
  } else {
    std::fprintf(file, "failed\n");
  }
  std::fclose(file);
  std::rename(partial.c_str(), path);
}

}  // namespace

int main(int argc, char** argv) {
  Area area;
  int runs = 5, warmup = 1;
  double quietMs = 500;
  const char* resultPath = nullptr;
  const char* saveReferencePath = nullptr;
  const char* referencePath = nullptr;
  double settleMs = 5000;
  int i = 1;
  for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
    const bool hasValue = i + 1 < argc;
    if (std::strcmp(argv[i], "--area") == 0 && hasValue && ParseArea(argv[i + 1], &area)) {
      ++i;
    } else if (std::strcmp(argv[i], "--runs") == 0 && hasValue) {
      runs = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--warmup") == 0 && hasValue) {
      warmup = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--quiet-ms") == 0 && hasValue) {
      quietMs = std::atof(argv[++i]);
    } else if (std::strcmp(argv[i], "--result") == 0 && hasValue) {
      resultPath = argv[++i];
    } else if (std::strcmp(argv[i], "--save-reference") == 0 && hasValue) {
      saveReferencePath = argv[++i];
    } else if (std::strcmp(argv[i], "--reference") == 0 && hasValue) {
      referencePath = argv[++i];
    } else if (std::strcmp(argv[i], "--settle-ms") == 0 && hasValue) {
      settleMs = std::atof(argv[++i]);
    } else {
      break;
    }
  }
  if (i >= argc - 1 || std::strcmp(argv[i], "--") != 0 || area.width == 0 || runs < 1 ||
      (saveReferencePath != nullptr && referencePath != nullptr)) {
    std::fprintf(stderr,
                 "usage: watch_start --area WxH+X+Y [--runs N] [--warmup N] [--quiet-ms MS] [--result FILE]\n"
                 "       [--save-reference FILE [--settle-ms MS] | --reference FILE] -- COMMAND...\n");
    return 2;
  }
  char** command = argv + i + 1;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    std::fprintf(stderr, "cannot open the X display\n");
    if (resultPath != nullptr) WriteResult(resultPath, nullptr, 0, -1);
    return 1;
  }
  int status = 0;
  {
    RowSampler sampler(display, area);
    if (!sampler.Ok()) {
      std::fprintf(stderr, "cannot read the screen as 32-bit pixels\n");
      status = 1;
    }
    std::vector<uint32_t> reference;
    Acceptance acceptance;
    if (saveReferencePath != nullptr) acceptance.settleMs = settleMs;
    if (status == 0 && referencePath != nullptr) {
      std::vector<uint32_t> shape;
      sampler.Capture(&shape);
      if (!LoadState(referencePath, shape.size(), &reference)) {
        std::fprintf(stderr, "cannot read the reference %s for this area\n", referencePath);
        status = 1;
      }
      acceptance.reference = &reference;
    }
    std::vector<double> times, firsts;
    double periodSum = 0;
    int failures = 0;
    for (int run = 0; status == 0 && run < warmup + runs; ++run) {
      const RunResult result = TimeOneStart(sampler, command, quietMs, acceptance);
      periodSum += result.periodMs;
      if (result.ok && saveReferencePath != nullptr && !SaveState(saveReferencePath, result.finalState)) {
        std::fprintf(stderr, "cannot write the reference %s\n", saveReferencePath);
        status = 1;
      }
      if (!result.ok) {
        ++failures;
      } else if (run >= warmup) {
        times.push_back(result.ms);
        if (result.firstMs >= 0) firsts.push_back(result.firstMs);
      }
    }
    std::sort(times.begin(), times.end());
    double median = 0;
    if (!times.empty()) {
      const size_t m = times.size() / 2;
      median = times.size() % 2 == 1 ? times[m] : (times[m - 1] + times[m]) / 2;
    }
    const double periodMs = periodSum / (warmup + runs);
    std::sort(firsts.begin(), firsts.end());
    const double firstMedian = firsts.empty() ? -1
                               : firsts.size() % 2 == 1 ? firsts[firsts.size() / 2]
                                                        : (firsts[firsts.size() / 2 - 1] + firsts[firsts.size() / 2]) / 2;
    if (resultPath != nullptr) {
      WriteResult(resultPath, times.empty() ? nullptr : &median, periodMs, firstMedian);
    } else if (status == 0) {
      std::printf("runs:");
      for (double t : times) std::printf(" %.0f", t);
      std::printf("\nfailed runs: %d\n", failures);
      std::printf("poll period: %.1f ms\n", periodMs);
      if (!times.empty()) std::printf("median: %.1f\n", median);
      if (!firsts.empty()) std::printf("first picture median: %.1f\n", firstMedian);
    }
    if (times.empty()) status = 1;
  }
  XCloseDisplay(display);
  return status;
}
