#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "picture/pixel_layout.h"
#include "picture/premultiply.h"
#include "support/area_average_whole.h"
#include "view/area_average.h"

namespace {

struct Colour {
  uint8_t b, g, r, a;
};

// A random picture, the colours it stands for, and its bytes as a bitmap of the given depth.
struct TestPicture {
  int32_t width;
  int32_t height;
  int32_t bitsPerPixel;
  std::vector<Colour> colours;  // what each pixel means, top row first
  std::vector<uint8_t> table;   // 256 entries of B, G, R, 0
  std::vector<uint8_t> bytes;   // exactly height rows: reads past them are caught by ASan
  int32_t pitch;
  const uint8_t* topRow;
};

TestPicture MakePicture(int32_t width, int32_t height, int32_t bitsPerPixel, bool bottomUp,
                        std::mt19937& random) {
  TestPicture p{width, height, bitsPerPixel, {}, std::vector<uint8_t>(1024), {}, 0, nullptr};
  for (size_t i = 0; i < p.table.size(); ++i) p.table[i] = i % 4 == 3 ? 0 : static_cast<uint8_t>(random());
  const int32_t rowBytes = DibRowBytes(width, bitsPerPixel);
  // Padding and the unused bits of a row's last byte hold noise that must not be read as pixels.
  p.bytes.resize(static_cast<size_t>(rowBytes) * height);
  for (uint8_t& b : p.bytes) b = static_cast<uint8_t>(random());
  p.pitch = bottomUp ? -rowBytes : rowBytes;
  p.topRow = bottomUp ? p.bytes.data() + static_cast<size_t>(rowBytes) * (height - 1) : p.bytes.data();
  uint8_t* top = p.bytes.data() + (p.topRow - p.bytes.data());
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* row = top + static_cast<ptrdiff_t>(y) * p.pitch;
    for (int32_t x = 0; x < width; ++x) {
      Colour c{};
      if (bitsPerPixel <= 8) {
        const uint32_t index = random() % (1u << bitsPerPixel);
        const int32_t perByte = 8 / bitsPerPixel;
        const int32_t shift = (perByte - 1 - x % perByte) * bitsPerPixel;  // leftmost pixel in the high bits
        uint8_t& byte = row[x / perByte];
        byte = static_cast<uint8_t>((byte & ~(((1u << bitsPerPixel) - 1) << shift)) | (index << shift));
        const uint8_t* entry = &p.table[index * 4];
        c = Colour{entry[0], entry[1], entry[2], 255};
      } else if (bitsPerPixel == 16) {
        const uint32_t v = random() & 0xFFFF;  // the top bit is unused
        row[x * 2] = static_cast<uint8_t>(v);
        row[x * 2 + 1] = static_cast<uint8_t>(v >> 8);
        // A 5-bit level stands for the 8-bit one with its top bits repeated, as the blit shows it.
        auto level = [](uint32_t five) { return static_cast<uint8_t>(five << 3 | five >> 2); };
        c = Colour{level(v & 31), level((v >> 5) & 31), level((v >> 10) & 31), 255};
      } else if (bitsPerPixel == 24) {
        c = Colour{static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                   static_cast<uint8_t>(random()), 255};
        std::memcpy(row + x * 3, &c, 3);
      } else {
        uint8_t px[4] = {static_cast<uint8_t>(random()), static_cast<uint8_t>(random()),
                         static_cast<uint8_t>(random()), static_cast<uint8_t>(random())};
        if (random() % 4 == 0) px[3] = random() % 2 ? 255 : 0;  // plenty of opaque and clear pixels
        PremultiplyPixels(px, 1);
        std::memcpy(row + x * 4, px, 4);
        c = Colour{px[0], px[1], px[2], px[3]};
      }
      p.colours.push_back(c);
    }
  }
  return p;
}

// The average over output pixel (x, y) of a w x h output, in real numbers, straight from the
// definition: every source pixel weighted by the area of it that the output pixel covers.
void ExactAverage(const TestPicture& p, int32_t w, int32_t h, int32_t x, int32_t y, double out[4]) {
  const double left = static_cast<double>(x) * p.width / w;
  const double right = static_cast<double>(x + 1) * p.width / w;
  const double top = static_cast<double>(y) * p.height / h;
  const double bottom = static_cast<double>(y + 1) * p.height / h;
  double sums[4] = {0, 0, 0, 0};
  for (int32_t j = static_cast<int32_t>(top); j < p.height && j < bottom; ++j) {
    const double wy = std::min(bottom, j + 1.0) - std::max(top, static_cast<double>(j));
    for (int32_t i = static_cast<int32_t>(left); i < p.width && i < right; ++i) {
      const double wx = std::min(right, i + 1.0) - std::max(left, static_cast<double>(i));
      const Colour& c = p.colours[static_cast<size_t>(j) * p.width + i];
      sums[0] += wx * wy * c.b;
      sums[1] += wx * wy * c.g;
      sums[2] += wx * wy * c.r;
      sums[3] += wx * wy * c.a;
    }
  }
  const double area = (right - left) * (bottom - top);
  for (int c = 0; c < 4; ++c) out[c] = sums[c] / area;
}

