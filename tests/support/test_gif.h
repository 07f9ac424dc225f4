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

// One frame of an animated test GIF: its rectangle on the canvas (which may reach past it), its
// graphic control (disposal 0-3, delay in hundredths of a second, transparent index or -1), its
// own palette (empty: the global one) and the palette entry of its pixel (x, y), frame-relative.
struct GifFrameSpec {
  int32_t left = 0;
  int32_t top = 0;
  int32_t width = 0;
  int32_t height = 0;
  int32_t disposal = 0;
  int32_t delay = 10;
  int32_t transparent = -1;
  bool interlaced = false;
  std::vector<uint32_t> palette;
  std::function<uint8_t(int32_t, int32_t)> index;
};

// A width x height GIF of these frames, with a NETSCAPE2.0 loop count unless loopCount is -1.
std::vector<uint8_t> EncodeAnimatedGif(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                                       const std::vector<GifFrameSpec>& frames, int32_t loopCount);
