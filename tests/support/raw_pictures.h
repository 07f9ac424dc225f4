// PNG and BMP files of every kind the decoders distinguish, written byte by byte (PNG with stored,
// uncompressed deflate blocks), so tests can make kinds no encoder at hand writes.
#pragma once
#include <cstdint>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct RawPng {
  int32_t width = 13, height = 7;
  uint8_t colourType = 2;  // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
  uint8_t depth = 8;
  bool interlaced = false;
  std::vector<uint8_t> palette;       // PLTE bytes (r, g, b each)
  std::vector<uint8_t> transparency;  // tRNS bytes; none when empty
};
// Sample c of pixel (x, y), taken modulo 2^depth.
std::vector<uint8_t> MakeRawPng(const RawPng& png, const std::function<uint32_t(int32_t, int32_t, int)>& sample);

struct RawBmp {
  int32_t width = 13, height = 7;
  int bitsPerPixel = 24;
  bool topDown = false;
  uint32_t headerBytes = 40;            // 40, or 124 for a V5 header with its masks inside
  std::vector<uint32_t> masks;          // bit fields (red, green, blue[, alpha]); none for BI_RGB
  std::vector<uint8_t> colourTable;     // blue, green, red, 0 each
};
// Stored value of pixel (x, y): an index, or the pixel's bits as the file holds them.
std::vector<uint8_t> MakeRawBmp(const RawBmp& bmp, const std::function<uint32_t(int32_t, int32_t)>& value);
