// libFuzzer target: any bytes as the viewer takes a HEIF file: the format table's facts (our
// ISOBMFF reader) judge the size first, then libheif and libde265 (both built with the fuzz
// build's instrumentation, cmake/libheif.cmake) decode it through the rows decoder, with a small
// decode limit so that boxes promising a huge picture are refused rather than allocated. A decoded
// picture must be the size libheif's header said and fit the limit.
// Seeds (fuzz/corpus/heif/) are tiny pictures written by heif-enc 1.15 from ImageMagick's, e.g.
//   convert -size 8x6 xc:red xc:green +append ... -type TrueColor q.png
//   heif-enc -L -p chroma=444 q.png -o upright.heic          (also alpha, 10-bit -b 10, lossy 4:2:0)
//   tests/heif/add_property.py stored.heic turned.heic irot 03   (an irot property patched in)
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/heif/heif_linked_api.h"
#include "decode/heif/heif_rows.h"

namespace {

// 4 MiB: a 1-megapixel picture at 4 bytes a pixel.
constexpr uint64_t kFuzzDecodeLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckedSource source(data, size);
  const PictureFacts facts = ReadPictureFacts(source);
  // As DecodeFile does: a size the facts read must fit (here the fuzz limit) before any decoder runs.
  if (facts.header.format != PictureFormat::kUnknown &&
      static_cast<uint64_t>(facts.header.width) * facts.header.height * 4 > kFuzzDecodeLimit) {
    return 0;
  }
  HeifRowsDecoder decoder(LinkedHeifApi(), data, size, nullptr, kFuzzDecodeLimit);
  HeifPicture header;
  if (decoder.ReadHeader(header) != HeifOutcome::kDecoded) return 0;
  Require(header.width > 0 && header.height > 0 &&
              static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) * 4 <= kFuzzDecodeLimit,
          "a size read is within the limit");
  // The colours as the viewer plans them (the reader's profile and code points, else libheif's).
  const HeifColourPlan colour = PlanHeifColour(facts.profile.empty() ? decoder.EmbeddedProfile() : facts.profile,
                                               facts.cicp.present ? facts.cicp : decoder.Nclx(), header.bitDepth);
  if (decoder.Decode(1, colour.deep) != HeifOutcome::kDecoded) return 0;
  const uint64_t pixelBytes = static_cast<uint64_t>(header.BitsPerPixel() / 8);
  const ptrdiff_t pitch = static_cast<ptrdiff_t>((header.width * pixelBytes + 3) & ~uint64_t{3});
  std::vector<uint8_t> rows(static_cast<size_t>(pitch) * static_cast<size_t>(header.height));
  // Bottom-up, as the viewer's bitmaps are: every row is written through a negative pitch.
  uint8_t* top = rows.data() + rows.size() - static_cast<size_t>(pitch);
  if (colour.deep) {
    const DeepPixels samples = decoder.DeepSamples();
    Require(samples.width == header.width && samples.height == header.height && samples.bitDepth >= 8 &&
                samples.bitDepth <= 16,
            "the samples are the picture's");
    Require(WriteDeepRowsAsDisplay(samples, colour.transfer, colour.profile, {}, top, -pitch,
                                   header.layout == HeifRowLayout::kBgra32),
            "decoded samples are written");
  } else {
    decoder.WriteRows(top, -pitch);
  }
  return 0;
}
