#include "decode/bmp/bmp_format.h"

namespace {

constexpr uint32_t kBmpCoreHeaderBytes = 12;  // BITMAPCOREHEADER: 16-bit width and height
constexpr uint32_t kBmpInfoHeaderBytes = 40;  // BITMAPINFOHEADER and its longer successors
constexpr uint64_t kBmpHeaderSizeAt = 14;

bool ReadBmpSize(ByteCursor& cursor, PictureHeader& header) {
  uint32_t headerBytes = 0;
  if (!cursor.U32(kBmpHeaderSizeAt, Endian::kLittle, headerBytes)) return false;
  uint32_t width = 0, height = 0;
  if (headerBytes == kBmpCoreHeaderBytes) {
    if (!cursor.U16(18, Endian::kLittle, width) || !cursor.U16(20, Endian::kLittle, height)) return false;
  } else if (headerBytes >= kBmpInfoHeaderBytes) {
    if (!cursor.U32(18, Endian::kLittle, width) || !cursor.U32(22, Endian::kLittle, height)) return false;
    // A negative height means rows stored top-down; the picture is as tall either way. A
    // negative width is nonsense, kept as its huge unsigned value so it is never let through.
    const int32_t signedHeight = static_cast<int32_t>(height);
    if (signedHeight < 0) height = 0u - height;
  } else {
    return false;  // OS/2 variants between the two: the decoder does not read them
  }
  header.width = width;
  header.height = height;
  return true;
}

}  // namespace

bool IsBmpSignature(const uint8_t* first, size_t count) { return count >= 2 && first[0] == 'B' && first[1] == 'M'; }

void ReadBmpFacts(ByteCursor& cursor, FactsWanted, PictureFacts& facts) {
  if (ReadBmpSize(cursor, facts.header)) facts.header.format = PictureFormat::kBmp;
}
