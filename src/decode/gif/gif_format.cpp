// The GIF block walk. The decoder reads every frame and allocates each one at its own size,
// so the size that matters is the largest of the logical screen and every frame's right and
// bottom edge. Frames whose descriptor lies inside the file count even when their data is cut.
#include <algorithm>
#include <cstring>

#include "decode/gif/gif_format.h"

namespace {

constexpr uint32_t kExtensionIntroducer = 0x21;
constexpr uint32_t kImageSeparator = 0x2C;
constexpr uint32_t kColourTableFlag = 0x80;
constexpr uint64_t kScreenDescriptorEnd = 13;
constexpr uint64_t kImageDescriptorBytes = 10;

// Blocks and sub-blocks walked in all. A 255-byte sub-block per step covers a file of 256 MiB;
// a file of millions of tiny blocks stops here with no answer rather than cost more work.
constexpr int32_t kMaxSteps = 1 << 20;

uint64_t ColourTableBytes(uint32_t flags) {
  return (flags & kColourTableFlag) != 0 ? uint64_t{3} << ((flags & 7) + 1) : 0;
}

enum class SubBlocks { kTerminated, kFileEnded, kBudgetSpent };

// Walks data sub-blocks from offset past the empty terminator.
SubBlocks SkipSubBlocks(ByteCursor& cursor, uint64_t& offset, int32_t& stepsLeft) {
  for (;;) {
    if (--stepsLeft < 0) return SubBlocks::kBudgetSpent;
    uint32_t size = 0;
    if (!cursor.U8(offset, size)) return SubBlocks::kFileEnded;
    offset += 1 + size;
    if (size == 0) return SubBlocks::kTerminated;
  }
}

}  // namespace

bool ReadGifSize(ByteCursor& cursor, PictureHeader& header) {
  uint32_t width = 0, height = 0, flags = 0;
  if (!cursor.U16(6, Endian::kLittle, width) || !cursor.U16(8, Endian::kLittle, height) ||
      !cursor.U8(10, flags)) {
    return false;
  }
  uint64_t offset = kScreenDescriptorEnd + ColourTableBytes(flags);
  int32_t stepsLeft = kMaxSteps;
  // Ends at the trailer, at a block the decoder stops at, or where the file ends: what lies
  // before is all the decoder can see.
  for (;;) {
    if (--stepsLeft < 0) return false;
    uint32_t block = 0;
    if (!cursor.U8(offset, block)) break;
    if (block == kExtensionIntroducer) {
      offset += 2;  // introducer and label
    } else if (block == kImageSeparator) {
      uint32_t left = 0, top = 0, frameWidth = 0, frameHeight = 0, frameFlags = 0;
      if (!cursor.U16(offset + 1, Endian::kLittle, left) || !cursor.U16(offset + 3, Endian::kLittle, top) ||
          !cursor.U16(offset + 5, Endian::kLittle, frameWidth) ||
          !cursor.U16(offset + 7, Endian::kLittle, frameHeight) || !cursor.U8(offset + 9, frameFlags)) {
        break;
      }
      width = std::max(width, left + frameWidth);
      height = std::max(height, top + frameHeight);
      offset += kImageDescriptorBytes + ColourTableBytes(frameFlags) + 1;  // + the LZW code size
    } else {
      break;  // the trailer, or a block the decoder stops at
    }
    const SubBlocks end = SkipSubBlocks(cursor, offset, stepsLeft);
    if (end == SubBlocks::kBudgetSpent) return false;
    if (end == SubBlocks::kFileEnded) break;
  }
  header.width = width;
  header.height = height;
  return true;
}

bool IsGifSignature(const uint8_t* first, size_t count) {
  return count >= 6 && (std::memcmp(first, "GIF87a", 6) == 0 || std::memcmp(first, "GIF89a", 6) == 0);
}

// The imaging library reads no profile from a GIF and the viewer no orientation.
void ReadGifFacts(ByteCursor& cursor, FactsWanted, PictureFacts& facts) {
  if (ReadGifSize(cursor, facts.header)) facts.header.format = PictureFormat::kGif;
}
