#include "decode/decode_limit.h"

#include <algorithm>

// Why 2^31 - 1 bytes: the picture ends up in a DIB section, and DibImageBytes refuses one of
// 2^31 bytes or more, so nothing larger could be shown anyway. Wine's imaging library fills
// whole-picture buffers of up to 32 bits per pixel (48 or 64 inside its PNG decoder for 16-bit
// samples) sized with 32-bit arithmetic; past 2 GiB that wraps, and the file takes the process
// down with a page fault inside the decoder instead of failing: seen with a 46000 x 16000 JPEG,
// a 30000 x 30000 PNG and a 19000 x 19000 PNG of 16-bit RGB (its 18000 x 18000 sibling decodes).
// Refused before the decoder runs, such a file fails quietly like any undecodable one. At 4
// bytes per pixel this allows 536,870,911 pixels: 16000 x 16000 and 20000 x 20000 pass,
// 46000 x 16000 and 30000 x 30000 do not.
bool SizeFitsDecoder(uint64_t width, uint64_t height, uint32_t bytesPerPixel) {
  if (width == 0 || height == 0) return true;
  const uint64_t pixelBytes = std::max<uint32_t>(bytesPerPixel, 4);
  const uint64_t maxPixels = kMaxDecodedBytes / pixelBytes;
  // Divided, not multiplied: the product of two 64-bit sizes can overflow.
  return width <= maxPixels && height <= maxPixels / width;
}

bool HeaderFitsDecoder(const PictureHeader& header) {
  if (header.format == PictureFormat::kUnknown) return true;
  return SizeFitsDecoder(header.width, header.height, header.decodedBytesPerPixel);
}
