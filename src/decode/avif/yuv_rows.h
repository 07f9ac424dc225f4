// From the planes an AV1 decoder gives (Y, Cb, Cr at 8 to 12 bits, subsampled 4:2:0, 4:2:2 or not
// at all, or Y alone, and an alpha plane) to interleaved RGB rows: 8-bit blue-first rows for a
// bitmap, or 16-bit RGB(A) samples for the deep colour path. Chroma is upsampled bilinearly
// (weights 3/4 and 1/4 per subsampled direction, edges repeated), the matrix is the picture's
// (H.273 matrix coefficients), and the picture's own turn (OwnTransform) is applied while writing,
// so no turned copy is ever made. Platform-free; any thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/format_table.h"

struct YuvPlanes {
  // Samples of 1 byte (bitDepth 8) or 2 (native-endian uint16_t, 10 or 12 bits). Chroma planes are
  // ignored when monochrome.
  const uint8_t* plane[3] = {};
  ptrdiff_t stride[3] = {};  // bytes
  int32_t width = 0;
  int32_t height = 0;
  int bitDepth = 8;
  bool monochrome = false;
  int subsampleX = 1;  // 4:2:0 and 4:2:2
  int subsampleY = 1;  // 4:2:0
  bool fullRange = false;
  uint16_t matrix = 2;     // H.273 matrix coefficients; unspecified (2) and unknown ones as BT.601
  uint16_t primaries = 2;  // for the chromaticity-derived matrix (12)
};

struct AlphaPlane {
  const uint8_t* plane = nullptr;  // null: opaque
  ptrdiff_t stride = 0;
  int bitDepth = 8;  // that of the colour planes
  bool fullRange = true;
  bool premultiplied = false;  // the colour was multiplied by alpha: divided out again
};

enum class RgbRowLayout {
  kBgr8,    // 3 bytes a pixel
  kBgra8,   // 4 bytes a pixel, straight alpha (255 without an alpha plane)
  kRgb16,   // 3 uint16_t a pixel at the planes' bit depth
  kRgba16,  // 4 uint16_t a pixel at the planes' bit depth
};

struct RgbRows {
  uint8_t* top = nullptr;  // the first byte of the top row (as shown, after the turn)
  ptrdiff_t pitch = 0;     // bytes from one row to the next; negative for bottom-up bitmaps
  RgbRowLayout layout = RgbRowLayout::kBgr8;
};

// The size once turned: width and height exchanged by an odd number of quarter turns.
void TurnedSize(const OwnTransform& transform, int32_t width, int32_t height, int32_t& turnedWidth,
                int32_t& turnedHeight);
// Where the pixel at (x, y) of a width x height picture lands once turned.
void TurnedPosition(const OwnTransform& transform, int32_t width, int32_t height, int32_t x, int32_t y,
                    int32_t& turnedX, int32_t& turnedY);

// Writes the whole picture into out, turned by transform. threads: how many threads share the
// rows (the caller's among them). False, writing nothing, for planes it cannot read (no width,
// a depth other than 8, 10 or 12) or when cancel is seen set before it starts.
bool WriteYuvAsRgb(const YuvPlanes& yuv, const AlphaPlane& alpha, const OwnTransform& transform, const RgbRows& out,
                   int threads, const std::atomic<bool>* cancel = nullptr);
