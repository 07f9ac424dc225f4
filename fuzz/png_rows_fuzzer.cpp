// libFuzzer target: any bytes, read in short chunks through the PNG row decoder the way the viewer
// reads a file, decoded into an exactly sized bottom-up bitmap (AddressSanitizer sees any write
// outside it), then the outcome's invariants checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/png/png_rows.h"
#include "short_reads.h"

namespace {

// Pictures larger than this are skipped after the header, so huge headers do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ShortReads reader(data, size);
  PngRowsDecoder decoder(reader);
  PngRowsHeader header;
  if (!decoder.ReadHeader(header)) {
    Require(decoder.DecodeRows(nullptr, 0, nullptr) == PngRowsOutcome::kNotTaken, "no decode without a header");
    return 0;
  }
  Require(header.width > 0 && header.height > 0, "header size");
  const int32_t bits = header.bitsPerPixel;
  switch (header.layout) {
    case PngRowLayout::kIndexed:
      Require((bits == 1 || bits == 4 || bits == 8) && header.colourCount > 0 &&
                  header.colourCount <= 256u && header.colourCount <= (1u << bits),
              "indexed depth and colours");
      break;
    case PngRowLayout::kBgr24: Require(bits == 24, "24-bit layout"); break;
    case PngRowLayout::kBgra32: Require(bits == 32 && header.HasAlpha(), "32-bit layout"); break;
  }
  if (static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) > kMaxPixels) return 0;

  const size_t stride = (header.RowBytes() + 3) / 4 * 4;
  std::vector<uint8_t> bitmap(stride * static_cast<size_t>(header.height));
  uint8_t* topRow = bitmap.data() + stride * static_cast<size_t>(header.height - 1);
  const PngRowsOutcome outcome = decoder.DecodeRows(topRow, -static_cast<ptrdiff_t>(stride), nullptr);
  Require(outcome != PngRowsOutcome::kCancelled, "no cancel flag, no cancellation");
  Require(decoder.DecodeRows(topRow, -static_cast<ptrdiff_t>(stride), nullptr) == PngRowsOutcome::kNotTaken,
          "one decode per header");
  return 0;
}
