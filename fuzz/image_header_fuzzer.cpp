// libFuzzer target: any bytes, read as a picture header through a source that aborts when it
// is asked for bytes outside the input, then the result's invariants and the limit checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/decode_limit.h"
#include "decode/image_header.h"
#include "checks.h"

namespace {

uint32_t Be32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckedSource source(data, size);
  const PictureHeader header = ReadPictureHeader(source);
  const uint32_t pixel = header.decodedBytesPerPixel;
  Require(pixel == 4 || (header.format == PictureFormat::kPng && (pixel == 6 || pixel == 8)) ||
              (header.format == PictureFormat::kJpeg2000 && pixel % 4 == 0 && pixel <= 4 * 65535u) ||
              (header.format == PictureFormat::kJxl && pixel == 16),
          "pixel width");
  if (header.format == PictureFormat::kUnknown) {
    Require(header.width == 0 && header.height == 0, "unknown carries no size");
    Require(HeaderFitsDecoder(header), "unknown is never refused");
  }
  if (header.format == PictureFormat::kPng) {
    Require(size >= 24 && header.width == Be32(data + 16) && header.height == Be32(data + 20),
            "PNG size from IHDR");
  }
  if (header.format == PictureFormat::kGif) {
    Require(header.width <= 2 * 65535u && header.height <= 2 * 65535u, "GIF extents are two 16-bit sums");
  }
  // The limit against exact 128-bit arithmetic.
  const unsigned __int128 bytes =
      static_cast<unsigned __int128>(header.width) * header.height * header.decodedBytesPerPixel;
  const bool fits = header.width == 0 || header.height == 0 || bytes <= kMaxDecodedBytes;
  Require(HeaderFitsDecoder(header) == fits, "limit matches exact arithmetic");
  // The walks move forward through a cached window (TIFF jumps aside once), so the source is
  // asked about once per window's worth of input, never once per block.
  Require(source.reads <= 8 + size / 4096, "reads served from the window");
  return 0;
}
