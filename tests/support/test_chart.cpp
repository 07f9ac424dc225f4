#include "support/test_chart.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <random>

#include "picture/premultiply.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

struct Bgra {
  uint8_t b, g, r, a;
};

uint8_t Level(double v) { return static_cast<uint8_t>(std::lround(std::fmin(255.0, std::fmax(0.0, v)))); }

// Draws one pixel of the chart. Tiles (tx, ty) with local coordinates (lx, ly) in tiles of
// tileWidth x tileHeight; `random` serves the noise tiles in row order.
Bgra ChartPixel(int32_t tx, int32_t ty, int32_t lx, int32_t ly, int32_t tileWidth, int32_t tileHeight,
                std::mt19937& random) {
  const bool left = lx < tileWidth / 2;
  const bool top = ly < tileHeight / 2;
  // The last tile of a row or column takes the odd pixels left over, so ramps are clamped.
  const uint8_t ramp = static_cast<uint8_t>(std::min(255, lx * 255 / tileWidth));
  if (ty == 0 && tx == 0) {  // 1-pixel lines: vertical, horizontal, every third, diagonal
    const bool diagonal = (lx + ly) % 4 == 0 || (lx + 5 * tileHeight - ly) % 5 == 0;
    const bool on = top ? (left ? lx % 2 == 0 : ly % 2 == 0) : (left ? lx % 3 == 0 || ly % 3 == 0 : diagonal);
    const uint8_t v = on ? 255 : 0;
    return Bgra{v, v, v, ramp};
  }
  if (ty == 0 && tx == 1) {  // checkerboards: 1-pixel grey, then 1-, 2- and 3-pixel ones per channel
    const uint8_t alpha = ((lx / 2 + ly / 2) & 1) ? 255 : 64;
    if (left) {
      const uint8_t v = ((lx ^ ly) & 1) ? 255 : 0;
      return Bgra{v, v, v, alpha};
    }
    return Bgra{static_cast<uint8_t>(((lx ^ ly) & 1) ? 255 : 0),
                static_cast<uint8_t>(((lx / 2 + ly / 2) & 1) ? 255 : 0),
                static_cast<uint8_t>(((lx / 3 + ly / 3) & 1) ? 255 : 0), alpha};
  }
  if (ty == 0 && tx == 2) {  // zone plate: frequency grows with the radius up to 1/2 cycle per pixel
    const double radius = std::fmin(tileWidth, tileHeight) / 2.0;
    const double dx = lx - tileWidth / 2.0;
    const double dy = ly - tileHeight / 2.0;
    const double phase = kPi * (dx * dx + dy * dy) / (2.0 * radius);
    return Bgra{
        Level(127.5 + 127.5 * std::cos(phase)), Level(127.5 + 127.5 * std::cos(phase + 2.0 * kPi / 3.0)),
        Level(127.5 + 127.5 * std::cos(phase + 4.0 * kPi / 3.0)), Level(127.5 + 127.5 * std::sin(phase))};
  }
  if (ty == 1 && tx == 0) {  // uniform noise in every channel, alpha too
    const uint32_t bits = random();
    return Bgra{static_cast<uint8_t>(bits), static_cast<uint8_t>(bits >> 8), static_cast<uint8_t>(bits >> 16),
                static_cast<uint8_t>(bits >> 24)};
  }
  if (ty == 1 && tx == 1) {  // black or white noise per channel, the hardest case for a stretch
    const uint32_t bits = random();
    return Bgra{static_cast<uint8_t>(bits & 1 ? 255 : 0), static_cast<uint8_t>(bits & 2 ? 255 : 0),
                static_cast<uint8_t>(bits & 4 ? 255 : 0), static_cast<uint8_t>(bits & 8 ? 255 : 32)};
  }
  // Smooth gradient crossed by 1-pixel red lines every 8 columns and blue lines every 8 rows.
  const uint8_t vramp = static_cast<uint8_t>(std::min(255, ly * 255 / tileHeight));
  if (lx % 8 == 0) return Bgra{0, 0, 255, vramp};
  if (ly % 8 == 0) return Bgra{255, 0, 0, vramp};
  return Bgra{ramp, vramp, static_cast<uint8_t>((ramp + vramp) / 2), vramp};
}

}  // namespace

TestChart MakeTestChart(int32_t width, int32_t height, ChartPixels kind) {
  TestChart chart;
  if (width < 6 || height < 4) return chart;
  chart.width = width;
  chart.height = height;
  chart.bitsPerPixel = kind == ChartPixels::kBgr ? 24 : 32;
  const int32_t bytesPerPixel = chart.bitsPerPixel / 8;
  const int32_t rowBytes = (width * bytesPerPixel + 3) / 4 * 4;
  chart.pitch = -rowBytes;
  chart.pixels.assign(static_cast<size_t>(rowBytes) * static_cast<size_t>(height), 0);
  const int32_t tileWidth = width / 3;
  const int32_t tileHeight = height / 2;
  std::mt19937 random(20240611);
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = chart.TopRow() + static_cast<ptrdiff_t>(y) * chart.pitch;
    const int32_t ty = y < tileHeight ? 0 : 1;
    const int32_t ly = y - ty * tileHeight;
    for (int32_t x = 0; x < width; ++x) {
      const int32_t tx = x < 2 * tileWidth ? x / tileWidth : 2;
      const Bgra p = ChartPixel(tx, ty, x - tx * tileWidth, ly, tileWidth, tileHeight, random);
      uint8_t* out = row + static_cast<size_t>(x) * bytesPerPixel;
      out[0] = p.b;
      out[1] = p.g;
      out[2] = p.r;
      if (bytesPerPixel == 4) out[3] = p.a;
    }
    if (bytesPerPixel == 4) PremultiplyPixels(row, static_cast<size_t>(width));
  }
  return chart;
}

double PsnrBgr(const uint8_t* topRowA, int32_t pitchA, const uint8_t* topRowB, int32_t pitchB, int32_t width,
               int32_t height) {
  double squares = 0.0;
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* a = topRowA + static_cast<ptrdiff_t>(y) * pitchA;
    const uint8_t* b = topRowB + static_cast<ptrdiff_t>(y) * pitchB;
    uint64_t rowSquares = 0;
    for (int32_t x = 0; x < width; ++x) {
      for (int c = 0; c < 3; ++c) {
        const int32_t d = a[x * 4 + c] - b[x * 4 + c];
        rowSquares += static_cast<uint64_t>(d * d);
      }
    }
    squares += static_cast<double>(rowSquares);
  }
  if (squares == 0.0) return std::numeric_limits<double>::infinity();
  const double mse = squares / (3.0 * width * height);
  return 10.0 * std::log10(255.0 * 255.0 / mse);
}
