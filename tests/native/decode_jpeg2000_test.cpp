// JPEG 2000 pictures made by openjpeg's encoder (lossless), read back by the header reader and
// decoded into bitmap rows: exact samples in every layout, and the failures that must stay quiet.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "decode/jpeg2000/jp2_rows.h"
#include "decode/jpeg2000/jpeg2000_format.h"
#include "support/test_jpeg2000.h"

namespace {

uint32_t Sample(int32_t x, int32_t y, int32_t c) { return static_cast<uint32_t>((x * 7 + y * 13 + c * 91) % 256); }

struct Decoded {
  Jp2Outcome outcome = Jp2Outcome::kFailed;
  Jp2Picture picture;
  std::vector<uint8_t> rows;  // bottom-up, like the viewer's bitmaps
  int32_t pitch = 0;
  const uint8_t* Pixel(int32_t x, int32_t y) const {
    return rows.data() + (rows.size() - static_cast<size_t>(-pitch)) + static_cast<ptrdiff_t>(y) * pitch +
           x * (picture.BitsPerPixel() / 8);
  }
};

Decoded Decode(const std::vector<uint8_t>& file, const std::atomic<bool>* cancel = nullptr,
               uint64_t limit = kMaxDecodedBytes) {
  MemoryByteSource source(file.data(), file.size());
  Jp2RowsDecoder decoder(source, cancel, limit);
  Decoded d;
  d.outcome = decoder.Decode(d.picture, 2);
  if (d.outcome != Jp2Outcome::kDecoded) return d;
  d.pitch = -((d.picture.width * d.picture.BitsPerPixel() / 8 + 3) & ~3);
  d.rows.assign(static_cast<size_t>(-d.pitch) * d.picture.height, 0);
  decoder.WriteRows(d.rows.data() + d.rows.size() + d.pitch, d.pitch);
  return d;
}

PictureHeader Header(const std::vector<uint8_t>& file) {
  MemoryByteSource source(file.data(), file.size());
  ByteCursor cursor(source);
  PictureHeader header;
  if (StartsLikeJp2File(cursor)) {
    if (!ReadJp2FileSize(cursor, header)) return PictureHeader{};
  } else if (!StartsLikeCodestream(cursor) || !ReadCodestreamSize(cursor, 0, header)) {
    return PictureHeader{};
  }
  return header;
}

TEST(DecodeJpeg2000, EveryLayoutExactAndFailuresQuiet) {
  struct Case {
    Jpeg2000Options options;
    int32_t pixelBytes;
  };
  const Case cases[] = {
      {{61, 37, 3, 8, 0, Jpeg2000Container::kJp2File}, 3},     // RGB
      {{61, 37, 4, 8, 32, Jpeg2000Container::kCodestream}, 4}, // RGBA in 4 tiles
      {{40, 9, 2, 8, 0, Jpeg2000Container::kJp2File}, 4},      // grey + alpha
      {{33, 20, 1, 12, 0, Jpeg2000Container::kCodestream}, 3}, // 12-bit grey
  };
  for (const Case& c : cases) {
    const Jpeg2000Options& o = c.options;
    const uint32_t top = (1u << o.precision) - 1;
    const auto sample = [&](int32_t x, int32_t y, int32_t k) { return Sample(x, y, k) * top / 255; };
    const std::vector<uint8_t> file = EncodeJpeg2000(o, sample);
    ASSERT_FALSE(file.empty()) << "the encoder made nothing for " << o.components << " components";

    const PictureHeader header = Header(file);
    EXPECT_EQ(header.width, static_cast<uint32_t>(o.width)) << "expected the header's width " << o.width;
    EXPECT_EQ(header.height, static_cast<uint32_t>(o.height));
    EXPECT_EQ(header.decodedBytesPerPixel, static_cast<uint32_t>(4 * o.components));

    const Decoded d = Decode(file);
    ASSERT_EQ(d.outcome, Jp2Outcome::kDecoded) << "expected a decode of " << o.components << " components";
    ASSERT_EQ(d.picture.width, o.width);
    ASSERT_EQ(d.picture.height, o.height);
    ASSERT_EQ(d.picture.BitsPerPixel(), c.pixelBytes * 8);
    int wrong = 0;
    for (int32_t y = 0; y < o.height; ++y) {
      for (int32_t x = 0; x < o.width; ++x) {
        const uint8_t* p = d.Pixel(x, y);
        // Samples brought back to 8 bits by dropping the low bits.
        const auto level = [&](int32_t k) { return static_cast<int>(sample(x, y, k) >> (o.precision - 8)); };
        const bool colour = o.components >= 3;
        const int want[4] = {level(colour ? 2 : 0), level(colour ? 1 : 0), level(0),
                             c.pixelBytes == 4 ? level(o.components - 1) : 0};
        for (int k = 0; k < c.pixelBytes; ++k) {
          if (p[k] != want[k] && wrong++ < 3)
            ADD_FAILURE() << o.components << " components, (" << x << ", " << y << ") byte " << k << ": expected "
                          << want[k] << ", got " << int(p[k]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  const std::vector<uint8_t> rgb = EncodeJpeg2000(cases[0].options, Sample);
  // Past the limit (61 x 37 x 3 components x 4 bytes = 27084), refused before any sample is held.
  EXPECT_EQ(Decode(rgb, nullptr, 27083).outcome, Jp2Outcome::kFailed) << "expected a refusal under the limit";
  EXPECT_EQ(Decode(rgb, nullptr, 27084 + 61 * 37 * 4).outcome, Jp2Outcome::kDecoded);
  std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(rgb, &cancel).outcome, Jp2Outcome::kCancelled) << "expected the set flag to stop the decode";
  // Cut inside the main header, and not JPEG 2000 at all.
  EXPECT_EQ(Decode(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 60)).outcome, Jp2Outcome::kFailed);
  EXPECT_EQ(Decode(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xE0}).outcome, Jp2Outcome::kFailed);
  EXPECT_EQ(Header(std::vector<uint8_t>(rgb.begin(), rgb.begin() + 40)).width, 0u)
      << "expected no size from a JP2 cut before its image header";
}

}  // namespace
