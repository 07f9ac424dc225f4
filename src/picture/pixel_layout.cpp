#include "picture/pixel_layout.h"

bool IsDibDepth(int32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

int32_t DibRowBytes(int32_t width, int32_t bitsPerPixel) {
  if (width < 0 || bitsPerPixel <= 0) return -1;
  const int64_t bytes = (static_cast<int64_t>(width) * bitsPerPixel + 31) / 32 * 4;
  return bytes > INT32_MAX ? -1 : static_cast<int32_t>(bytes);
}

int64_t DibImageBytes(int32_t width, int32_t height, int32_t bitsPerPixel) {
  const int32_t row = DibRowBytes(width, bitsPerPixel);
  if (row < 0 || height < 0) return -1;
  const int64_t bytes = static_cast<int64_t>(row) * height;
  return bytes > INT32_MAX ? -1 : bytes;
}

int32_t PackedRowBytes(int32_t width, int32_t bitsPerPixel) {
  const int64_t bytes = (static_cast<int64_t>(width) * bitsPerPixel + 7) / 8;
  return bytes > INT32_MAX ? -1 : static_cast<int32_t>(bytes);
}

DibChoice ChooseDibFormat(uint32_t sourceFormat) {
  DibChoice choice{32, kPixelFormat32bppRgb, false};
  // 5-6-5 pixels carry the GDI flag, but an uncompressed 16-bit bitmap stores 5-5-5: copying
  // them as they are would shift every colour, so they are converted like any other format.
  if ((sourceFormat & kPixelFormatGdi) != 0 && sourceFormat != kPixelFormat16bppRgb565 &&
      IsDibDepth(FormatBitsPerPixel(sourceFormat))) {
    choice.bitsPerPixel = FormatBitsPerPixel(sourceFormat);
    choice.format = sourceFormat;
  }
  if ((sourceFormat & kPixelFormatAlpha) != 0) {
    choice = DibChoice{32, kPixelFormat32bppArgb, true};
  }
  return choice;
}