constexpr uint8_t kUntouched = 0xA5;
constexpr int32_t kTargetPadding = 12;  // bytes after each output row that must stay untouched

struct Target {
  std::vector<uint8_t> bytes;
  TargetPixels view;
};

Target MakeTarget(int32_t w, int32_t h, bool bottomUp) {
  const int32_t rowBytes = w * 4 + kTargetPadding;
  Target t{std::vector<uint8_t>(static_cast<size_t>(rowBytes) * h, kUntouched), {}};
  uint8_t* top = bottomUp ? t.bytes.data() + static_cast<size_t>(rowBytes) * (h - 1) : t.bytes.data();
  t.view = TargetPixels{top, bottomUp ? -rowBytes : rowBytes, w, h};
  return t;
}

const uint8_t* TargetRow(const Target& t, int32_t y) {
  return t.view.topRow + static_cast<ptrdiff_t>(y) * t.view.pitch;
}

bool RowsUntouched(const Target& t, int32_t first, int32_t end) {
  for (int32_t y = first; y < end; ++y) {
    const uint8_t* row = TargetRow(t, y);
    if (std::any_of(row, row + t.view.width * 4, [](uint8_t b) { return b != kUntouched; })) return false;
  }
  return true;
}

struct Size {
  int32_t sourceWidth, sourceHeight, width, height;
};

// Every depth, both modes, both row orders and both kernels, against the definition, on sizes
// with odd and prime ratios, no reduction on one axis, one output pixel, and the largest weights
// the row pass multiplies with. The work is split into three row ranges in an odd order.
TEST(ViewAreaAverage, MatchesTheExactAverageForEveryDepthModeAndSize) {
  const Size sizes[] = {{7, 5, 3, 2},   {1001, 3, 17, 1},     {1, 1, 1, 1},        {13, 11, 13, 4},
                        {10, 9, 3, 9},  {31, 37, 7, 11},      {211, 197, 101, 89}, {40, 24, 39, 23},
                        {50, 30, 1, 1}, {1, 32768, 1, 32767}, {32768, 2, 32767, 1}};
  std::mt19937 random(7);
  for (const Size& size : sizes) {
    for (int32_t depth : {1, 4, 8, 16, 24, 32}) {
      for (bool bottomUp : {true, false}) {
        const TestPicture picture = MakePicture(size.sourceWidth, size.sourceHeight, depth, bottomUp, random);
        const SourcePixels source{picture.topRow, picture.pitch, picture.width,
                                  picture.height, depth,         picture.table.data()};
        for (AverageMode mode : {AverageMode::kOpaque, AverageMode::kPremultipliedAlpha}) {
          const bool averageAlpha = mode == AverageMode::kPremultipliedAlpha && depth == 32;
          const std::string where = std::to_string(size.sourceWidth) + "x" +
                                    std::to_string(size.sourceHeight) + " -> " + std::to_string(size.width) +
                                    "x" + std::to_string(size.height) + ", " + std::to_string(depth) +
                                    "-bit, " + (bottomUp ? "bottom-up" : "top-down") +
                                    (averageAlpha                  ? ", premultiplied alpha"
                                     : mode == AverageMode::kOpaque ? ", opaque"
                                                                   : ", alpha path");
          SCOPED_TRACE(where);
          std::vector<uint8_t> results[2];
          for (AverageKernel kernel : {AverageKernel::kFastest, AverageKernel::kPortable}) {
            const AreaAverager averager(source, size.width, size.height, mode, kernel);
            ASSERT_TRUE(averager.Ok());
            Target target = MakeTarget(size.width, size.height, !bottomUp);
            const int32_t third = size.height / 3;
            const int32_t twoThirds = 2 * size.height / 3;
            averager.AverageRows(target.view, twoThirds, size.height);
            averager.AverageRows(target.view, third, third);                  // empty
            averager.AverageRows(target.view, size.height, size.height + 9);  // past the end
            ASSERT_TRUE(RowsUntouched(target, 0, twoThirds));
            averager.AverageRows(target.view, 0, third);
            ASSERT_TRUE(RowsUntouched(target, third, twoThirds));
            averager.AverageRows(target.view, third, twoThirds);

            double worst = 0.0;
            int32_t bad = 0;
            std::string firstBad;
            for (int32_t y = 0; y < size.height; ++y) {
              const uint8_t* row = TargetRow(target, y);
              for (int32_t x = 0; x < size.width; ++x) {
                double exact[4];
                ExactAverage(picture, size.width, size.height, x, y, exact);
                if (!averageAlpha) exact[3] = 255.0;
                const uint8_t* got = row + x * 4;
                for (int c = 0; c < 4; ++c) {
                  const double error = std::fabs(got[c] - exact[c]);
                  worst = std::max(worst, error);
                  const bool overAlpha = c < 3 && got[c] > got[3];
                  if ((error > kAreaAverageMaxError || overAlpha) && bad++ == 0) {
                    firstBad = "pixel (" + std::to_string(x) + ", " + std::to_string(y) + ") channel " +
                               std::to_string(c) + ": expected " + std::to_string(exact[c]) + ", got " +
                               std::to_string(got[c]) + (overAlpha ? " (above alpha)" : "");
                  }
                }
              }
              for (int32_t i = size.width * 4; i < size.width * 4 + kTargetPadding; ++i) {
                if (row[i] != kUntouched && bad++ == 0)
                  firstBad = "padding of row " + std::to_string(y) + " written";
              }
            }
            EXPECT_EQ(bad, 0) << "first: " << firstBad << " (largest error " << worst << ")";
            results[kernel == AverageKernel::kFastest ? 0 : 1] = target.bytes;
          }
          EXPECT_TRUE(results[0] == results[1]) << "the two kernels disagree";
        }
      }
    }
  }
}

