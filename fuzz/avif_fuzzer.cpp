// libFuzzer target: any bytes through the AVIF decode: our ISOBMFF reader, then dav1d on the
// primary item (or a grid's tiles) and the alpha item, then the rows written 8-bit and deep, with a
// small decode limit so that a container promising a huge picture is refused rather than
// allocated. A decoded picture must be the size its container said (turned by its own irot/imir).
// Seeds (fuzz/corpus/avif/): tiny pictures written by avifenc (8/10/12-bit, 4:2:0/4:2:2/4:4:4/4:0:0,
// alpha, grid, irot/imir, an ICC profile), e.g.  avifenc -s 10 --min 20 --max 40 -d 8 seed.png seed.avif
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "decode/avif/avif_rows.h"
#include "decode/isobmff/isobmff_format.h"

namespace {

// 4 MiB: a 1-megapixel 8-bit picture, half that when deeper.
constexpr uint64_t kFuzzDecodeLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  PictureFacts facts;
  {
    CheckedSource source(data, size);
    ByteCursor cursor(source);
    facts.format = PictureFormat::kAvif;
    ReadIsobmffFacts(cursor, FactsWanted::kAll, facts);
  }
  AvifRowsDecoder decoder(data, size, nullptr, kFuzzDecodeLimit);
  AvifPicture picture;
  if (decoder.Decode(picture, 1) != AvifOutcome::kDecoded) return 0;
  Require(picture.width > 0 && picture.height > 0, "a decoded picture has a size");
  const uint64_t pixels = static_cast<uint64_t>(picture.width) * static_cast<uint64_t>(picture.height);
  Require(pixels * (picture.bitDepth > 8 ? 8 : 4) <= kFuzzDecodeLimit, "decoded size within the limit");
  Require(picture.bitDepth == 8 || picture.bitDepth == 10 || picture.bitDepth == 12, "depth 8, 10 or 12");
  // What the facts said is what was decoded: the primary item's extent, turned.
  Require(facts.header.format == PictureFormat::kAvif, "a decoded picture was sized by its facts");
  const bool exchanged = (facts.ownTransform.quarterTurns & 1) != 0;
  Require(static_cast<uint32_t>(picture.width) == (exchanged ? facts.header.height : facts.header.width) &&
              static_cast<uint32_t>(picture.height) == (exchanged ? facts.header.width : facts.header.height),
          "decoded size is the facts' size, turned");
  const int channels = picture.hasAlpha ? 4 : 3;
  const ptrdiff_t pitch = static_cast<ptrdiff_t>((static_cast<uint64_t>(picture.width) * channels + 3) & ~uint64_t{3});
  std::vector<uint8_t> rows(static_cast<size_t>(pitch) * static_cast<size_t>(picture.height));
  // Bottom-up, as the viewer's bitmaps are: every row is written through a negative pitch.
  Require(decoder.WriteRows(rows.data() + rows.size() - static_cast<size_t>(pitch), -pitch, 1), "rows written");
  std::vector<uint16_t> deep(static_cast<size_t>(pixels) * channels);
  Require(decoder.WriteDeepRows(deep.data(), picture.width * channels * 2, 1), "deep rows written");
  const uint16_t top = static_cast<uint16_t>((1 << picture.bitDepth) - 1);
  for (uint16_t sample : deep) Require(sample <= top, "deep samples within the depth");
  return 0;
}
