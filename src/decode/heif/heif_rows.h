// Decoding a HEIF picture (HEIC: HEVC inside the ISO base media file format) through libheif and
// its libde265 decoder, then writing it into the rows of a bitmap the caller owns. libheif reads
// from the caller's bytes in place, decodes the primary image (a single picture or a grid of
// tiles, with its alpha; thumbnails are not looked at) and applies its rotation and mirroring
// itself (an EXIF orientation, if any, is never applied on top). Platform-free; one decoder is
// used by one thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/cicp_colour.h"
#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/heif/heif_api.h"

enum class HeifRowLayout {
  kBgr24,   // 3 bytes a pixel: blue, green, red
  kBgra32,  // 4 bytes a pixel: blue, green, red and straight (not premultiplied) alpha
};

struct HeifPicture {
  int32_t width = 0;   // upright: after the file's rotation
  int32_t height = 0;
  HeifRowLayout layout = HeifRowLayout::kBgr24;
  int bitDepth = 8;    // of the coded luma (10 for most phones' HDR pictures)
  int32_t BitsPerPixel() const { return layout == HeifRowLayout::kBgr24 ? 24 : 32; }
};

// How a picture's colours reach the display: through an ICC profile (the colour box's, else one made
// for its nclx code points, cicp_colour.h; empty: sRGB) and, for samples deeper than 8 bits or
// under a PQ or HLG curve, at 16 bits through WriteDeepRowsAsDisplay before they are rounded.
struct HeifColourPlan {
  std::vector<uint8_t> profile;
  uint16_t transfer = 2;  // H.273; 2: unspecified
  bool deep = false;
};
// profile: the colour box's ICC profile (empty for none); cicp: its nclx code points.
HeifColourPlan PlanHeifColour(std::vector<uint8_t> profile, const Cicp& cicp, int bitDepth);

enum class HeifOutcome {
  kDecoded,    // ReadHeader: the picture's size is known and fits; Decode: its pixels are held
  kFailed,     // not HEIF, too large, cut or damaged, or libheif could not decode it
  kCancelled,  // the cancel flag was seen set
};

struct HeifSession;

class HeifRowsDecoder {
 public:
  // api, the bytes and cancel (may be null) are borrowed and must outlive the decoder. The most
  // bytes one decoded picture may take (at 4 bytes a pixel) is maxDecodedBytes, judged from the
  // file's boxes before any pixel is allocated.
  HeifRowsDecoder(const HeifApi& api, const uint8_t* bytes, size_t size, const std::atomic<bool>* cancel,
                  uint64_t maxDecodedBytes = kMaxDecodedBytes);
  ~HeifRowsDecoder();
  HeifRowsDecoder(const HeifRowsDecoder&) = delete;
  HeifRowsDecoder& operator=(const HeifRowsDecoder&) = delete;

  // Reads the file's boxes and the primary image's size, alpha and depth, once.
  HeifOutcome ReadHeader(HeifPicture& picture);
  // After ReadHeader: decodes the whole picture, once. threads: how many grid tiles libheif may
  // decode at a time (1: on the calling thread alone), and how many threads libde265 may give
  // each picture (our libheif only; the setting is process-wide, decodes run one at a time). libheif cannot be stopped inside a decode:
  // cancel is checked before and after it.
  // deep: the samples as 16-bit containers of bitDepth bits (DeepSamples; 8 bytes a pixel, which
  // must fit the limit too), else 8 bits (WriteRows).
  HeifOutcome Decode(int threads = 1, bool deep = false);
  // After Decode(deep): libheif's samples, top row first, for WriteDeepRowsAsDisplay.
  DeepPixels DeepSamples() const;
  // After Decode: writes row y (top row first) at topRow + y * pitch, picture.width pixels of
  // picture.layout each; pitch is negative for bottom-up bitmaps. threads: how many threads share
  // the rows.
  void WriteRows(uint8_t* topRow, ptrdiff_t pitch, int threads = 1) const;
  // After ReadHeader: the ICC profile of the primary image's colour box (empty for none), and its
  // nclx code points, as libheif reads them (the format table's reader gives the same).
  std::vector<uint8_t> EmbeddedProfile() const;
  Cicp Nclx() const;

 private:
  std::unique_ptr<HeifSession> session_;
};