// What it cannot reduce it refuses, leaving the output as it was, so the caller can draw another way.
TEST(ViewAreaAverage, RefusesWhatItCannotReduceAndLeavesTheOutputAlone) {
  std::vector<uint8_t> pixels(64 * 64 * 4, 7);
  const uint8_t table[1024] = {};
  auto source = [&](int32_t width, int32_t height, int32_t depth, const uint8_t* colours) {
    return SourcePixels{pixels.data(), width * 4, width, height, depth, colours};
  };
  const struct {
    SourcePixels source;
    int32_t width, height;
    const char* why;
  } refused[] = {
      {source(8, 8, 2, table), 4, 4, "no such depth"},
      {source(8, 8, 0, table), 4, 4, "no depth"},
      {source(8, 8, 64, table), 4, 4, "too deep"},
      {source(8, 8, 8, nullptr), 4, 4, "palette without a colour table"},
      {source(8, 8, 24, nullptr), 9, 4, "wider than the source"},
      {source(8, 8, 24, nullptr), 4, 9, "taller than the source"},
      {source(8, 8, 24, nullptr), 0, 4, "no width"},
      {source(8, 8, 24, nullptr), 4, -1, "negative height"},
      {SourcePixels{nullptr, 32, 8, 8, 32, nullptr}, 4, 4, "no pixels"},
      {source(40000, 1, 32, nullptr), kAreaAverageMaxTargetSide + 1, 1, "output too wide for the weights"},
      {source(1, kAreaAverageMaxSourceHeight + 1, 32, nullptr), 1, 1, "source too tall for the sums"},
      {source(1 << 24, 1 << 22, 32, nullptr), 1, 1, "too many source pixels for exact sums"},
  };
  for (const auto& r : refused) {
    SCOPED_TRACE(r.why);
    EXPECT_FALSE(AreaAverager(r.source, r.width, r.height, AverageMode::kOpaque).Ok());
    std::vector<uint8_t> out(16 * 16 * 4, kUntouched);
    const TargetPixels target{out.data(), 64, std::max(r.width, 0), std::max(r.height, 0)};
    EXPECT_FALSE(AverageArea(r.source, target, AverageMode::kPremultipliedAlpha));
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kUntouched; }));
  }
  // A target of another size than the averager was made for is not written either.
  const AreaAverager averager(source(8, 8, 32, nullptr), 4, 4, AverageMode::kOpaque);
  ASSERT_TRUE(averager.Ok());
  std::vector<uint8_t> out(16 * 16 * 4, kUntouched);
  averager.AverageRows(TargetPixels{out.data(), 64, 5, 4}, 0, 4);
  averager.AverageRows(TargetPixels{nullptr, 64, 4, 4}, 0, 4);
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == kUntouched; }));
  averager.AverageRows(TargetPixels{out.data(), 64, 4, 4}, 0, 4);
  EXPECT_EQ(out[0], 7);
  EXPECT_EQ(out[3], 255);
  EXPECT_EQ(out[4 * 4], kUntouched);  // past the 4 pixels of the first row
}

}  // namespace
