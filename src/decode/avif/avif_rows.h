// Decoding an AVIF picture: the container by our ISOBMFF reader (../isobmff), the primary item
// (one AV1 image, or a grid of them) and its alpha plane by dav1d, then written into the rows of
// a bitmap the caller owns through yuv_rows, turned by the picture's own irot/imir. Platform-free;
// one decoder is used by one thread (dav1d's own threads work for it inside a decode).
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/decode_limit.h"
#include "decode/format_table.h"

struct AvifPicture {
  int32_t width = 0;   // as shown: after the picture's own turn
  int32_t height = 0;
  int bitDepth = 8;    // 8, 10 or 12
  bool hasAlpha = false;
  // The colour as the container's nclx gives it, else as the AV1 sequence header does.
  Cicp cicp;
};

enum class AvifOutcome {
  kDecoded,    // the planes are held, ready to be written
  kFailed,     // not an AVIF still picture we can show, too large, cut or corrupt
  kCancelled,  // the cancel flag was seen set
};

struct AvifSession;

class AvifRowsDecoder {
 public:
  // The bytes and cancel (may be null) are borrowed and must outlive the decoder. maxDecodedBytes
  // bounds the picture at 4 bytes a pixel (8 when deeper than 8 bits), judged from the container
  // before dav1d sees a byte, and dav1d's own frame limit follows from it.
  AvifRowsDecoder(const uint8_t* bytes, size_t size, const std::atomic<bool>* cancel,
                  uint64_t maxDecodedBytes = kMaxDecodedBytes);
  ~AvifRowsDecoder();
  AvifRowsDecoder(const AvifRowsDecoder&) = delete;
  AvifRowsDecoder& operator=(const AvifRowsDecoder&) = delete;

  // Reads the container and decodes the picture and its alpha, once. threads: how many threads
  // dav1d may use for its tiles and filters. cancel is checked before each item (a grid's tiles,
  // the alpha plane) is handed to dav1d and after each comes back.
  AvifOutcome Decode(AvifPicture& picture, int threads = 1);
  // After kDecoded: 8-bit rows, blue first, 3 bytes a pixel, or 4 with straight alpha when the
  // picture has alpha; row y (top first) at topRow + y * pitch (pitch negative for bottom-up
  // bitmaps). A deeper picture is rounded to 8 bits. False when nothing was written.
  bool WriteRows(uint8_t* topRow, ptrdiff_t pitch, int threads = 1) const;
  // After kDecoded: 16-bit RGB, or RGBA with alpha, samples at the picture's bit depth, for the
  // colour path of deep pictures (cicp_colour.h). Same row arrangement as WriteRows.
  bool WriteDeepRows(uint16_t* top, ptrdiff_t pitchBytes, int threads = 1) const;
  // After kDecoded: the ICC profile of the picture's colr box; empty for none.
  const std::vector<uint8_t>& EmbeddedProfile() const;

 private:
  std::unique_ptr<AvifSession> session_;
  bool decoded_ = false;
};
