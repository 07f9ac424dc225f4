#include "support/screen_watch.h"

#include <algorithm>

double NowMs() {
  static const double ticksPerMs = [] {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticksPerMs;
}

// Sleeps rather than spins: the viewer being timed shares the machine's two cores with us.
// May overshoot by about a millisecond.
void SleepUntilMs(double timeMs) {
  for (;;) {
    const double left = timeMs - NowMs();
    if (left <= 0) return;
    Sleep(left >= 2 ? static_cast<DWORD>(left) : 1);
  }
}

RowSampler::RowSampler(const RECT& area, int rows)
    : area_(area),
      width_(std::max(0, static_cast<int>(area.right - area.left))),
      rowTops_(static_cast<size_t>(std::max(0, std::min(rows, static_cast<int>(area.bottom - area.top))))),
      screen_(nullptr),
      dib_(MakeRowsDib(screen_.Get())),
      memory_(screen_.Get(), dib_.Get()) {
  // Rows at the middle of equal bands, so the first and last sit half a band from the edges.
  const int height = area.bottom - area.top;
  for (size_t i = 0; i < rowTops_.size(); ++i) {
    rowTops_[i] =
        area.top + static_cast<int>((2 * i + 1) * static_cast<size_t>(height) / (2 * rowTops_.size()));
  }
}

HBITMAP RowSampler::MakeRowsDib(HDC like) {
  if (like == nullptr || width_ == 0 || rowTops_.empty()) return nullptr;
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width_;
  info.bmiHeader.biHeight = -static_cast<LONG>(rowTops_.size());
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP dib = CreateDIBSection(like, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bits_ = dib != nullptr ? static_cast<const uint32_t*>(bits) : nullptr;
  return dib;
}

bool RowSampler::Capture(std::vector<uint32_t>* pixels) {
  if (!Ok()) return false;
  for (size_t i = 0; i < rowTops_.size(); ++i) {
    if (!BitBlt(memory_.Get(), 0, static_cast<int>(i), width_, 1, screen_.Get(), area_.left, rowTops_[i],
                SRCCOPY)) {
      return false;
    }
  }
  GdiFlush();
  const size_t count = static_cast<size_t>(width_) * rowTops_.size();
  pixels->resize(count);
  for (size_t i = 0; i < count; ++i) (*pixels)[i] = bits_[i] & 0x00FFFFFF;
  return true;
}

double CoveredFraction(const std::vector<uint32_t>& pixels, const Rgb& colour, int tolerance) {
  if (pixels.empty()) return 0;
  size_t covered = 0;
  for (uint32_t pixel : pixels) {
    if (!Near(ToRgb(pixel), colour, tolerance)) ++covered;
  }
  return static_cast<double>(covered) / static_cast<double>(pixels.size());
}

double MatchingFraction(const std::vector<uint32_t>& pixels, const std::vector<uint32_t>& reference,
                        int tolerance) {
  if (pixels.empty() || pixels.size() != reference.size()) return 0;
  size_t matching = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    if (Near(ToRgb(pixels[i]), ToRgb(reference[i]), tolerance)) ++matching;
  }
  return static_cast<double>(matching) / static_cast<double>(pixels.size());
}

WatchResult WatchUntilFinal(RowSampler& sampler, double startMs, const WatchRules& rules,
                            const std::function<bool(const std::vector<uint32_t>&)>& accept) {
  WatchResult result;
  std::vector<uint32_t> now;
  bool accepted = false;
  double stateSinceMs = 0;
  double firstCaptureMs = 0;
  double previousCaptureMs = 0;
  const double deadline = startMs + rules.timeoutMs;
  for (;;) {
    const double captureMs = NowMs();
    if (captureMs > deadline) break;
    if (!sampler.Capture(&now)) {
      SleepUntilMs(captureMs + rules.periodMs);
      continue;
    }
    if (result.captures == 0) firstCaptureMs = captureMs;
    previousCaptureMs = captureMs;
    ++result.captures;
    if (result.captures == 1 || now != result.pixels) {
      // A new state: it has to earn acceptance and quiet from this capture on.
      result.pixels.swap(now);
      stateSinceMs = captureMs;
      accepted = false;
      if (rules.onNewState) rules.onNewState(captureMs, result.pixels);
    }
    if (!accepted) accepted = accept(result.pixels);
    if (accepted && captureMs - stateSinceMs >= rules.quietMs) {
      result.reached = true;
      result.firstSeenMs = stateSinceMs;
      break;
    }
    if (!accepted && rules.stuckMs > 0 && captureMs - stateSinceMs >= rules.stuckMs) break;
    SleepUntilMs(captureMs + rules.periodMs);
  }
  if (result.captures > 1) result.meanPeriodMs = (previousCaptureMs - firstCaptureMs) / (result.captures - 1);
  return result;
}
