// Decoding a PNG straight into the rows of a bitmap the caller owns, through libspng, read through
// a small byte reader (no whole-file buffer). The rows come out in the layout the imaging library
// gives the same file, so either route shows the same pixels:
// - palette files of 1, 4 or 8 bits and 1-bit grey files, without transparency: the file's own
//   indices into a colour table of the same depth;
// - 8-bit RGB without transparency: 24-bit blue, green, red;
// - everything else (grey of 2 to 16 bits, 16-bit colour, 2-bit palettes, alpha, tRNS): 32-bit
//   blue, green, red, straight (not premultiplied) alpha, 16-bit samples cut to their high byte.
// Platform-free; one decoder is used by one thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/byte_reader.h"

struct spng_ctx;

enum class PngRowLayout {
  kIndexed,  // 1, 4 or 8 bits a pixel, indices into PngRowsHeader::colourTable
  kBgr24,    // 3 bytes a pixel
  kBgra32,   // 4 bytes a pixel, straight alpha
};

struct PngRowsHeader {
  int32_t width = 0;
  int32_t height = 0;
  PngRowLayout layout = PngRowLayout::kBgra32;
  int32_t bitsPerPixel = 32;
  // For kIndexed: colourCount entries of blue, green, red, 0 (the palette's alpha is dropped).
  uint32_t colourCount = 0;
  uint8_t colourTable[256][4] = {};
  bool HasAlpha() const { return layout == PngRowLayout::kBgra32; }
  // Bytes of pixel data in one row, without padding.
  size_t RowBytes() const { return (static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel) + 7) / 8; }
};

enum class PngRowsOutcome {
  kDecoded,    // every row written
  kNotTaken,   // not a file this decoder finishes: another decoder should try it
  kCancelled,  // the cancel flag was seen set; the rows are partly written
};

class PngRowsDecoder {
 public:
  // The reader must outlive the decoder.
  explicit PngRowsDecoder(SequentialByteReader& reader);
  ~PngRowsDecoder();
  PngRowsDecoder(const PngRowsDecoder&) = delete;
  PngRowsDecoder& operator=(const PngRowsDecoder&) = delete;

  // Reads the chunks up to the image data. False: not taken (not a PNG, or damaged before it).
  bool ReadHeader(PngRowsHeader& header);
  // After a successful ReadHeader, once: writes row y (top row first) at topRow + y * pitch, with
  // header.RowBytes() bytes each; pitch is negative for bottom-up bitmaps. The rows must be zeroed
  // beforehand (interlaced files of fewer than 8 bits a pixel are combined into them). cancel (may
  // be null) is checked every few rows. A file that is damaged or ends before its last row is not
  // taken: the imaging library decides what such a file shows.
  PngRowsOutcome DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel);

 private:
  SequentialByteReader& reader_;
  spng_ctx* context_ = nullptr;  // owned; null when it could not be made
  PngRowsHeader header_;
  int format_ = 0;  // the libspng output format chosen by ReadHeader
  bool headerRead_ = false;
  bool decodeStarted_ = false;
};
