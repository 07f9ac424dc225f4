// From the JPEG orientation tag to a turn of the bitmap, and from a turn to the imaging
// library's rotate-flip code.
#pragma once
#include <cstdint>

// Turn requests: 0 none, 1 clockwise quarter turn, 2 counter-clockwise quarter turn, 3 half turn.
constexpr int32_t kTurnNone = 0;
constexpr int32_t kTurnClockwise = 1;
constexpr int32_t kTurnCounterClockwise = 2;
constexpr int32_t kTurnHalf = 3;

// Mirrored orientations (2, 4, 5, 7) get the turn of their unmirrored neighbour and are never
// flipped; anything outside 1..8 gets none.
int32_t TurnForOrientation(int32_t exifOrientation);

// The rotate-flip code for a turn request (1 -> Rotate90FlipNone, 2 -> Rotate270FlipNone,
// 3 -> Rotate180FlipNone); -1 for a request that turns nothing.
int32_t RotateFlipCodeForTurn(int32_t turn);
