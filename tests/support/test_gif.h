// GIF test pictures written byte by byte (the imaging library's GIF encoder under Wine writes no
// usable file). Platform-free.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// A width x height GIF of one frame whose pixel (x, y) is palette entry index(x, y); the palette
// holds up to 128 colours as 0x00RRGGBB. The image data is stored without compression: 8-bit codes
// with a clear code often enough that the code width never grows.
std::vector<uint8_t> EncodeGif(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                               const std::function<uint8_t(int32_t, int32_t)>& index);
