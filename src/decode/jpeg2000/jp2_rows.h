// Decoding a JPEG 2000 picture (a JP2 file or a bare codestream) through openjpeg, then writing it
// into the rows of a bitmap the caller owns. Platform-free; one decoder is used by one thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/decode_limit.h"
#include "decode/image_header.h"

// What each row receives.
enum class Jp2RowLayout {
  kBgr24,   // 3 bytes a pixel: blue, green, red
  kBgra32,  // 4 bytes a pixel: blue, green, red and straight (not premultiplied) alpha
};

struct Jp2Picture {
  int32_t width = 0;
  int32_t height = 0;
  Jp2RowLayout layout = Jp2RowLayout::kBgr24;
  int32_t BitsPerPixel() const { return layout == Jp2RowLayout::kBgr24 ? 24 : 32; }
};

enum class Jp2Outcome {
  kDecoded,    // the picture is held, ready for WriteRows
  kFailed,     // not JPEG 2000, too large, or openjpeg could not decode it
  kCancelled,  // the cancel flag was seen set
};

struct Jp2Session;

class Jp2RowsDecoder {
 public:
  // source and cancel (may be null) are borrowed and must outlive the decoder. maxDecodedBytes
  // bounds the samples openjpeg holds for the whole picture (4 bytes per sample of every
  // component), judged from the codestream's own header before any of them is allocated.
  Jp2RowsDecoder(ByteSource& source, const std::atomic<bool>* cancel,
                 uint64_t maxDecodedBytes = kMaxDecodedBytes);
  ~Jp2RowsDecoder();
  Jp2RowsDecoder(const Jp2RowsDecoder&) = delete;
  Jp2RowsDecoder& operator=(const Jp2RowsDecoder&) = delete;

  // Reads the headers and decodes the whole picture, once. threads: how many threads openjpeg
  // may use for it (1 decodes on the calling thread alone). cancel is checked whenever openjpeg
  // reads more of the file, which it does before each tile.
  Jp2Outcome Decode(Jp2Picture& picture, int threads = 1);
  // After kDecoded: writes row y (top row first) at topRow + y * pitch, picture.width pixels of
  // picture.layout each; pitch is negative for bottom-up bitmaps.
  void WriteRows(uint8_t* topRow, ptrdiff_t pitch) const;
  // After kDecoded: the ICC profile the file embeds (empty when it has none), for the colour
  // conversion to read.
  std::vector<uint8_t> EmbeddedProfile() const;

 private:
  std::unique_ptr<Jp2Session> session_;
  uint64_t maxDecodedBytes_;
  bool decoded_ = false;
};
