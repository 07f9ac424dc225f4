#include "decode/bmp/bmp_rows.h"

#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kCoreHeaderBytes = 12;  // BITMAPCOREHEADER: 16-bit sizes, 3-byte colours
constexpr uint32_t kInfoHeaderBytes = 40;  // BITMAPINFOHEADER
constexpr uint32_t kMasksInHeaderBytes = 52;  // from BITMAPV2INFOHEADER on, the masks follow at 40
constexpr uint32_t kLongestHeaderBytes = 124;  // BITMAPV5HEADER
constexpr uint32_t kRgb = 0;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kRgb555Masks[3] = {0x7C00, 0x03E0, 0x001F};
constexpr uint32_t kRgb888Masks[3] = {0x00FF0000, 0x0000FF00, 0x000000FF};
// Rows read between two looks at the cancel flag.
constexpr int32_t kRowsBetweenCancelChecks = 32;

bool ReadExactly(SequentialByteReader& reader, uint8_t* to, size_t count) {
  while (count > 0) {
    const size_t got = reader.Read(to, count);
    if (got == 0) return false;
    to += got;
    count -= got;
  }
  return true;
}

bool Skip(SequentialByteReader& reader, uint64_t count) {
  uint8_t scratch[4096];
  while (count > 0) {
    const size_t chunk = count < sizeof scratch ? static_cast<size_t>(count) : sizeof scratch;
    if (!ReadExactly(reader, scratch, chunk)) return false;
    count -= chunk;
  }
  return true;
}

uint32_t Le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8; }
uint32_t Le32(const uint8_t* p) { return Le16(p) | Le16(p + 2) << 16; }

// One bit field: where it starts and how many contiguous bits it has. False for an empty or
// broken (non-contiguous) mask.
bool SplitMask(uint32_t mask, uint32_t& shift, uint32_t& bits) {
  if (mask == 0) return false;
  shift = 0;
  while ((mask >> shift & 1) == 0) ++shift;
  const uint32_t field = mask >> shift;
  bits = 0;
  while (bits < 32 && (field >> bits & 1) != 0) ++bits;
  return bits == 32 || (field >> bits) == 0;
}

// A field of bits width widened to 8 bits by repeating its bits (5-bit 0x1F becomes 0xFF).
uint8_t Widen(uint32_t value, uint32_t bits) {
  if (bits >= 8) return static_cast<uint8_t>(value >> (bits - 8));
  uint32_t out = 0;
  for (int32_t at = 8 - static_cast<int32_t>(bits); at > -static_cast<int32_t>(bits); at -= static_cast<int32_t>(bits))
    out |= at >= 0 ? value << at : value >> -at;
  return static_cast<uint8_t>(out);
}

bool ChooseLayout(uint32_t compression, BmpHeader& h) {
  const int32_t bpp = h.storedBitsPerPixel;
  h.bitsPerPixel = bpp;
  if (compression == kRgb) {
    switch (bpp) {
      case 1: case 4: case 8: case 16: case 24: case 32: return true;
      default: return false;
    }
  }
  if (compression != kBitFields || (bpp != 16 && bpp != 32)) return false;
  const uint32_t* plain = bpp == 16 ? kRgb555Masks : kRgb888Masks;
  if (std::memcmp(h.masks, plain, sizeof h.masks) == 0) return true;
  for (uint32_t mask : h.masks) {
    uint32_t shift = 0, bits = 0;
    if (!SplitMask(mask, shift, bits) || (bpp == 16 && mask > 0xFFFF)) return false;
  }
  h.layout = BmpRowLayout::kMasked;
  h.bitsPerPixel = 32;
  return true;
}

void WidenRow(const uint8_t* from, uint8_t* to, const BmpHeader& h) {
  uint32_t shift[3], bits[3];
  for (int c = 0; c < 3; ++c) SplitMask(h.masks[c], shift[c], bits[c]);
  const bool narrow = h.storedBitsPerPixel == 16;
  for (int32_t x = 0; x < h.width; ++x, to += 4) {
    const uint32_t v = narrow ? Le16(from + 2 * x) : Le32(from + 4 * x);
    to[2] = Widen((v & h.masks[0]) >> shift[0], bits[0]);
    to[1] = Widen((v & h.masks[1]) >> shift[1], bits[1]);
    to[0] = Widen((v & h.masks[2]) >> shift[2], bits[2]);
    to[3] = 0xFF;
  }
}

}  // namespace

