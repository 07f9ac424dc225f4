#include "decode/jpeg2000/jpeg2000_format.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kJp2Signature[12] = {0, 0, 0, 0x0C, 'j', 'P', ' ', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// A hostile file may hold any number of tiny boxes; the header boxes come first in real ones.
constexpr int kMaxBoxes = 64;

bool Matches(ByteCursor& cursor, uint64_t offset, const void* bytes, size_t count) {
  uint8_t got[12];
  return count <= sizeof got && cursor.Read(offset, got, count) && std::memcmp(got, bytes, count) == 0;
}

bool SetSize(uint32_t width, uint32_t height, uint32_t components, PictureHeader& header) {
  if (width == 0 || height == 0 || components == 0) return false;
  header.width = width;
  header.height = height;
  header.decodedBytesPerPixel = 4 * std::max<uint32_t>(components, 1);
  return true;
}

struct Box {
  uint64_t content = 0;  // offset of the box's content
  uint64_t end = 0;      // offset just past the box
  uint8_t type[4] = {};
};

// The box at offset, inside a parent ending at limit.
bool ReadBox(ByteCursor& cursor, uint64_t offset, uint64_t limit, Box& box) {
  uint32_t length = 0;
  if (!cursor.U32(offset, Endian::kBig, length) || !cursor.Read(offset + 4, box.type, 4)) return false;
  uint64_t total = length;
  box.content = offset + 8;
  if (length == 1) {  // the length follows as 64 bits
    if (!cursor.U64(offset + 8, Endian::kBig, total)) return false;
    box.content = offset + 16;
  } else if (length == 0) {  // the box runs to the end of its parent
    total = limit - offset;
  }
  if (total < box.content - offset || total > limit - offset) return false;
  box.end = offset + total;
  return true;
}

bool IsType(const Box& box, const char* type) { return std::memcmp(box.type, type, 4) == 0; }

// ihdr: height, width (32 bits each), the component count (16 bits), ...
bool ReadImageHeaderBox(ByteCursor& cursor, const Box& box, PictureHeader& header) {
  uint32_t height = 0, width = 0, components = 0;
  return box.end - box.content >= 14 && cursor.U32(box.content, Endian::kBig, height) &&
         cursor.U32(box.content + 4, Endian::kBig, width) &&
         cursor.U16(box.content + 8, Endian::kBig, components) && SetSize(width, height, components, header);
}

}  // namespace

bool StartsLikeJp2File(ByteCursor& cursor) { return Matches(cursor, 0, kJp2Signature, sizeof kJp2Signature); }

bool StartsLikeCodestream(ByteCursor& cursor) { return Matches(cursor, 0, "\xFF\x4F\xFF\x51", 4); }

// SIZ: Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz. The picture is
// the reference grid less its offset.
bool ReadCodestreamSize(ByteCursor& cursor, uint64_t start, PictureHeader& header) {
  if (!Matches(cursor, start, "\xFF\x4F\xFF\x51", 4)) return false;
  const uint64_t siz = start + 4;
  uint32_t gridWidth = 0, gridHeight = 0, left = 0, top = 0, components = 0;
  if (!cursor.U32(siz + 4, Endian::kBig, gridWidth) || !cursor.U32(siz + 8, Endian::kBig, gridHeight) ||
      !cursor.U32(siz + 12, Endian::kBig, left) || !cursor.U32(siz + 16, Endian::kBig, top) ||
      !cursor.U16(siz + 36, Endian::kBig, components) || left >= gridWidth || top >= gridHeight) {
    return false;
  }
  return SetSize(gridWidth - left, gridHeight - top, components, header);
}

// The top-level boxes after the signature: the JP2 header box's image header gives the size; a
// contiguous codestream box met first gives it from the codestream instead.
bool ReadJp2FileSize(ByteCursor& cursor, PictureHeader& header) {
  const uint64_t size = cursor.Size();
  uint64_t offset = sizeof kJp2Signature;
  for (int i = 0; i < kMaxBoxes && offset < size; ++i) {
    Box box;
    if (!ReadBox(cursor, offset, size, box)) return false;
    if (IsType(box, "jp2c")) return ReadCodestreamSize(cursor, box.content, header);
    if (IsType(box, "jp2h")) {
      uint64_t inner = box.content;
      for (int j = 0; j < kMaxBoxes && inner < box.end; ++j) {
        Box child;
        if (!ReadBox(cursor, inner, box.end, child)) return false;
        if (IsType(child, "ihdr")) return ReadImageHeaderBox(cursor, child, header);
        inner = child.end;
      }
      return false;
    }
    offset = box.end;
  }
  return false;
}

bool IsJpeg2000Signature(const uint8_t* first, size_t count) {
  MemoryByteSource source(first, count);
  ByteCursor cursor(source);
  return StartsLikeJp2File(cursor) || StartsLikeCodestream(cursor);
}

// The colour box's profile is read by openjpeg during the decode, which applies it itself.
void ReadJpeg2000Facts(ByteCursor& cursor, FactsWanted, PictureFacts& facts) {
  const bool read = StartsLikeJp2File(cursor) ? ReadJp2FileSize(cursor, facts.header)
                                              : ReadCodestreamSize(cursor, 0, facts.header);
  if (read) facts.header.format = PictureFormat::kJpeg2000;
}
