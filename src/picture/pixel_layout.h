// Sizes of bitmap rows and the choice of the bitmap a decoded picture is converted into.
// Plain integers only; the format codes are the imaging library's.
#pragma once
#include <cstdint>

constexpr uint32_t kPixelFormatIndexed = 0x00010000;
constexpr uint32_t kPixelFormatGdi = 0x00020000;
constexpr uint32_t kPixelFormatAlpha = 0x00040000;
constexpr uint32_t kPixelFormat16bppRgb565 = 0x00021006;
constexpr uint32_t kPixelFormat32bppRgb = 0x00022009;
constexpr uint32_t kPixelFormat32bppArgb = 0x0026200A;

// Bits 8 to 15 of a format code.
constexpr int32_t FormatBitsPerPixel(uint32_t format) {
  return static_cast<int32_t>((format >> 8) & 0xFF);
}

// The depths an uncompressed device-independent bitmap can have.
bool IsDibDepth(int32_t bitsPerPixel);
// Bytes of one stored row, padded to 4 bytes; -1 when it does not fit in 32 bits.
int32_t DibRowBytes(int32_t width, int32_t bitsPerPixel);
// Bytes of all rows; -1 when the size cannot be represented (or is not below 2^31).
int64_t DibImageBytes(int32_t width, int32_t height, int32_t bitsPerPixel);
// Bytes of pixel data in one row, without padding: (bits per pixel x width + 7) / 8.
int32_t PackedRowBytes(int32_t width, int32_t bitsPerPixel);

// The bitmap a decoded picture becomes, and the format the pixels are handed over in.
struct DibChoice {
  int32_t bitsPerPixel;
  uint32_t format;
  bool hasAlpha;
};

// 32-bit RGB unless the source is already a format a plain bitmap holds as it is; 32-bit ARGB
// with alpha whenever the source has alpha.
DibChoice ChooseDibFormat(uint32_t sourceFormat);
