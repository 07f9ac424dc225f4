// The first directory of a classic TIFF, the one the decoder shows: ImageWidth and ImageLength,
// in either byte order.
#include <algorithm>
#include <cstring>

#include "decode/icc_profile_extract.h"
#include "decode/tiff/tiff_format.h"

namespace {

constexpr uint32_t kTagImageWidth = 256;
constexpr uint32_t kTagImageLength = 257;
constexpr uint32_t kTypeByte = 1;
constexpr uint32_t kTypeShort = 3;
constexpr uint32_t kTypeLong = 4;
constexpr uint32_t kTypeSByte = 6;
constexpr uint32_t kTypeSShort = 8;
constexpr uint32_t kTypeSLong = 9;
constexpr uint64_t kEntryBytes = 12;
constexpr uint32_t kTiffProfileTag = 34675;
constexpr uint32_t kMaxTiffEntries = 4096;
constexpr uint64_t kValueFieldAt = 8;  // inside an entry; four bytes, the value or its offset

// One integer entry with a single value, read the way the decoder reads sizes: unsigned, and
// signed values as their unsigned bits so a negative size is seen as a huge one.
bool ReadSingleValue(ByteCursor& cursor, uint64_t entry, Endian order, uint32_t type, uint32_t& value) {
  const uint64_t at = entry + kValueFieldAt;
  switch (type) {
    case kTypeByte: case kTypeSByte: return cursor.U8(at, value);
    case kTypeShort: case kTypeSShort: return cursor.U16(at, order, value);
    case kTypeLong: case kTypeSLong: return cursor.U32(at, order, value);
    default: return false;
  }
}

}  // namespace

bool ReadTiffSize(ByteCursor& cursor, PictureHeader& header) {
  uint32_t byteOrder = 0;
  if (!cursor.U16(0, Endian::kLittle, byteOrder)) return false;
  const Endian order = byteOrder == 0x4949 ? Endian::kLittle : Endian::kBig;  // "II" or "MM"
  uint32_t directory = 0, entries = 0;
  if (!cursor.U32(4, order, directory) || !cursor.U16(directory, order, entries)) return false;
  bool haveWidth = false, haveHeight = false;
  uint32_t width = 0, height = 0;
  // At most 65535 entries of 12 bytes: the walk is bounded by the count field's own width.
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = uint64_t{directory} + 2 + i * kEntryBytes;
    uint32_t tag = 0, type = 0, count = 0;
    if (!cursor.U16(entry, order, tag) || !cursor.U16(entry + 2, order, type) ||
        !cursor.U32(entry + 4, order, count)) {
      break;  // the directory is cut short: what was read still counts
    }
    uint32_t value = 0;
    // A size with other than one value is refused by the decoder, so it is not a size here.
    if ((tag == kTagImageWidth || tag == kTagImageLength) && count == 1 &&
        ReadSingleValue(cursor, entry, order, type, value)) {
      // A repeated tag takes the larger value: whichever the decoder uses, it is no bigger.
      uint32_t& size = tag == kTagImageWidth ? width : height;
      bool& have = tag == kTagImageWidth ? haveWidth : haveHeight;
      size = have ? std::max(size, value) : value;
      have = true;
    }
  }
  if (!haveWidth || !haveHeight) return false;
  header.width = width;
  header.height = height;
  return true;
}

bool IsTiffSignature(const uint8_t* first, size_t count) {
  // Only classic TIFF: the imaging library's TIFF signatures do not match BigTIFF, so such a file
  // never reaches a decoder.
  return count >= 4 && (std::memcmp(first, "II*\0", 4) == 0 || std::memcmp(first, "MM\0*", 4) == 0);
}

std::vector<uint8_t> ReadTiffProfile(ByteCursor& cursor) {
  uint32_t byteOrder = 0;
  if (!cursor.U16(0, Endian::kLittle, byteOrder)) return {};
  const Endian order = byteOrder == 0x4949 ? Endian::kLittle : Endian::kBig;
  uint32_t directory = 0, entries = 0;
  if (!cursor.U32(4, order, directory) || !cursor.U16(directory, order, entries) || entries > kMaxTiffEntries) return {};
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = uint64_t{directory} + 2 + uint64_t{i} * kEntryBytes;
    uint32_t tag = 0, type = 0, count = 0, offset = 0;
    if (!cursor.U16(entry, order, tag) || !cursor.U16(entry + 2, order, type) || !cursor.U32(entry + 4, order, count))
      return {};
    if (tag != kTiffProfileTag) continue;
    // BYTE or UNDEFINED, one byte each; a profile never fits in the entry's own 4 bytes.
    if ((type != 1 && type != 7) || count <= 4 || count > kMaxProfileBytes || !cursor.U32(entry + 8, order, offset) ||
        !cursor.Holds(offset, count)) {
      return {};
    }
    std::vector<uint8_t> profile(count);
    if (!cursor.Read(offset, profile.data(), count)) return {};
    return profile;
  }
  return {};
}

// The imaging library shows a TIFF as stored, so no orientation is read.
void ReadTiffFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts) {
  if (ReadTiffSize(cursor, facts.header)) facts.header.format = PictureFormat::kTiff;
  if (wanted == FactsWanted::kAll) facts.profile = ReadTiffProfile(cursor);
}
