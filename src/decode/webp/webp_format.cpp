#include "decode/webp/webp_format.h"

#include <cstring>

#include "decode/icc_profile_extract.h"

namespace {

constexpr uint64_t kRiffHeaderBytes = 12;  // "RIFF", its length, "WEBP"
constexpr uint64_t kChunkHeaderBytes = 8;  // a tag and a little-endian length
constexpr uint32_t kVp8xBytes = 10;
// The same bounds libwebp checks, so that we never size a file it would refuse to parse.
constexpr uint32_t kMaxChunkPayload = ~0u - kChunkHeaderBytes - 1;
constexpr uint64_t kMaxArea = uint64_t{1} << 32;
constexpr uint32_t kAnimationFlag = 0x02;
constexpr uint32_t kIccFlag = 0x20;
// Chunks before the picture's data: a handful in real files; a hostile one may hold many empty
// ones (8 bytes each), which are walked through the cursor's window at little cost.
constexpr int kMaxChunks = 65536;

bool TagIs(const uint8_t tag[4], const char* name) { return std::memcmp(tag, name, 4) == 0; }

bool U24(ByteCursor& cursor, uint64_t offset, uint32_t& value) {
  uint8_t b[3];
  if (!cursor.Read(offset, b, 3)) return false;
  value = b[0] | (uint32_t{b[1]} << 8) | (uint32_t{b[2]} << 16);
  return true;
}

// A lossy bitstream's frame header: a shown key frame of a known profile, the start code, and
// 14-bit sizes (the top two bits are scaling hints, not size). chunkBytes bounds the first
// partition's length.
bool ReadVp8Size(ByteCursor& cursor, uint64_t at, uint32_t chunkBytes, WebpLayout& layout) {
  uint8_t h[10];
  if (!cursor.Read(at, h, sizeof h)) return false;
  const uint32_t bits = h[0] | (uint32_t{h[1]} << 8) | (uint32_t{h[2]} << 16);
  const bool keyFrame = (bits & 1) == 0, shown = ((bits >> 4) & 1) != 0;
  if (!keyFrame || ((bits >> 1) & 7) > 3 || !shown || (bits >> 5) >= chunkBytes) return false;
  if (h[3] != 0x9D || h[4] != 0x01 || h[5] != 0x2A) return false;
  layout.width = (h[6] | (uint32_t{h[7]} << 8)) & 0x3FFF;
  layout.height = (h[8] | (uint32_t{h[9]} << 8)) & 0x3FFF;
  return layout.width != 0 && layout.height != 0;
}

// A lossless bitstream's header: the signature byte, then 14 bits of width - 1, 14 of height - 1,
// the alpha bit and 3 bits of version, which must be 0. (Whether the picture has alpha is
// libwebp's to say when it decodes.)
bool ReadVp8lSize(ByteCursor& cursor, uint64_t at, WebpLayout& layout) {
  uint32_t signature = 0, bits = 0;
  if (!cursor.U8(at, signature) || !cursor.U32(at + 1, Endian::kLittle, bits)) return false;
  if (signature != 0x2F || (bits >> 29) != 0) return false;
  layout.width = (bits & 0x3FFF) + 1;
  layout.height = ((bits >> 14) & 0x3FFF) + 1;
  return true;
}

enum class Bitstream { kSized, kCut, kContradicts };

// The bitstream chunk at offset (its tag already read), bounded by the RIFF length as libwebp
// bounds it.
Bitstream ReadBitstreamSize(ByteCursor& cursor, uint64_t offset, const uint8_t tag[4], uint32_t riffBytes,
                            WebpLayout& layout) {
  const bool lossless = TagIs(tag, "VP8L");
  uint32_t bytes = 0;
  if (!cursor.U32(offset + 4, Endian::kLittle, bytes)) return Bitstream::kCut;
  if (bytes > riffBytes - 12) return Bitstream::kContradicts;
  const uint64_t payload = offset + kChunkHeaderBytes;
  if (!cursor.Holds(payload, lossless ? 5 : 10)) return Bitstream::kCut;
  const bool read = lossless ? ReadVp8lSize(cursor, payload, layout) : ReadVp8Size(cursor, payload, bytes, layout);
  layout.bitstreamEnd = payload + bytes;
  return read ? Bitstream::kSized : Bitstream::kContradicts;
}

// The chunks after VP8X, up to the picture's data: the profile is noted on the way; a still
// picture's bitstream must be the canvas's size. A file that ends before the bitstream's header
// keeps the canvas's size, as libwebp reports it; the decode then fails on the missing data.
bool ReadExtendedChunks(ByteCursor& cursor, uint32_t riffBytes, uint32_t flags, WebpLayout& layout) {
  // Counted from "WEBP", as libwebp counts against the RIFF length.
  uint64_t used = 4 + kChunkHeaderBytes + kVp8xBytes;
  uint64_t at = kRiffHeaderBytes + kChunkHeaderBytes + kVp8xBytes;
  for (int i = 0; i < kMaxChunks; ++i) {
    uint8_t tag[4];
    uint32_t bytes = 0;
    if (!cursor.Read(at, tag, 4) || !cursor.U32(at + 4, Endian::kLittle, bytes)) return true;
    if (bytes > kMaxChunkPayload) return false;
    const uint64_t onDisk = (kChunkHeaderBytes + bytes + 1) & ~uint64_t{1};
    used += onDisk;
    if (used > riffBytes) return false;
    if (TagIs(tag, "VP8 ") || TagIs(tag, "VP8L")) {
      WebpLayout still;
      switch (ReadBitstreamSize(cursor, at, tag, riffBytes, still)) {
        case Bitstream::kCut: return true;
        case Bitstream::kContradicts: return false;
        case Bitstream::kSized:
          layout.bitstreamEnd = still.bitstreamEnd;
          return still.width == layout.width && still.height == layout.height;
      }
    }
    // An animation's frames follow; the profile, if any, came before them.
    if (layout.animated && (TagIs(tag, "ANIM") || TagIs(tag, "ANMF"))) return true;
    if (TagIs(tag, "ICCP") && (flags & kIccFlag) != 0 && layout.profileBytes == 0 && bytes != 0) {
      layout.profileOffset = at + kChunkHeaderBytes;
      layout.profileBytes = bytes;
    }
    at += onDisk;
  }
  return false;
}

}  // namespace

