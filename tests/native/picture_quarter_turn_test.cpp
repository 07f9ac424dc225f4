#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "picture/quarter_turn.h"

namespace {

// A picture of random bytes in rows padded to four bytes, top-down or bottom-up. The buffer is
// exactly its rows, so a read or write past them is caught by ASan.
struct Rows {
  std::vector<uint8_t> bytes;
  PixelRows rows{};
  Rows(int32_t width, int32_t height, int32_t bytesPerPixel, bool bottomUp, std::mt19937* random) {
    const int32_t rowBytes = (width * bytesPerPixel + 3) / 4 * 4;
    bytes.resize(static_cast<size_t>(rowBytes) * height);
    for (uint8_t& b : bytes) b = random ? static_cast<uint8_t>((*random)()) : 0;
    uint8_t* top = bottomUp ? bytes.data() + static_cast<size_t>(rowBytes) * (height - 1) : bytes.data();
    rows = PixelRows{top, bottomUp ? -rowBytes : rowBytes, width, height};
  }
  const uint8_t* At(int32_t x, int32_t y, int32_t bytesPerPixel) const {
    return rows.topRow + static_cast<ptrdiff_t>(y) * rows.pitch + static_cast<ptrdiff_t>(x) * bytesPerPixel;
  }
};

Rows Turned(const Rows& source, int32_t bytesPerPixel, RotateRequest turn, bool bottomUp) {
  int32_t w = 0, h = 0;
  TurnedSize(turn, source.rows.width, source.rows.height, w, h);
  Rows target(w, h, bytesPerPixel, bottomUp, nullptr);
  // Two row ranges, as two threads would write them.
  EXPECT_TRUE(TurnRows(source.rows, target.rows, bytesPerPixel, turn, 0, h / 3));
  EXPECT_TRUE(TurnRows(source.rows, target.rows, bytesPerPixel, turn, h / 3, h));
  return target;
}

int32_t PixelMismatches(const Rows& a, const Rows& b, int32_t bytesPerPixel) {
  if (a.rows.width != b.rows.width || a.rows.height != b.rows.height) return -1;
  int32_t mismatches = 0;
  for (int32_t y = 0; y < a.rows.height; ++y)
    for (int32_t x = 0; x < a.rows.width; ++x)
      mismatches += std::memcmp(a.At(x, y, bytesPerPixel), b.At(x, y, bytesPerPixel), bytesPerPixel) != 0;
  return mismatches;
}

}  // namespace

// Every pixel of every depth lands where a turn puts it, for sizes that are not whole tiles, both
// row orders and row padding; turns compose; four quarter turns give the picture back.
TEST(QuarterTurn, EveryPixelLandsWhereTheTurnPutsIt) {
  std::mt19937 random(16);
  const RotateRequest turns[] = {kTurnClockwise, kTurnCounterClockwise, kTurnHalf};
  for (int32_t bytes = 1; bytes <= 4; ++bytes) {
    for (const auto& size : {std::pair<int32_t, int32_t>{1, 1}, {131, 67}, {5, 200}}) {
      const Rows source(size.first, size.second, bytes, bytes % 2 == 0, &random);
      for (RotateRequest turn : turns) {
        SCOPED_TRACE(testing::Message() << bytes << " bytes, " << size.first << " x " << size.second << ", turn " << turn);
        const Rows target = Turned(source, bytes, turn, bytes == 3);
        const int32_t W = size.first, H = size.second;
        int32_t wrong = 0;
        for (int32_t y = 0; y < target.rows.height; ++y) {
          for (int32_t x = 0; x < target.rows.width; ++x) {
            const int32_t sx = turn == kTurnClockwise ? y : turn == kTurnCounterClockwise ? W - 1 - y : W - 1 - x;
            const int32_t sy = turn == kTurnClockwise ? H - 1 - x : turn == kTurnCounterClockwise ? x : H - 1 - y;
            if (std::memcmp(target.At(x, y, bytes), source.At(sx, sy, bytes), bytes) != 0 && ++wrong <= 3)
              ADD_FAILURE() << "target (" << x << ", " << y << ") expected source (" << sx << ", " << sy << ")";
          }
        }
        for (RotateRequest second : turns) {
          const Rows twice = Turned(target, bytes, second, false);
          const RotateRequest both = ComposeTurns(turn, second);
          const int32_t mismatches = both == kTurnNone ? PixelMismatches(twice, source, bytes)
                                                       : PixelMismatches(twice, Turned(source, bytes, both, false), bytes);
          EXPECT_EQ(mismatches, 0)
              << "expected turn " << turn << " then " << second << " to equal turn " << both;
        }
      }
      const Rows whole = Turned(Turned(Turned(Turned(source, bytes, kTurnClockwise, false), bytes, kTurnClockwise, true),
                                       bytes, kTurnClockwise, false), bytes, kTurnClockwise, false);
      EXPECT_EQ(PixelMismatches(whole, source, bytes), 0) << "expected four clockwise turns to give the picture back";
    }
  }
  Rows source(8, 4, 4, false, &random), wrongSize(8, 4, 4, false, nullptr);
  EXPECT_FALSE(TurnRows(source.rows, wrongSize.rows, 4, kTurnClockwise, 0, 4)) << "expected a mismatched size refused";
  EXPECT_FALSE(TurnRows(source.rows, wrongSize.rows, 5, kTurnHalf, 0, 4)) << "expected 5-byte pixels refused";
  EXPECT_FALSE(TurnRows(source.rows, wrongSize.rows, 4, kTurnNone, 0, 4)) << "expected no turn refused";
}
