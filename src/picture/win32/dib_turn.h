// A decoded picture turned by our own tiled rotation into a new DIB of the same depth, keeping its
// colour table, its alpha flag and its bytes exactly (premultiplied pixels stay premultiplied).
// Any thread, on images the caller alone uses; the work stays on the calling thread.
#pragma once
#include "picture/rotate_request.h"
#include "picture/win32/dib_image.h"

// True when TurnDib handles pictures of this depth (8, 16, 24 and 32 bits).
bool TurnsDibsOf(int32_t bitsPerPixel);

// Fills `turned` with `source` turned by `turn`. False (turned emptied) for a depth TurnDib does
// not handle, a request that turns nothing, or when the new DIB cannot be made.
bool TurnDib(const CImage& source, RotateRequest turn, CImage& turned);
