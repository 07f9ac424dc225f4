#include "picture/premultiply.h"

void PremultiplyPixels(uint8_t* bgra, size_t pixelCount) {
  for (size_t i = 0; i < pixelCount; ++i, bgra += 4) {
    const uint32_t alpha = bgra[3];
    if (alpha == 255) continue;
    bgra[0] = static_cast<uint8_t>(bgra[0] * alpha / 255);
    bgra[1] = static_cast<uint8_t>(bgra[1] * alpha / 255);
    bgra[2] = static_cast<uint8_t>(bgra[2] * alpha / 255);
  }
}
