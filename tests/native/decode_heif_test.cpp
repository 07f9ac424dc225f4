// HEIF pictures (the fuzzer's seeds, written by heif-enc: fuzz/corpus/heif/) decoded by libheif
// through the rows decoder into bottom-up rows: upright pixels, the file's rotation applied once,
// straight alpha, a 10-bit picture brought to 8 bits, and the failures that must stay quiet
// (cut files, a size that would not fit, a cancel).
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/heif/heif_linked_api.h"
#include "decode/heif/heif_rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Seed(const char* name) {
  std::ifstream in(std::string(VISTREL_SOURCE_DIR) + "/fuzz/corpus/heif/" + name, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

struct Decoded {
  HeifOutcome header = HeifOutcome::kFailed;
  HeifOutcome outcome = HeifOutcome::kFailed;
  HeifPicture picture;
  Bytes rows;  // bottom-up, like the viewer's bitmaps
  ptrdiff_t pitch = 0;
  // Blue, green, red (and alpha) of the pixel at x, y counted from the top.
  std::vector<int> At(int32_t x, int32_t y) const {
    const int bytes = picture.BitsPerPixel() / 8;
    const uint8_t* p = rows.data() + (rows.size() + static_cast<size_t>(pitch)) + y * pitch + x * bytes;
    return std::vector<int>(p, p + bytes);
  }
};

Decoded Decode(const Bytes& file, const std::atomic<bool>* cancel = nullptr, uint64_t limit = kMaxDecodedBytes,
               int threads = 2, bool deep = false) {
  HeifRowsDecoder decoder(LinkedHeifApi(), file.data(), file.size(), cancel, limit);
  Decoded d;
  d.header = decoder.ReadHeader(d.picture);
  if (d.header != HeifOutcome::kDecoded) return d;
  d.outcome = decoder.Decode(threads, deep);
  if (d.outcome != HeifOutcome::kDecoded) return d;
  d.pitch = -((d.picture.width * d.picture.BitsPerPixel() / 8 + 3) & ~3);
  d.rows.assign(static_cast<size_t>(-d.pitch) * static_cast<size_t>(d.picture.height), 0);
  uint8_t* top = d.rows.data() + d.rows.size() + d.pitch;
  if (!deep) {
    decoder.WriteRows(top, d.pitch, threads);
  } else if (!WriteDeepRowsAsDisplay(decoder.DeepSamples(), 2, {}, {}, top, d.pitch,
                                     d.picture.layout == HeifRowLayout::kBgra32, threads)) {
    d.outcome = HeifOutcome::kFailed;
  }
  return d;
}

// Each colour channel within tolerance (lossless HEVC of YCbCr 4:4:4 rounds by a step or two).
void ExpectNear(const std::vector<int>& got, std::vector<int> expected, int tolerance, const char* what) {
  ASSERT_EQ(got.size(), expected.size()) << what;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_NEAR(got[i], expected[i], tolerance)
        << what << ": channel " << i << ", expected " << expected[i] << ", got " << got[i];
  }
}

// The seeds' quadrants, as blue, green, red: red, green / blue, yellow on a 16 x 12 picture.
void ExpectQuadrants(const Decoded& d, const char* what) {
  ASSERT_EQ(d.outcome, HeifOutcome::kDecoded) << what;
  ASSERT_EQ(d.picture.width, 16) << what;
  ASSERT_EQ(d.picture.height, 12) << what;
  ASSERT_EQ(d.picture.layout, HeifRowLayout::kBgr24) << what;
  ExpectNear(d.At(2, 2), {40, 40, 200}, 3, what);
  ExpectNear(d.At(13, 2), {60, 180, 40}, 3, what);
  ExpectNear(d.At(2, 9), {210, 60, 30}, 3, what);
  ExpectNear(d.At(13, 9), {40, 200, 230}, 3, what);
}

TEST(DecodeHeif, UprightTurnedAlphaAndDeepPictures) {
  const Bytes upright = Seed("upright.heic"), turned = Seed("turned.heic");
  ASSERT_FALSE(upright.empty() || turned.empty()) << "expected the seeds in fuzz/corpus/heif";
  ExpectQuadrants(Decode(upright), "upright");
  ExpectQuadrants(Decode(upright, nullptr, kMaxDecodedBytes, 1), "upright, one thread");
  // 8 bits as 16-bit samples too (the route of an 8-bit picture under PQ or HLG).
  ExpectQuadrants(Decode(upright, nullptr, kMaxDecodedBytes, 2, true), "upright, 16-bit samples");
  // Stored 12 x 16, turned back by its irot property.
  ExpectQuadrants(Decode(turned), "turned by irot");

  const Decoded alpha = Decode(Seed("alpha.heic"));
  ASSERT_EQ(alpha.outcome, HeifOutcome::kDecoded);
  EXPECT_EQ(alpha.picture.layout, HeifRowLayout::kBgra32) << "expected the alpha plane kept";
  // Half-transparent red stays red with alpha 128 (straight, not premultiplied); green is opaque.
  ExpectNear(alpha.At(3, 5), {0, 0, 255, 128}, 2, "half-transparent red");
  ExpectNear(alpha.At(12, 5), {0, 160, 0, 255}, 2, "opaque green");

  // 10 bits: brought to 8 by libheif, and kept as 16-bit samples for the conversion at full depth.
  const Decoded deep = Decode(Seed("deep.heic"));
  ASSERT_EQ(deep.outcome, HeifOutcome::kDecoded);
  EXPECT_EQ(deep.picture.bitDepth, 10);
  ExpectNear(deep.At(8, 6), {40, 40, 200}, 2, "10-bit red at 8 bits");
  const Decoded samples = Decode(Seed("deep.heic"), nullptr, kMaxDecodedBytes, 2, true);
  ASSERT_EQ(samples.outcome, HeifOutcome::kDecoded) << "expected the 16-bit samples";
  ExpectNear(samples.At(8, 6), {40, 40, 200}, 2, "10-bit red through the deep rows");
  const Decoded alphaSamples = Decode(Seed("alpha.heic"), nullptr, kMaxDecodedBytes, 2, true);
  ASSERT_EQ(alphaSamples.outcome, HeifOutcome::kDecoded);
  ExpectNear(alphaSamples.At(3, 5), {0, 0, 255, 128}, 2, "half-transparent red through the deep rows");
}

