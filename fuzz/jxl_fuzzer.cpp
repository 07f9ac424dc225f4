// libFuzzer target: any bytes, through the format table's JPEG XL facts (the size header read bit
// by bit, inside the container's boxes) and then libjxl's decode into bitmap rows through our
// decoder, with a small decode limit so that a header promising a huge picture is refused rather
// than allocated. Where both read a size, the facts and libjxl must agree: the viewer sizes its
// bitmap by the facts. libjxl is built here with its fuzzing limits on memory (cmake/libjxl.cmake).
// Seeds (fuzz/corpus/jxl/) are tiny pictures written by cjxl, e.g.
//   convert -size 16x12 gradient:red-blue seed.png && cjxl seed.png seed.jxl -d 1
// (also lossless, alpha, grey, an animation and an oriented container from a JPEG with EXIF).
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "decode/format_table.h"
#include "decode/jxl/jxl_format.h"
#include "decode/jxl/jxl_rows.h"

namespace {

// 4 MiB at libjxl's 16 bytes a pixel: a quarter of a megapixel.
constexpr uint64_t kFuzzDecodeLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckedSource source(data, size);
  const PictureFacts facts = ReadPictureFacts(source);
  const bool sized = facts.header.format == PictureFormat::kJxl;
  if (sized) {
    Require(facts.format == PictureFormat::kJxl, "sized only as JPEG XL");
    Require(facts.header.width > 0 && facts.header.height > 0 && facts.header.width <= (2u << 30) &&
                facts.header.height <= (2u << 30),
            "a size header's size is whole and within its fields");
    Require(!facts.orientationFound && facts.profile.empty(), "no EXIF turn and no profile from the facts");
  }
  Require(source.reads <= 4 * 64 + 8, "a bounded walk over the boxes");

  JxlRowsDecoder decoder(data, size, nullptr, kFuzzDecodeLimit, 1);
  JxlPictureInfo info;
  if (decoder.ReadInfo(info) != JxlOutcome::kDecoded) return 0;
  Require(info.width > 0 && info.height > 0 &&
              static_cast<uint64_t>(info.width) * static_cast<uint64_t>(info.height) * kJxlDecodedBytesPerPixel <=
                  kFuzzDecodeLimit,
          "the picture is within the limit");
  if (sized) {
    Require(facts.header.width == static_cast<uint32_t>(info.width) &&
                facts.header.height == static_cast<uint32_t>(info.height),
            "the facts' size is libjxl's");
  }
  const size_t stride = (static_cast<size_t>(info.width) * static_cast<size_t>(info.BitsPerPixel() / 8) + 3) & ~size_t{3};
  std::vector<uint8_t> rows(stride * static_cast<size_t>(info.height));
  // Bottom-up, as the viewer's bitmaps are: every row is written through a negative pitch.
  decoder.DecodeRows(rows.data() + rows.size() - stride, -static_cast<ptrdiff_t>(stride));
  return 0;
}
