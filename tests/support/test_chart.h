// The chart that measures how well a reduction keeps fine detail: 1-pixel lines, checkerboards, a
// zone plate, noise and gradients, the things a point-sampling or interpolating stretch turns into
// moire. Platform-free, for the native and the Wine benchmarks alike.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

enum class ChartPixels {
  kBgr,               // 24-bit B, G, R
  kPremultipliedBgra, // 32-bit B, G, R, A with alpha varying across the chart, colours premultiplied
};

// A chart stored bottom-up like the viewer's decoded bitmaps: rows padded to 4 bytes, the top row
// last in memory, so the pitch is negative.
struct TestChart {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitsPerPixel = 0;
  int32_t pitch = 0;  // negative
  std::vector<uint8_t> pixels;

  const uint8_t* TopRow() const { return pixels.data() + LastRowOffset(); }
  uint8_t* TopRow() { return pixels.data() + LastRowOffset(); }

 private:
  size_t LastRowOffset() const { return pixels.size() - static_cast<size_t>(-pitch); }
};

// A 3 x 2 grid of tiles: line patterns, checkerboards, a zone plate reaching the finest detail at
// its edge, uniform noise, black-and-white noise, and a gradient crossed by coloured lines. The
// same arguments always give the same pixels. The benchmarks use 6000 x 4000.
TestChart MakeTestChart(int32_t width, int32_t height, ChartPixels kind);

// Peak signal-to-noise ratio in dB of the blue, green and red bytes of two pictures of 32-bit
// pixels (alpha is not compared: only colour reaches the screen). Infinity when they are equal.
double PsnrBgr(const uint8_t* topRowA, int32_t pitchA, const uint8_t* topRowB, int32_t pitchB, int32_t width,
               int32_t height);
