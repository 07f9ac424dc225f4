// Reading an uncompressed BMP straight into the rows of a bitmap the caller owns, from a small byte
// reader (no whole-file buffer). The rows come out as the imaging library gives the same file:
// - 1, 4 and 8 bits: the stored indices, with the file's colour table;
// - 16 bits of 5-5-5 (plain or as bit fields), 24 bits, and 32 bits with the usual red, green,
//   blue masks (plain or as bit fields, any alpha mask): the stored bytes, 32-bit ones including
//   their fourth byte, without alpha;
// - 16 and 32 bits with other bit fields: 32-bit blue, green, red, 255, each field widened by
//   repeating its bits (the imaging library does so for 5-6-5; of other masks it reads none).
// Rows stored bottom-up or top-down. Run-length encoded files, embedded JPEG or PNG and other
// variants are not taken, so the imaging library keeps deciding what they show. Platform-free;
// any thread may call these for its own rows.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/byte_reader.h"

enum class BmpRowLayout {
  kAsStored,  // the stored row bytes, unchanged
  kMasked,    // 16 or 32 bits through bit fields, widened to blue, green, red, 255
};

struct BmpHeader {
  int32_t width = 0;
  int32_t height = 0;          // always positive
  bool topDown = false;        // rows stored top row first
  BmpRowLayout layout = BmpRowLayout::kAsStored;
  int32_t storedBitsPerPixel = 0;
  int32_t bitsPerPixel = 0;    // of the rows written
  uint32_t masks[3] = {};      // red, green, blue, for kMasked
  // For 1, 4 and 8 bits: colourCount entries of blue, green, red, 0.
  uint32_t colourCount = 0;
  uint8_t colourTable[256][4] = {};
  // Bytes of one stored row, padded to 4 bytes.
  size_t StoredRowBytes() const {
    return (static_cast<size_t>(width) * static_cast<size_t>(storedBitsPerPixel) + 31) / 32 * 4;
  }
  // Bytes of pixel data in one written row, without padding.
  size_t RowBytes() const { return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 7) / 8; }
};

// Reads the file header, the information header, bit fields and colour table, and skips to the
// first stored row. False: not taken.
bool ReadBmpHeader(SequentialByteReader& reader, BmpHeader& header);

enum class BmpRowsOutcome {
  kDecoded,    // every row written
  kNotTaken,   // the file ends before its last row
  kCancelled,  // the cancel flag was seen set; the rows are partly written
};

// After ReadBmpHeader on the same reader: writes row y (top row first) at topRow + y * pitch, with
// header.RowBytes() bytes each (pitch negative for bottom-up bitmaps; |pitch| at least the padded
// row). cancel (may be null) is checked every few rows.
BmpRowsOutcome DecodeBmpRows(SequentialByteReader& reader, const BmpHeader& header, uint8_t* topRow,
                             ptrdiff_t pitch, const std::atomic<bool>* cancel);
