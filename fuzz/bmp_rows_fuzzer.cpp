// libFuzzer target: any bytes, read in short chunks through the BMP reader the way the viewer reads
// a file, into an exactly sized bottom-up bitmap (AddressSanitizer sees any write outside it),
// then the outcome's invariants checked.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/bmp/bmp_rows.h"
#include "short_reads.h"

namespace {

// Pictures larger than this are skipped after the header, so huge headers do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ShortReads reader(data, size);
  BmpHeader header;
  if (!ReadBmpHeader(reader, header)) return 0;
  Require(header.width > 0 && header.height > 0, "header size");
  const int32_t bits = header.bitsPerPixel;
  if (header.layout == BmpRowLayout::kMasked) {
    Require(bits == 32 && (header.storedBitsPerPixel == 16 || header.storedBitsPerPixel == 32), "masked depths");
  } else {
    Require(bits == header.storedBitsPerPixel, "stored depth kept");
  }
  if (bits <= 8) Require(header.colourCount > 0 && header.colourCount <= (1u << bits), "colour count");
  if (static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) > kMaxPixels) return 0;

  // Padded like a bitmap's rows, and never narrower than the stored rows.
  const size_t stride = (static_cast<size_t>(header.width) * static_cast<size_t>(bits) + 31) / 32 * 4;
  Require(stride >= header.RowBytes() && (header.layout != BmpRowLayout::kAsStored || stride == header.StoredRowBytes()),
          "row sizes");
  std::vector<uint8_t> bitmap(stride * static_cast<size_t>(header.height));
  uint8_t* topRow = bitmap.data() + stride * static_cast<size_t>(header.height - 1);
  const BmpRowsOutcome outcome = DecodeBmpRows(reader, header, topRow, -static_cast<ptrdiff_t>(stride), nullptr);
  Require(outcome != BmpRowsOutcome::kCancelled, "no cancel flag, no cancellation");
  return 0;
}
