// Decoding a WebP picture (lossy, lossless, with or without alpha, plain or extended) through
// libwebp straight into the rows of a bitmap the caller owns: libwebp writes each row where the
// caller says, so no whole picture is held besides the bitmap (a lossless picture's own 32-bit
// pixels excepted, which libwebp keeps while it decodes). Platform-free; one decoder is used by
// one thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/decode_limit.h"

enum class WebpRowLayout {
  kBgr24,   // 3 bytes a pixel: blue, green, red
  kBgra32,  // 4 bytes a pixel: blue, green, red and straight (not premultiplied) alpha
};

struct WebpRowsHeader {
  int32_t width = 0;
  int32_t height = 0;
  WebpRowLayout layout = WebpRowLayout::kBgr24;
  bool HasAlpha() const { return layout == WebpRowLayout::kBgra32; }
  int32_t BitsPerPixel() const { return HasAlpha() ? 32 : 24; }
};

enum class WebpRowsOutcome {
  kDecoded,    // every row written
  kFailed,     // damaged or cut: the rows are partly written and must not be shown
  kCancelled,  // the cancel flag was seen set; the rows are partly written
};

class WebpRowsDecoder {
 public:
  // The bytes are borrowed and must outlive the decoder. maxDecodedBytes bounds the picture, at
  // 4 bytes a pixel (libwebp's lossless pixels, and the widest row layout), before any of it is
  // allocated.
  WebpRowsDecoder(const uint8_t* bytes, size_t size, uint64_t maxDecodedBytes = kMaxDecodedBytes);
  WebpRowsDecoder(const WebpRowsDecoder&) = delete;
  WebpRowsDecoder& operator=(const WebpRowsDecoder&) = delete;

  // Reads the headers, ours (webp_format.h) and then libwebp's; from here on the bytes past the
  // picture's bitstream chunk are left out. False: not a still WebP picture that fits the limit
  // (not WebP, unsized by our reader, damaged, animated, or too large).
  bool ReadHeader(WebpRowsHeader& header);

  // After a successful ReadHeader, once: writes row y (top row first) at topRow + y * pitch in the
  // header's layout; pitch is negative for bottom-up bitmaps. The bytes are handed to libwebp
  // chunkBytes at a time (0: a size of our choosing) and cancel (may be null) is checked between
  // them. No row count is offered on the way: with threads, libwebp's filter thread is still
  // writing rows when a chunk's call returns.
  WebpRowsOutcome DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel,
                             size_t chunkBytes = 0);

 private:
  const uint8_t* bytes_;
  size_t size_;
  uint64_t maxDecodedBytes_;
  WebpRowsHeader header_;
  bool headerRead_ = false;
  bool decodeStarted_ = false;
};
