// Premultiplying straight alpha, as the alpha blit with per-pixel alpha expects it.
#pragma once
#include <cstddef>
#include <cstdint>

// Each pixel is blue, green, red, alpha; every colour becomes floor(colour x alpha / 255) and
// alpha is kept.
void PremultiplyPixels(uint8_t* bgra, size_t pixelCount);
