// The JPEG marker walk up to the first frame header, following the decoder's own rules:
// markers are found by scanning for 0xFF (stray bytes and any number of fill bytes are passed
// over, FF 00 is not a marker), segments are skipped by their length fields, and the first
// SOFn gives the size. Reaching the scan or the end of the image first means there is no size.
#include <algorithm>

#include "decode/image_header_walks.h"

namespace {

constexpr uint32_t kMarkerStartOfImage = 0xD8;
constexpr uint32_t kMarkerEndOfImage = 0xD9;
constexpr uint32_t kMarkerStartOfScan = 0xDA;
constexpr uint32_t kMarkerTem = 0x01;

// Real files have a few dozen segments before the frame header (a long ICC profile is split
// into at most 255); this only stops a file of millions of empty segments.
constexpr int32_t kMaxSegments = 65536;
// Bytes passed over between segments (stray bytes and fill bytes), over the whole walk.
constexpr uint64_t kMaxScanBytes = uint64_t{64} << 20;

bool IsFrameHeader(uint32_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length field.
bool IsStandalone(uint32_t marker) { return marker == kMarkerTem || (marker >= 0xD0 && marker <= 0xD7); }

}  // namespace

bool ReadJpegSize(ByteCursor& cursor, PictureHeader& header) {
  uint64_t offset = 2;  // after FF D8
  uint64_t scanLeft = kMaxScanBytes;
  for (int32_t segment = 0; segment < kMaxSegments; ++segment) {
    uint64_t ff = 0, code = 0;
    if (!cursor.Find(offset, 0xFF, true, scanLeft, ff)) return false;
    scanLeft -= ff - offset;
    if (!cursor.Find(ff, 0xFF, false, scanLeft, code)) return false;
    scanLeft -= code - ff;
    uint32_t marker = 0;
    if (!cursor.U8(code, marker)) return false;
    if (marker == 0 || IsStandalone(marker)) {  // FF 00 is data, not a marker
      offset = code + 1;
      continue;
    }
    if (marker == kMarkerStartOfImage || marker == kMarkerEndOfImage || marker == kMarkerStartOfScan) {
      return false;
    }
    if (IsFrameHeader(marker)) {
      // Length (2), sample precision (1), number of lines (2), samples per line (2).
      uint32_t height = 0, width = 0;
      if (!cursor.U16(code + 4, Endian::kBig, height) || !cursor.U16(code + 6, Endian::kBig, width)) {
        return false;
      }
      header.width = width;
      header.height = height;
      return true;
    }
    uint32_t length = 0;
    if (!cursor.U16(code + 1, Endian::kBig, length)) return false;
    // A length below 2 skips nothing past itself; the scan for the next 0xFF goes on from there.
    offset = code + 1 + std::max<uint32_t>(length, 2);
  }
  return false;
}