TEST(DecodeHeif, ColourPlans) {
  const std::vector<uint8_t> icc = {1, 2, 3};
  Cicp p3;
  p3.present = true, p3.primaries = 12, p3.transfer = 13;
  // An ICC profile wins over code points; code points make one; sRGB needs none.
  EXPECT_EQ(PlanHeifColour(icc, p3, 8).profile, icc);
  EXPECT_FALSE(PlanHeifColour({}, p3, 8).profile.empty()) << "expected a profile for Display P3";
  EXPECT_FALSE(PlanHeifColour({}, p3, 8).deep);
  Cicp srgb = p3;
  srgb.primaries = 1;
  EXPECT_TRUE(PlanHeifColour({}, srgb, 8).profile.empty());
  EXPECT_TRUE(PlanHeifColour({}, Cicp{}, 10).deep) << "expected 10 bits converted at full depth";
  Cicp pq = srgb;
  pq.transfer = 16;
  const HeifColourPlan hdr = PlanHeifColour({}, pq, 8);
  EXPECT_TRUE(hdr.deep) << "expected PQ tone-mapped at full depth";
  EXPECT_EQ(hdr.transfer, 16);
}

TEST(DecodeHeif, FailuresStayQuiet) {
  const Bytes upright = Seed("upright.heic");
  ASSERT_FALSE(upright.empty());
  // Every cut of the file fails, whether before or after the boxes are whole.
  for (size_t length : {size_t{0}, size_t{11}, size_t{100}, upright.size() / 2, upright.size() - 10}) {
    const Bytes cut(upright.begin(), upright.begin() + static_cast<ptrdiff_t>(length));
    const Decoded d = Decode(cut);
    EXPECT_TRUE(d.header == HeifOutcome::kFailed || d.outcome == HeifOutcome::kFailed)
        << "expected a file cut at " << length << " bytes to fail";
  }

  // The size is judged from the boxes, before any pixel exists: 16 x 12 at 4 bytes is 768 bytes.
  EXPECT_EQ(Decode(upright, nullptr, 767).header, HeifOutcome::kFailed) << "expected the limit to refuse it";
  EXPECT_EQ(Decode(upright, nullptr, 768).outcome, HeifOutcome::kDecoded) << "expected the limit to admit it";
  EXPECT_EQ(Decode(upright, nullptr, 768, 2, true).outcome, HeifOutcome::kFailed) << "expected 16-bit samples refused";
  // ispe boxes of 30000 x 30000 (3.6 GB as 4-byte pixels; heif-enc wrote the seed as a grid of one
  // tile, each with its own) are refused from the header.
  Bytes huge = upright;
  const std::string text(huge.begin(), huge.end());
  size_t patched = 0;
  for (size_t ispe = text.find("ispe"); ispe != std::string::npos; ispe = text.find("ispe", ispe + 4), ++patched) {
    for (size_t i : {ispe + 8, ispe + 12}) {
      huge[i] = 0, huge[i + 1] = 0, huge[i + 2] = 0x75, huge[i + 3] = 0x30;
    }
  }
  ASSERT_GT(patched, 0u);
  EXPECT_EQ(Decode(huge).header, HeifOutcome::kFailed) << "expected the huge ispe refused before decoding";

  std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(upright, &cancel).header, HeifOutcome::kCancelled);

  // The fuzzer's findings: a grid whose tiles' alpha leads back to the grid overflowed libheif's
  // stack; each is now refused before libheif decodes.
  size_t replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(VISTREL_SOURCE_DIR) + "/fuzz/regressions/heif")) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Decoded d = Decode(Bytes(std::istreambuf_iterator<char>(in), {}));
    EXPECT_TRUE(d.header == HeifOutcome::kFailed || d.outcome == HeifOutcome::kFailed) << entry.path();
    ++replayed;
  }
  EXPECT_GT(replayed, 0u) << "expected the findings in fuzz/regressions/heif";
}

}  // namespace
