// libFuzzer target: any bytes, through the JPEG 2000 size reader and then openjpeg's decode into
// bitmap rows, with a small decode limit so that a header promising a huge picture is refused
// rather than allocated. The decoded picture must be the size the codestream said.
// Seeds (fuzz/corpus/jpeg2000/) are tiny pictures written by ImageMagick, e.g.
//   convert -size 16x12 gradient:red-blue -define jp2:rate=0.5 seed.jp2   (also .j2k, grey, alpha)
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/jpeg2000/jp2_rows.h"
#include "decode/jpeg2000/jpeg2000_format.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// 4 MiB of samples: a 1-megapixel grey picture, a third of that in colour.
constexpr uint64_t kFuzzDecodeLimit = 4u << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryByteSource source(data, size);
  {
    ByteCursor cursor(source);
    PictureHeader header;
    bool read = false;
    if (StartsLikeJp2File(cursor)) {
      read = ReadJp2FileSize(cursor, header);
    } else if (StartsLikeCodestream(cursor)) {
      read = ReadCodestreamSize(cursor, 0, header);
    }
    if (read) Require(header.width > 0 && header.height > 0 && header.decodedBytesPerPixel >= 4, "a size read is whole");
  }
  Jp2RowsDecoder decoder(source, nullptr, kFuzzDecodeLimit);
  Jp2Picture picture;
  if (decoder.Decode(picture) != Jp2Outcome::kDecoded) return 0;
  const uint64_t pixelBytes = static_cast<uint64_t>(picture.BitsPerPixel() / 8);
  Require(picture.width > 0 && picture.height > 0 &&
              static_cast<uint64_t>(picture.width) * picture.height * 4 <= kFuzzDecodeLimit,
          "decoded size within the limit");
  const ptrdiff_t pitch = static_cast<ptrdiff_t>((picture.width * pixelBytes + 3) & ~uint64_t{3});
  std::vector<uint8_t> rows(static_cast<size_t>(pitch) * static_cast<size_t>(picture.height));
  // Bottom-up, as the viewer's bitmaps are: every row is written through a negative pitch.
  decoder.WriteRows(rows.data() + rows.size() - static_cast<size_t>(pitch), -pitch);
  (void)decoder.EmbeddedProfile();
  return 0;
}
