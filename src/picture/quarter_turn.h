// Quarter and half turns of a picture's pixel rows, by tiles, so that a column read across many
// rows stays in the cache: a 100 MP picture turned one pixel at a time along whole rows would
// miss the cache on nearly every read.
#pragma once
#include <cstdint>

#include "picture/rotate_request.h"

// Rows of whole-byte pixels as a device-independent bitmap stores them. Not owned.
struct PixelRows {
  uint8_t* topRow;  // first byte of the top row
  int32_t pitch;    // bytes from one row to the row below it; negative for bottom-up rows
  int32_t width;
  int32_t height;
};

// The size a turn gives a width x height picture: sides exchanged for a quarter turn.
void TurnedSize(RotateRequest turn, int32_t width, int32_t height, int32_t& turnedWidth, int32_t& turnedHeight);

// True for the pixel sizes TurnRows handles: 1, 2, 3 or 4 bytes.
bool TurnsPixelsOf(int32_t bytesPerPixel);

// Writes target rows [firstRow, endRow) of `source` turned by `turn` (clockwise: target (x, y)
// is source (y, H - 1 - x); counter-clockwise: source (W - 1 - y, x); half: source (W - 1 - x,
// H - 1 - y)). target must have the turned size; source and target must not overlap. Distinct
// row ranges may be written from different threads at once. Returns false, writing nothing, for
// an unknown turn or pixel size or mismatched sizes. Any thread.
bool TurnRows(const PixelRows& source, const PixelRows& target, int32_t bytesPerPixel, RotateRequest turn,
              int32_t firstRow, int32_t endRow);

// Composes two turns: the one that `first` then `second` make together (kTurnNone for a whole turn).
RotateRequest ComposeTurns(RotateRequest first, RotateRequest second);