bool IsWebpSignature(const uint8_t* first, size_t count) {
  return count >= kRiffHeaderBytes && std::memcmp(first, "RIFF", 4) == 0 && std::memcmp(first + 8, "WEBP", 4) == 0;
}

bool ReadWebpLayout(ByteCursor& cursor, WebpLayout& layout) {
  layout = WebpLayout{};
  uint8_t start[kRiffHeaderBytes + 4];
  uint32_t riffBytes = 0;
  if (!cursor.Read(0, start, sizeof start) || !IsWebpSignature(start, sizeof start) ||
      !cursor.U32(4, Endian::kLittle, riffBytes)) {
    return false;
  }
  // At least one chunk header after "WEBP"; no longer than a chunk may be.
  if (riffBytes < 4 + kChunkHeaderBytes || riffBytes > kMaxChunkPayload) return false;
  const uint8_t* tag = start + kRiffHeaderBytes;
  if (TagIs(tag, "VP8 ") || TagIs(tag, "VP8L"))
    return ReadBitstreamSize(cursor, kRiffHeaderBytes, tag, riffBytes, layout) == Bitstream::kSized;
  if (!TagIs(tag, "VP8X")) return false;

  uint32_t bytes = 0, flags = 0, widthLess1 = 0, heightLess1 = 0;
  const uint64_t payload = kRiffHeaderBytes + kChunkHeaderBytes;
  if (!cursor.U32(kRiffHeaderBytes + 4, Endian::kLittle, bytes) || bytes != kVp8xBytes ||
      !cursor.U32(payload, Endian::kLittle, flags) || !U24(cursor, payload + 4, widthLess1) ||
      !U24(cursor, payload + 7, heightLess1)) {
    return false;
  }
  layout.width = widthLess1 + 1;
  layout.height = heightLess1 + 1;
  if (uint64_t{layout.width} * layout.height >= kMaxArea) return false;
  layout.animated = (flags & kAnimationFlag) != 0;
  // An animation is sized by its canvas alone, as libwebp sizes it; the walk only finds its profile.
  return ReadExtendedChunks(cursor, riffBytes, flags, layout) || layout.animated;
}

void ReadWebpFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts) {
  WebpLayout layout;
  if (!ReadWebpLayout(cursor, layout)) return;
  facts.header.format = PictureFormat::kWebp;
  facts.header.width = layout.width;
  facts.header.height = layout.height;
  // libwebp's widest whole-picture buffer: a lossless picture's 32-bit ARGB pixels; a lossy one
  // writes straight into the bitmap, which is at most as wide.
  facts.header.decodedBytesPerPixel = 4;
  if (wanted == FactsWanted::kAll && layout.profileBytes != 0 && layout.profileBytes <= kMaxProfileBytes &&
      cursor.Holds(layout.profileOffset, layout.profileBytes)) {
    std::vector<uint8_t> profile(layout.profileBytes);
    if (cursor.Read(layout.profileOffset, profile.data(), profile.size())) facts.profile = std::move(profile);
  }
}