bool ReadBmpHeader(SequentialByteReader& reader, BmpHeader& header) {
  uint8_t bytes[14 + kLongestHeaderBytes] = {};
  if (!ReadExactly(reader, bytes, 18) || bytes[0] != 'B' || bytes[1] != 'M') return false;
  const uint32_t pixelOffset = Le32(bytes + 10);
  const uint32_t headerBytes = Le32(bytes + 14);
  const uint8_t* info = bytes + 14;
  BmpHeader h;
  uint32_t compression = kRgb, coloursUsed = 0;
  size_t colourBytes = 4;
  if (headerBytes == kCoreHeaderBytes) {
    if (!ReadExactly(reader, bytes + 18, kCoreHeaderBytes - 4)) return false;
    h.width = static_cast<int32_t>(Le16(info + 4));
    h.height = static_cast<int32_t>(Le16(info + 6));
    h.storedBitsPerPixel = static_cast<int32_t>(Le16(info + 10));
    colourBytes = 3;
  } else if (headerBytes >= kInfoHeaderBytes) {
    const uint32_t kept = headerBytes < kLongestHeaderBytes ? headerBytes : kLongestHeaderBytes;
    if (!ReadExactly(reader, bytes + 18, kept - 4) || !Skip(reader, headerBytes - kept)) return false;
    h.width = static_cast<int32_t>(Le32(info + 4));
    const int32_t height = static_cast<int32_t>(Le32(info + 8));
    if (height == INT32_MIN) return false;
    h.topDown = height < 0;
    h.height = height < 0 ? -height : height;
    h.storedBitsPerPixel = static_cast<int32_t>(Le16(info + 14));
    compression = Le32(info + 16);
    coloursUsed = Le32(info + 32);
    if (compression == kBitFields) {
      uint8_t masks[12];
      if (headerBytes >= kMasksInHeaderBytes) {
        std::memcpy(masks, info + 40, sizeof masks);
      } else if (headerBytes != kInfoHeaderBytes || !ReadExactly(reader, masks, sizeof masks)) {
        return false;
      }
      for (int c = 0; c < 3; ++c) h.masks[c] = Le32(masks + 4 * c);
    }
  } else {
    return false;
  }
  if (h.width <= 0 || h.height <= 0 || !ChooseLayout(compression, h)) return false;
  uint64_t position = 14 + static_cast<uint64_t>(headerBytes) + (compression == kBitFields && headerBytes == kInfoHeaderBytes ? 12 : 0);
  if (h.storedBitsPerPixel <= 8) {
    const uint32_t most = 1u << h.storedBitsPerPixel;
    h.colourCount = coloursUsed != 0 && coloursUsed < most ? coloursUsed : most;
    uint8_t table[256 * 4];
    const size_t tableBytes = h.colourCount * colourBytes;
    if (position + tableBytes > pixelOffset || !ReadExactly(reader, table, tableBytes)) return false;
    for (uint32_t i = 0; i < h.colourCount; ++i) std::memcpy(h.colourTable[i], table + i * colourBytes, 3);
    position += tableBytes;
  }
  if (pixelOffset < position || !Skip(reader, pixelOffset - position)) return false;
  header = h;
  return true;
}

BmpRowsOutcome DecodeBmpRows(SequentialByteReader& reader, const BmpHeader& header, uint8_t* topRow,
                             ptrdiff_t pitch, const std::atomic<bool>* cancel) {
  const size_t stored = header.StoredRowBytes();
  // Stored row i (in file order) goes to image row y.
  auto rowAt = [&](int32_t i) {
    const int32_t y = header.topDown ? i : header.height - 1 - i;
    return topRow + static_cast<ptrdiff_t>(y) * pitch;
  };
  const bool asStored = header.layout == BmpRowLayout::kAsStored;
  // The file's rows lie in memory just as the bitmap's: whole runs of rows are read in one go.
  const bool contiguous = asStored && header.height > 1 && rowAt(1) - rowAt(0) == static_cast<ptrdiff_t>(stored);
  std::vector<uint8_t> row;
  if (!contiguous) row.resize(stored);
  for (int32_t i = 0; i < header.height;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return BmpRowsOutcome::kCancelled;
    const int32_t count = contiguous && header.height - i > kRowsBetweenCancelChecks ? kRowsBetweenCancelChecks
                          : contiguous ? header.height - i : 1;
    if (contiguous) {
      if (!ReadExactly(reader, rowAt(i), stored * static_cast<size_t>(count))) return BmpRowsOutcome::kNotTaken;
    } else {
      if (!ReadExactly(reader, row.data(), stored)) return BmpRowsOutcome::kNotTaken;
      if (asStored) {
        std::memcpy(rowAt(i), row.data(), header.RowBytes());
      } else {
        WidenRow(row.data(), rowAt(i), header);
      }
    }
    i += count;
  }
  return BmpRowsOutcome::kDecoded;
}
