// libFuzzer target: any bytes, read in short chunks through the JPEG row decoder the way the
// viewer reads a file, decoded into an exactly sized bottom-up bitmap (AddressSanitizer sees any
// write outside it), then the outcome's invariants checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "decode/jpeg/jpeg_rows.h"

namespace {

// Pictures larger than this are skipped after the header, so huge headers do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Short reads whose size depends on the input, so the refill and skip paths see every boundary.
class BytesReader final : public JpegByteReader {
 public:
  BytesReader(const uint8_t* data, size_t size) : data_(data), size_(size), chunk_(1 + size % 4093) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    Require(capacity > 0 && capacity <= 64 * 1024, "reads in chunks of at most 64 KiB");
    size_t n = size_ - at_;
    if (n > capacity) n = capacity;
    if (n > chunk_) n = chunk_;
    std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t chunk_;
  size_t at_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  BytesReader reader(data, size);
  // CMYK taken as the viewer takes it for a file with a CMYK profile: every path of the decoder.
  JpegRowsDecoder decoder(reader, JpegCmyk::kTake);
  JpegRowsHeader header;
  if (!decoder.ReadHeader(header)) {
    Require(decoder.DecodeRows(nullptr, 0, nullptr) == JpegRowsOutcome::kNotTaken,
            "no decode without a header");
    return 0;
  }
  Require(header.width > 0 && header.width <= 65535 && header.height > 0 && header.height <= 65535,
          "header size");
  Require(header.layout == JpegRowLayout::kBgr24 || header.layout == JpegRowLayout::kGrey8 ||
              header.layout == JpegRowLayout::kCmyk32,
          "header layout");
  Require(!header.invertedCmyk || header.layout == JpegRowLayout::kCmyk32, "inverted only for CMYK");
  // Some inputs are decoded reduced, as a first view is: the reduced size must be what libjpeg
  // writes, or the rows below overflow.
  const int denominator = size % 5 == 1 ? 2 : size % 5 == 2 ? 4 : size % 5 == 3 ? 8 : 1;
  if (denominator != 1) {
    const int32_t fullWidth = header.width, fullHeight = header.height;
    if (!decoder.ScaleDown(denominator, header)) return 0;
    Require(header.width == (fullWidth + denominator - 1) / denominator &&
                header.height == (fullHeight + denominator - 1) / denominator,
            "reduced size rounds up");
    Require(ReductionForView(fullWidth, fullHeight, header.width, header.height) >= denominator,
            "the reduction chosen for a view of the reduced size is at least as strong");
  }
  if (static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) > kMaxPixels) return 0;

  const size_t stride = static_cast<size_t>(header.RowBytes() + 3) / 4 * 4;
  std::vector<uint8_t> bitmap(stride * static_cast<size_t>(header.height));
  uint8_t* topRow = bitmap.data() + stride * static_cast<size_t>(header.height - 1);
  // Progressive files are sometimes decoded from their first scans alone, as a first view is.
  const bool firstScans = decoder.Progressive() && size % 3 == 0;
  const JpegRowsOutcome outcome = firstScans ? decoder.DecodeFirstScans(topRow, -static_cast<ptrdiff_t>(stride), nullptr)
                                             : decoder.DecodeRows(topRow, -static_cast<ptrdiff_t>(stride), nullptr);
  Require(outcome != JpegRowsOutcome::kCancelled, "no cancel flag, no cancellation");
  Require(decoder.RowsDone() >= 0 && decoder.RowsDone() <= header.height, "rows done in range");
  if (outcome == JpegRowsOutcome::kDecoded) Require(decoder.RowsDone() == header.height, "every row written");
  Require(decoder.DecodeRows(topRow, -static_cast<ptrdiff_t>(stride), nullptr) == JpegRowsOutcome::kNotTaken,
          "one decode per header");
  return 0;
}
