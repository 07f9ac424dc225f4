// A turn of the kept bitmap, as the renderer is asked for it: by the rotation commands, and
// from a JPEG's EXIF orientation when the file is decoded. Values other than these turn nothing.
#pragma once
#include <cstdint>

enum RotateRequest : int32_t {
  kTurnNone = 0,
  kTurnClockwise = 1,          // a quarter turn
  kTurnCounterClockwise = 2,   // a quarter turn
  kTurnHalf = 3,               // only derived from EXIF orientations 3 and 4
};
