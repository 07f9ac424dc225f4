// From the JPEG orientation tag to a turn of the bitmap, and from a turn to the imaging
// library's rotate-flip code.
#pragma once
#include <cstdint>

#include "picture/rotate_request.h"

// Mirrored orientations (2, 4, 5, 7) get the turn of their unmirrored neighbour and are never
// flipped; anything outside 1..8 gets none.
RotateRequest TurnForOrientation(int32_t exifOrientation);

// The rotate-flip code for a turn request (1 -> Rotate90FlipNone, 2 -> Rotate270FlipNone,
// 3 -> Rotate180FlipNone); -1 for a request that turns nothing.
int32_t RotateFlipCodeForTurn(int32_t turn);
