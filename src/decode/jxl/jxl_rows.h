// Decoding a JPEG XL picture (a bare codestream or a container) from memory through libjxl, into
// bitmap rows the caller owns: 8-bit blue, green, red (and straight alpha), the codestream's own
// orientation applied. Animated pictures give their first frame. Platform-free; one decoder is
// used by one thread (libjxl's own threads work inside its calls).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/decode_limit.h"

struct JxlPictureInfo {
  int32_t width = 0;   // as shown: the orientation applied
  int32_t height = 0;
  bool alpha = false;  // rows are then 32-bit blue, green, red, alpha; else 24-bit
  uint32_t bitsPerSample = 8;  // the colour samples' precision in the file
  uint16_t transfer = 0;       // the original's transfer as H.273 numbers it (16 PQ, 18 HLG); 0 unknown
  // More than 8 bits, or PQ or HLG: decoded at 16 bits, then converted (and tone-mapped) to the
  // display's colours by DecodeRows itself. Otherwise the rows hold the colours of Profile().
  bool deep = false;
  int32_t BitsPerPixel() const { return alpha ? 32 : 24; }
};

enum class JxlOutcome {
  kDecoded,    // done: the info was read, or the rows written
  kFailed,     // not JPEG XL, too large, cut short or damaged
  kCancelled,  // the cancel flag was seen set
};

struct JxlSession;

class JxlRowsDecoder {
 public:
  // bytes and cancel (may be null) are borrowed and must outlive the decoder. maxDecodedBytes
  // bounds the picture at kJxlDecodedBytesPerPixel a pixel, judged from its header before libjxl
  // allocates anything for it. threads: 0 for one per core, 1 for the calling thread alone.
  JxlRowsDecoder(const uint8_t* bytes, size_t size, const std::atomic<bool>* cancel,
                 uint64_t maxDecodedBytes = kMaxDecodedBytes, int threads = 0);
  ~JxlRowsDecoder();
  JxlRowsDecoder(const JxlRowsDecoder&) = delete;
  JxlRowsDecoder& operator=(const JxlRowsDecoder&) = delete;

  // Reads the headers up to the colour encoding, once: the size, whether there is alpha, and the
  // profile of the pixels DecodeRows will write.
  JxlOutcome ReadInfo(JxlPictureInfo& info);
  // After ReadInfo: decodes the first frame, writing row y (top row first) at topRow + y * pitch,
  // info.width pixels of info.BitsPerPixel() each; pitch is negative for bottom-up bitmaps. A deep
  // picture is converted to `display` (an ICC profile; empty: sRGB) on the way. The rows hold
  // nothing meaningful unless kDecoded. cancel is checked between libjxl's events, and libjxl is
  // handed the file a slice at a time so that it stops at least every slice.
  JxlOutcome DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::vector<uint8_t>& display = {});
  // After ReadInfo: the ICC profile of the decoded pixels (libjxl's own for a described colour
  // space, the one the file embeds, or for PQ and HLG one for their primaries on the sRGB curve
  // they are tone-mapped onto); empty when libjxl gives none.
  const std::vector<uint8_t>& Profile() const { return profile_; }

 private:
  std::unique_ptr<JxlSession> session_;
  std::vector<uint8_t> profile_;
  JxlPictureInfo info_;
  uint64_t maxDecodedBytes_;
  int threads_;  // as asked: 0 for one per core
  bool infoRead_ = false;
  bool rowsDone_ = false;
};
