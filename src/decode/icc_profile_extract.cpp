#include "decode/icc_profile_extract.h"

#include <algorithm>
#include <array>
#include <cstring>

#include <zlib.h>

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
constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
// Chunks before the image data: a few in real files; a hostile one may hold many empty ones.
constexpr int kMaxPngChunks = 65536;
constexpr uint32_t kMaxCompressedProfile = 16u << 20;

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

// A zlib stream inflated whole, but never past kMaxProfileBytes.
std::vector<uint8_t> Inflate(const std::vector<uint8_t>& compressed) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  std::vector<uint8_t> out(std::min<size_t>(compressed.size() * 4 + 1024, kMaxProfileBytes));
  stream.next_in = const_cast<Bytef*>(compressed.data());
  stream.avail_in = static_cast<uInt>(compressed.size());
  int status = Z_OK;
  while (status == Z_OK) {
    if (stream.total_out == out.size()) {
      if (out.size() == kMaxProfileBytes) break;
      out.resize(std::min<size_t>(out.size() * 2, kMaxProfileBytes));
    }
    stream.next_out = out.data() + stream.total_out;
    stream.avail_out = static_cast<uInt>(out.size() - stream.total_out);
    status = inflate(&stream, Z_NO_FLUSH);
  }
  const bool whole = status == Z_STREAM_END;
  out.resize(stream.total_out);
  inflateEnd(&stream);
  return whole ? out : std::vector<uint8_t>{};
}

}  // namespace

std::vector<uint8_t> PngIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  uint8_t signature[8];
  if (!cursor.Read(0, signature, 8) || std::memcmp(signature, kPngSignature, 8) != 0) return {};
  uint64_t at = 8;
  for (int i = 0; i < kMaxPngChunks; ++i) {
    uint32_t length = 0;
    uint8_t type[4];
    if (!cursor.U32(at, Endian::kBig, length) || !cursor.Read(at + 4, type, 4)) return {};
    if (std::memcmp(type, "IDAT", 4) == 0 || std::memcmp(type, "IEND", 4) == 0) return {};
    if (std::memcmp(type, "iCCP", 4) == 0) {
      // Name (1 to 79 bytes), a zero, the compression method (0: zlib), the compressed profile.
      if (length < 4 || length > kMaxCompressedProfile || !cursor.Holds(at + 8, length)) return {};
      std::vector<uint8_t> data(length);
      if (!cursor.Read(at + 8, data.data(), length)) return {};
      const size_t name = static_cast<size_t>(
          std::find(data.begin(), data.begin() + std::min<size_t>(length, 80), 0) - data.begin());
      if (name == 0 || name + 2 > length || data[name] != 0 || data[name + 1] != 0) return {};
      return Inflate(std::vector<uint8_t>(data.begin() + static_cast<ptrdiff_t>(name) + 2, data.end()));
    }
    at += uint64_t{length} + 12;
  }
  return {};
}

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
  if (profile.empty()) profile = TiffIccProfile(source);
  return profile.empty() ? PngIccProfile(source) : profile;
}
