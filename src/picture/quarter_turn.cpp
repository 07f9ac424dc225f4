#include "picture/quarter_turn.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {

// 64 x 64 pixels of up to 4 bytes: the tile's source rows and target rows together stay well
// within a 32 KB first-level cache.
constexpr int32_t kTile = 64;

int32_t QuarterTurnsOf(RotateRequest turn) {
  switch (turn) {
    case kTurnClockwise: return 1;
    case kTurnHalf: return 2;
    case kTurnCounterClockwise: return 3;
    default: return 0;
  }
}

RotateRequest TurnOfQuarters(int32_t quarters) {
  switch (((quarters % 4) + 4) % 4) {
    case 1: return kTurnClockwise;
    case 2: return kTurnHalf;
    case 3: return kTurnCounterClockwise;
    default: return kTurnNone;
  }
}

template <int32_t kBytes>
inline void CopyPixel(uint8_t* to, const uint8_t* from) {
  std::memcpy(to, from, kBytes);
}

// Target pixel (x, y) comes from source (sx0 + x * dxx + y * dxy, sy0 + x * dyx + y * dyy).
struct Mapping {
  int32_t sx0, sy0, dxx, dxy, dyx, dyy;
};

Mapping MappingFor(RotateRequest turn, int32_t sourceWidth, int32_t sourceHeight) {
  switch (turn) {
    case kTurnClockwise: return Mapping{0, sourceHeight - 1, 0, 1, -1, 0};
    case kTurnCounterClockwise: return Mapping{sourceWidth - 1, 0, 0, -1, 1, 0};
    default: return Mapping{sourceWidth - 1, sourceHeight - 1, -1, 0, 0, -1};
  }
}

template <int32_t kBytes>
void TurnTiles(const PixelRows& source, const PixelRows& target, RotateRequest turn, int32_t firstRow, int32_t endRow) {
  const Mapping m = MappingFor(turn, source.width, source.height);
  // A step of one target pixel along a row moves this far in the source, in bytes.
  const ptrdiff_t stepAlongRow = static_cast<ptrdiff_t>(m.dxx) * kBytes + static_cast<ptrdiff_t>(m.dyx) * source.pitch;
  for (int32_t ty = firstRow; ty < endRow; ty += kTile) {
    const int32_t tileEndY = std::min(endRow, ty + kTile);
    for (int32_t tx = 0; tx < target.width; tx += kTile) {
      const int32_t tileEndX = std::min(target.width, tx + kTile);
      for (int32_t y = ty; y < tileEndY; ++y) {
        const int32_t sx = m.sx0 + tx * m.dxx + y * m.dxy;
        const int32_t sy = m.sy0 + tx * m.dyx + y * m.dyy;
        // An offset rather than a pointer: one step past the last pixel may lie outside the rows.
        ptrdiff_t from = static_cast<ptrdiff_t>(sy) * source.pitch + static_cast<ptrdiff_t>(sx) * kBytes;
        uint8_t* to = target.topRow + static_cast<ptrdiff_t>(y) * target.pitch + static_cast<ptrdiff_t>(tx) * kBytes;
        for (int32_t x = tx; x < tileEndX; ++x, to += kBytes, from += stepAlongRow) {
          CopyPixel<kBytes>(to, source.topRow + from);
        }
      }
    }
  }
}

}  // namespace

void TurnedSize(RotateRequest turn, int32_t width, int32_t height, int32_t& turnedWidth, int32_t& turnedHeight) {
  const bool quarter = turn == kTurnClockwise || turn == kTurnCounterClockwise;
  turnedWidth = quarter ? height : width;
  turnedHeight = quarter ? width : height;
}

bool TurnsPixelsOf(int32_t bytesPerPixel) { return bytesPerPixel >= 1 && bytesPerPixel <= 4; }

bool TurnRows(const PixelRows& source, const PixelRows& target, int32_t bytesPerPixel, RotateRequest turn,
              int32_t firstRow, int32_t endRow) {
  if (QuarterTurnsOf(turn) == 0 || !TurnsPixelsOf(bytesPerPixel) || source.topRow == nullptr ||
      target.topRow == nullptr || source.width <= 0 || source.height <= 0) {
    return false;
  }
  int32_t width = 0, height = 0;
  TurnedSize(turn, source.width, source.height, width, height);
  if (target.width != width || target.height != height) return false;
  firstRow = std::max(firstRow, 0);
  endRow = std::min(endRow, target.height);
  if (firstRow >= endRow) return true;
  switch (bytesPerPixel) {
    case 1: TurnTiles<1>(source, target, turn, firstRow, endRow); break;
    case 2: TurnTiles<2>(source, target, turn, firstRow, endRow); break;
    case 3: TurnTiles<3>(source, target, turn, firstRow, endRow); break;
    default: TurnTiles<4>(source, target, turn, firstRow, endRow); break;
  }
  return true;
}

RotateRequest ComposeTurns(RotateRequest first, RotateRequest second) {
  return TurnOfQuarters(QuarterTurnsOf(first) + QuarterTurnsOf(second));
}
