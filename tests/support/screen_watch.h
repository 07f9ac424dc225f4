// Watches an area of the screen at a few hundred captures a second and tells when it reached
// its final still state: the benchmarks time the viewer from a user's point of view with it.
// Everything here runs on the calling thread; nothing is shared.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <vector>

#include "framework/gdi_handles.h"
#include "support/viewer_driver.h"

// Milliseconds on the performance counter; every time in this header is on this clock.
double NowMs();
// Returns at timeMs or up to about a millisecond later.
void SleepUntilMs(double timeMs);

// A set of full-width rows spread evenly over a screen area, read with one BitBlt each into a
// DIB section kept for the sampler's life. Rows see a picture change anywhere across the area,
// including one drawn in bands, for a fraction of the cost of reading the whole area.
class RowSampler {
 public:
  RowSampler(const RECT& area, int rows);
  RowSampler(const RowSampler&) = delete;
  RowSampler& operator=(const RowSampler&) = delete;

  bool Ok() const { return bits_ != nullptr && memory_.Ok(); }
  // Reads the rows into *pixels (0x00RRGGBB, row after row); false when GDI fails.
  bool Capture(std::vector<uint32_t>* pixels);

 private:
  HBITMAP MakeRowsDib(HDC like);

  // Declared in the order they must be made; the memory DC lets go of the DIB before it dies.
  RECT area_;
  int width_ = 0;
  std::vector<int> rowTops_;        // screen y of each sampled row
  const uint32_t* bits_ = nullptr;  // the DIB section's pixels, owned by dib_
  WindowDc screen_;
  Bitmap dib_;
  MemoryDc memory_;
};

// Fraction of `pixels` that are not within `tolerance` of `colour`: how much of the area is
// covered by something other than a bare background.
double CoveredFraction(const std::vector<uint32_t>& pixels, const Rgb& colour, int tolerance);
// Fraction of pixels that are within `tolerance` of the same pixel of `reference`; 0 when the
// sizes differ.
double MatchingFraction(const std::vector<uint32_t>& pixels, const std::vector<uint32_t>& reference,
                        int tolerance);

struct WatchRules {
  // A state counts as final once it has stayed unchanged this long. Longer than the 100 ms a
  // user would call still, so a quick preview that is refined later is not taken for the end.
  double quietMs = 500;
  double timeoutMs = 20000;
  // When not 0: give up once a state that `accept` refuses has stayed unchanged this long.
  double stuckMs = 0;
  // Called with the start of the capture and the pixels whenever the state changes (to trace).
  std::function<void(double, const std::vector<uint32_t>&)> onNewState;
  // From the start of one capture to the start of the next, when the capture and the
  // machine's load allow it.
  double periodMs = 4;
};

struct WatchResult {
  bool reached = false;    // an accepted state stayed quiet before the deadline
  double firstSeenMs = 0;  // when the final state was first captured (its capture's start)
  int captures = 0;
  double meanPeriodMs = 0;       // between the starts of consecutive captures
  std::vector<uint32_t> pixels;  // the final state, or the last one seen when none was reached
};

// Captures the sampler's rows until a state that `accept` takes has been unchanged for
// rules.quietMs since its first capture, or until startMs + rules.timeoutMs. `accept` is asked on
// every capture until it takes the current state, so it may also look at things that change
// without a change of pixels (the caption).
WatchResult WatchUntilFinal(RowSampler& sampler, double startMs, const WatchRules& rules,
                            const std::function<bool(const std::vector<uint32_t>&)>& accept);
