#include "decode/jxl/jxl_format.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint8_t kCodestreamSignature[2] = {0xFF, 0x0A};
constexpr uint8_t kContainerSignature[12] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
// A hostile container may hold any number of tiny boxes; encoders put the codestream's first
// part among the first few.
constexpr int kMaxBoxes = 64;

bool StartsWith(const uint8_t* first, size_t count, const uint8_t* signature, size_t length) {
  return count >= length && std::memcmp(first, signature, length) == 0;
}

struct Box {
  uint64_t content = 0;  // offset of the box's content
  uint64_t end = 0;      // offset just past the box
  uint8_t type[4] = {};
};

// The box at offset in a file of size bytes: a 32-bit length (0: to the end of the file) and a
// type. A 64-bit length (1) is refused: libjxl 0.7 reads it before the type, against the
// container's layout, so the two would never find the same codestream; such a file stays unsized
// and its decode is refused.
bool ReadBox(ByteCursor& cursor, uint64_t offset, Box& box) {
  const uint64_t size = cursor.Size();
  uint32_t length = 0;
  if (!cursor.U32(offset, Endian::kBig, length) || length == 1 || !cursor.Read(offset + 4, box.type, 4)) return false;
  uint64_t total = length == 0 ? size - offset : length;
  box.content = offset + 8;
  if (total < 8 || total > size - offset) return false;
  box.end = offset + total;
  return true;
}

bool IsType(const Box& box, const char* type) { return std::memcmp(box.type, type, 4) == 0; }

// Reads the codestream's bits lowest first, as JPEG XL packs them; never past count bytes.
class BitReader {
 public:
  BitReader(const uint8_t* bytes, size_t count) : bytes_(bytes), bits_(static_cast<uint64_t>(count) * 8) {}
  // n <= 32 bits; false once they would run past the bytes.
  bool Bits(int n, uint32_t& value) {
    if (static_cast<uint64_t>(n) > bits_ - position_) return false;
    value = 0;
    for (int i = 0; i < n; ++i, ++position_) {
      const uint32_t bit = (bytes_[position_ / 8] >> (position_ % 8)) & 1u;
      value |= bit << i;
    }
    return true;
  }
  // The sizes' U32 field: a 2-bit selector, then 9, 13, 18 or 30 bits, plus one.
  bool SizeField(uint32_t& value) {
    static constexpr int kWidths[4] = {9, 13, 18, 30};
    uint32_t selector = 0, raw = 0;
    if (!Bits(2, selector) || !Bits(kWidths[selector], raw)) return false;
    value = raw + 1;
    return true;
  }

 private:
  const uint8_t* bytes_;
  uint64_t bits_;
  uint64_t position_ = 0;
};

// The width of a size header's ratio (1 to 7) of its height, rounded down.
uint32_t WidthOfRatio(uint32_t ratio, uint32_t height) {
  static constexpr uint32_t kRatios[7][2] = {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
  return static_cast<uint32_t>(static_cast<uint64_t>(height) * kRatios[ratio - 1][0] / kRatios[ratio - 1][1]);
}

}  // namespace

bool IsJxlSignature(const uint8_t* first, size_t count) {
  return StartsWith(first, count, kCodestreamSignature, sizeof kCodestreamSignature) ||
         StartsWith(first, count, kContainerSignature, sizeof kContainerSignature);
}

bool ReadJxlCodestreamStart(ByteCursor& cursor, uint8_t* out, size_t& got) {
  got = 0;
  uint8_t first[sizeof kContainerSignature] = {};
  const size_t firstCount = static_cast<size_t>(std::min<uint64_t>(cursor.Size(), sizeof first));
  if (!cursor.Read(0, first, firstCount)) return false;
  if (StartsWith(first, firstCount, kCodestreamSignature, sizeof kCodestreamSignature)) {
    got = static_cast<size_t>(std::min<uint64_t>(cursor.Size(), kJxlHeaderBytes));
    return cursor.Read(0, out, got);
  }
  if (!StartsWith(first, firstCount, kContainerSignature, sizeof kContainerSignature)) return false;
  // The codestream is the jxlc box's content, or the jxlp boxes' contents joined in file order,
  // each after its 4-byte part counter.
  uint64_t offset = sizeof kContainerSignature;
  bool found = false;
  for (int i = 0; i < kMaxBoxes && offset < cursor.Size() && got < kJxlHeaderBytes; ++i) {
    Box box;
    if (!ReadBox(cursor, offset, box)) break;
    uint64_t start = 0;
    if (IsType(box, "jxlc")) {
      start = box.content;
    } else if (IsType(box, "jxlp") && box.end - box.content >= 4) {
      start = box.content + 4;
    } else {
      offset = box.end;
      continue;
    }
    found = true;
    const size_t take = static_cast<size_t>(std::min<uint64_t>(box.end - start, kJxlHeaderBytes - got));
    if (!cursor.Read(start, out + got, take)) return false;
    got += take;
    if (IsType(box, "jxlc")) break;  // the whole codestream: nothing may follow it
    offset = box.end;
  }
  return found;
}

// The size header (a small one in multiples of 8 up to 256, else 9 to 30 bits; the width given
// or as a fixed ratio of the height), then the image metadata up to the orientation.
bool ParseJxlSizeHeader(const uint8_t* bytes, size_t count, JxlSize& size) {
  if (!StartsWith(bytes, count, kCodestreamSignature, sizeof kCodestreamSignature)) return false;
  BitReader bits(bytes + 2, count - 2);
  uint32_t small = 0, ratio = 0, v = 0, width = 0, height = 0;
  if (!bits.Bits(1, small)) return false;
  if (small != 0) {
    if (!bits.Bits(5, v)) return false;
    height = (v + 1) * 8;
  } else if (!bits.SizeField(height)) {
    return false;
  }
  if (!bits.Bits(3, ratio)) return false;
  if (ratio != 0) {
    width = WidthOfRatio(ratio, height);
  } else if (small != 0) {
    if (!bits.Bits(5, v)) return false;
    width = (v + 1) * 8;
  } else if (!bits.SizeField(width)) {
    return false;
  }
  if (width == 0 || height == 0) return false;
  // The metadata's all_default flag; without it, its extra_fields flag, then the orientation less 1.
  uint32_t allDefault = 0, extraFields = 0, orientation = 0;
  if (!bits.Bits(1, allDefault)) return false;
  if (allDefault == 0) {
    if (!bits.Bits(1, extraFields)) return false;
    if (extraFields != 0 && !bits.Bits(3, orientation)) return false;
  }
  size.width = width;
  size.height = height;
  size.orientation = orientation + 1;
  return true;
}

void ReadJxlFacts(ByteCursor& cursor, FactsWanted, PictureFacts& facts) {
  uint8_t start[kJxlHeaderBytes] = {};
  size_t got = 0;
  JxlSize size;
  if (!ReadJxlCodestreamStart(cursor, start, got) || !ParseJxlSizeHeader(start, got, size)) return;
  const bool swapped = size.orientation > 4;
  facts.header.width = swapped ? size.height : size.width;
  facts.header.height = swapped ? size.width : size.height;
  facts.header.decodedBytesPerPixel = kJxlDecodedBytesPerPixel;
  facts.header.format = PictureFormat::kJxl;
}
