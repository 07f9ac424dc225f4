// Filling a bitmap's colour table from a decoder's entries.
#pragma once
#include <cstdint>

#include "picture/win32/dib_image.h"

// Sets entries 0 to count - 1 (blue, green, red, 0 each) of image's colour table; any thread may
// call it for its own image.
bool SetColourTable(const CImage& image, const uint8_t (*entries)[4], uint32_t count);
