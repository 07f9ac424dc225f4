#include "decode/png/png_format.h"

#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "decode/icc_profile_extract.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kPngBitDepth16 = 16;
constexpr uint32_t kPngGrey = 0;
constexpr uint32_t kPngRgb = 2;
// Chunks before the image data: a few in real files; a hostile one may hold many empty ones.
constexpr int kMaxPngChunks = 65536;
constexpr uint32_t kMaxCompressedProfile = 16u << 20;

// IHDR must be the first chunk; the decoder refuses a file where it is not.
bool ReadPngSize(ByteCursor& cursor, PictureHeader& header) {
  uint8_t type[4];
  uint32_t width = 0, height = 0, depth = 0, colourType = 0;
  if (!cursor.Read(12, type, 4) || std::memcmp(type, "IHDR", 4) != 0 ||
      !cursor.U32(16, Endian::kBig, width) || !cursor.U32(20, Endian::kBig, height) ||
      !cursor.U8(24, depth) || !cursor.U8(25, colourType)) {
    return false;
  }
  header.width = width;
  header.height = height;
  // The decoder holds 16-bit samples for the whole picture: grey as 16 bits (less than the
  // 32-bit result), colour as 48-bit RGB, anything with alpha as 64-bit RGBA.
  if (depth >= kPngBitDepth16 && colourType != kPngGrey) {
    header.decodedBytesPerPixel = colourType == kPngRgb ? 6 : 8;
  }
  return true;
}

// A zlib stream inflated whole, but never past kMaxProfileBytes.
std::vector<uint8_t> Inflate(const uint8_t* compressed, size_t size) {
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return {};
  std::vector<uint8_t> out(std::min<size_t>(size * 4 + 1024, kMaxProfileBytes));
  stream.next_in = const_cast<Bytef*>(compressed);
  stream.avail_in = static_cast<uInt>(size);
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

bool IsPngSignature(const uint8_t* first, size_t count) {
  return count >= sizeof kPngSignature && std::memcmp(first, kPngSignature, sizeof kPngSignature) == 0;
}

std::vector<uint8_t> ReadPngProfile(ByteCursor& cursor) {
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
      return Inflate(data.data() + name + 2, data.size() - name - 2);
    }
    at += uint64_t{length} + 12;
  }
  return {};
}

void ReadPngFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts) {
  if (ReadPngSize(cursor, facts.header)) facts.header.format = PictureFormat::kPng;
  if (wanted == FactsWanted::kAll) facts.profile = ReadPngProfile(cursor);
}
