// The one JPEG marker walk, following the decoder's own rules (see jpeg_format.h).
#include <algorithm>
#include <array>
#include <cstring>

#include "decode/icc_profile_extract.h"
#include "decode/jpeg/jpeg_format.h"
#include "exif/exif_parse.h"
#include "exif/jpeg_exif.h"

namespace {

constexpr uint32_t kMarkerStartOfImage = 0xD8;
constexpr uint32_t kMarkerEndOfImage = 0xD9;
constexpr uint32_t kMarkerStartOfScan = 0xDA;
constexpr uint32_t kMarkerTem = 0x01;
constexpr uint32_t kMarkerApp1 = 0xE1;
constexpr uint32_t kMarkerApp2 = 0xE2;

// Real files have a few dozen segments before the first scan (a long ICC profile is split into
// at most 255); this only stops a file of millions of empty segments.
constexpr int32_t kMaxSegments = 65536;
// Bytes passed over between segments (stray bytes and fill bytes), over the whole walk.
constexpr uint64_t kMaxScanBytes = uint64_t{64} << 20;

constexpr uint8_t kIccSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

bool IsFrameHeader(uint32_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length field.
bool IsStandalone(uint32_t marker) { return marker == kMarkerTem || (marker >= 0xD0 && marker <= 0xD7); }

// Where one profile chunk's bytes lie.
struct Chunk {
  uint64_t at = 0;
  uint32_t bytes = 0;
  bool seen = false;
};

// The profile chunks met so far, checked for consistency as they come.
struct ProfileChunks {
  std::array<Chunk, 256> chunks{};
  uint32_t count = 0;
  bool broken = false;

  void Take(ByteCursor& cursor, uint64_t body, uint64_t bodyBytes) {
    uint8_t signature[sizeof kIccSignature];
    uint32_t sequence = 0, total = 0;
    if (broken || bodyBytes <= sizeof kIccSignature + 2 || !cursor.Read(body, signature, sizeof signature) ||
        std::memcmp(signature, kIccSignature, sizeof signature) != 0 || !cursor.U8(body + 12, sequence) ||
        !cursor.U8(body + 13, total)) {
      return;
    }
    if (total == 0 || sequence == 0 || sequence > total || (count != 0 && total != count) || chunks[sequence].seen) {
      broken = true;
      return;
    }
    count = total;
    chunks[sequence] = Chunk{body + 14, static_cast<uint32_t>(bodyBytes - 14), true};
  }

  std::vector<uint8_t> Join(ByteCursor& cursor) const {
    if (broken || count == 0) return {};
    uint64_t total = 0;
    for (uint32_t s = 1; s <= count; ++s) {
      if (!chunks[s].seen) return {};
      total += chunks[s].bytes;
    }
    if (total == 0 || total > kMaxProfileBytes) return {};
    std::vector<uint8_t> profile(static_cast<size_t>(total));
    size_t filled = 0;
    for (uint32_t s = 1; s <= count; ++s) {
      if (!cursor.Read(chunks[s].at, profile.data() + filled, chunks[s].bytes)) return {};
      filled += chunks[s].bytes;
    }
    return profile;
  }
};

}  // namespace

bool IsJpegSignature(const uint8_t* first, size_t count) { return count >= 2 && first[0] == 0xFF && first[1] == 0xD8; }

void WalkJpegMarkers(ByteCursor& cursor, JpegMarkers& markers, FactsWanted wanted) {
  ProfileChunks profile;
  uint64_t exifAt = 0, exifBytes = 0;
  uint64_t offset = 2;  // after FF D8
  uint64_t scanLeft = kMaxScanBytes;
  for (int32_t segment = 0; segment < kMaxSegments; ++segment) {
    uint64_t ff = 0, code = 0;
    if (!cursor.Find(offset, 0xFF, true, scanLeft, ff)) break;
    scanLeft -= ff - offset;
    if (!cursor.Find(ff, 0xFF, false, scanLeft, code)) break;
    scanLeft -= code - ff;
    uint32_t marker = 0;
    if (!cursor.U8(code, marker)) break;
    if (marker == 0 || IsStandalone(marker)) {  // FF 00 is data, not a marker
      offset = code + 1;
      continue;
    }
    if (marker == kMarkerStartOfImage || marker == kMarkerEndOfImage || marker == kMarkerStartOfScan) break;
    uint32_t length = 0;
    if (!cursor.U16(code + 1, Endian::kBig, length)) break;
    if (IsFrameHeader(marker) && !markers.sized) {
      // Length (2), sample precision (1), number of lines (2), samples per line (2).
      uint32_t height = 0, width = 0;
      if (!cursor.U16(code + 4, Endian::kBig, height) || !cursor.U16(code + 6, Endian::kBig, width)) break;
      markers.sized = true;
      markers.width = width;
      markers.height = height;
      if (wanted == FactsWanted::kSize) return;
    }
    const uint64_t body = code + 3;
    const uint64_t bodyBytes = length > 2 ? length - 2 : 0;
    if (marker == kMarkerApp2) profile.Take(cursor, body, bodyBytes);
    if (marker == kMarkerApp1 && bodyBytes >= sizeof kExifSignature && cursor.Holds(body, bodyBytes)) {
      uint8_t identifier[sizeof kExifSignature];
      if (cursor.Read(body, identifier, sizeof identifier) &&
          std::memcmp(identifier, kExifSignature, sizeof identifier) == 0) {
        exifAt = body;
        exifBytes = bodyBytes;
      }
    }
    // A length below 2 skips nothing past itself; the scan for the next 0xFF goes on from there.
    offset = code + 1 + std::max<uint32_t>(length, 2);
  }
  markers.profile = profile.Join(cursor);
  markers.exif.clear();
  if (exifBytes != 0) {
    markers.exif.resize(static_cast<size_t>(exifBytes));
    if (!cursor.Read(exifAt, markers.exif.data(), markers.exif.size())) markers.exif.clear();
  }
}

void ReadJpegFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts) {
  JpegMarkers markers;
  WalkJpegMarkers(cursor, markers, wanted);
  if (markers.sized) {
    facts.header.format = PictureFormat::kJpeg;
    facts.header.width = markers.width;
    facts.header.height = markers.height;
  }
  facts.profile = std::move(markers.profile);
  if (markers.exif.empty()) return;
  JpegExifRecord record;
  std::memset(&record, 0, sizeof record);
  JpegExifReader reader(record);  // releases whatever the parse retained when it goes
  // The parser is given the segment from its identifier on, with the segment's length field.
  if (ParseExifBlock(reader, markers.exif.data(), static_cast<int32_t>(markers.exif.size() + 2))) {
    facts.exifOrientation = record.exifOrientation;
    facts.orientationFound = true;
  }
}
