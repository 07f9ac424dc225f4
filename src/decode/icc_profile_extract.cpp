#include "decode/icc_profile_extract.h"

#include <array>
#include <cstring>

#include "decode/byte_cursor.h"

namespace {

constexpr uint8_t kIccSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr uint32_t kApp2 = 0xE2;
constexpr uint32_t kStartOfScan = 0xDA;
constexpr uint32_t kEndOfImage = 0xD9;
// Markers before the first scan in a real file number in the tens; a hostile one may hold
// thousands of empty segments, all of which would be walked.
constexpr int kMaxSegments = 65536;
constexpr uint32_t kTiffProfileTag = 34675;
constexpr uint32_t kMaxTiffEntries = 4096;

// A chunk's place in the file: where its bytes are and how many.
struct Chunk {
  uint64_t at = 0;
  uint32_t bytes = 0;
  bool seen = false;
};

bool ReadChunks(ByteCursor& cursor, std::array<Chunk, 256>& chunks, uint32_t& count) {
  uint64_t at = 2;  // after SOI
  for (int i = 0; i < kMaxSegments; ++i) {
    uint32_t prefix = 0, marker = 0;
    if (!cursor.U8(at, prefix) || prefix != 0xFF) return count != 0;
    if (!cursor.U8(at + 1, marker)) return count != 0;
    if (marker == 0xFF) {  // fill byte before a marker
      ++at;
      continue;
    }
    if (marker == kStartOfScan || marker == kEndOfImage) break;
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // standalone markers
      at += 2;
      continue;
    }
    uint32_t length = 0;
    if (!cursor.U16(at + 2, Endian::kBig, length) || length < 2) break;
    const uint64_t body = at + 4, bodyBytes = length - 2;
    uint8_t signature[sizeof kIccSignature];
    uint32_t sequence = 0, total = 0;
    if (marker == kApp2 && bodyBytes > sizeof kIccSignature + 2 &&
        cursor.Read(body, signature, sizeof signature) && std::memcmp(signature, kIccSignature, sizeof signature) == 0 &&
        cursor.U8(body + 12, sequence) && cursor.U8(body + 13, total)) {
      if (total == 0 || sequence == 0 || sequence > total || (count != 0 && total != count)) return false;
      Chunk& chunk = chunks[sequence];
      if (chunk.seen) return false;
      count = total;
      chunk.at = body + 14;
      chunk.bytes = static_cast<uint32_t>(bodyBytes - 14);
      chunk.seen = true;
    }
    at = body + bodyBytes;
  }
  return count != 0;
}

std::vector<uint8_t> Join(ByteCursor& cursor, const std::array<Chunk, 256>& chunks, uint32_t count) {
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

bool StartsWith(ByteCursor& cursor, const char* signature, size_t length) {
  uint8_t bytes[4];
  return length <= sizeof bytes && cursor.Read(0, bytes, length) && std::memcmp(bytes, signature, length) == 0;
}

}  // namespace

std::vector<uint8_t> JpegIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  if (!StartsWith(cursor, "\xFF\xD8", 2)) return {};
  std::array<Chunk, 256> chunks{};
  uint32_t count = 0;
  if (!ReadChunks(cursor, chunks, count)) return {};
  return Join(cursor, chunks, count);
}

std::vector<uint8_t> TiffIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  Endian order = Endian::kLittle;
  if (StartsWith(cursor, "MM\0*", 4)) {
    order = Endian::kBig;
  } else if (!StartsWith(cursor, "II*\0", 4)) {
    return {};
  }
  uint32_t directory = 0, entries = 0;
  if (!cursor.U32(4, order, directory) || !cursor.U16(directory, order, entries) || entries > kMaxTiffEntries) return {};
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t entry = uint64_t{directory} + 2 + uint64_t{i} * 12;
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

std::vector<uint8_t> EmbeddedIccProfile(ByteSource& source) {
  std::vector<uint8_t> profile = JpegIccProfile(source);
  return profile.empty() ? TiffIccProfile(source) : profile;
}
