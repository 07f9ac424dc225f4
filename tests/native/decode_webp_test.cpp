// WebP's header reader over headers made byte by byte: each kind's size, the profile, what
// contradicts itself, and every prefix agreeing with libwebp. (The rows decoder is checked by the
// window scenario and the fuzzer.)
#include <gtest/gtest.h>
#include <webp/decode.h>

#include <vector>

#include "decode/decode_limit.h"
#include "decode/format_table.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Le(uint64_t value, int bytes, Bytes b = {}) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
  return b;
}
Bytes Chunk(const char* tag, Bytes payload) {
  Bytes b = Le(payload.size(), 4, Bytes(tag, tag + 4));
  if (payload.size() % 2 != 0) payload.push_back(0);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}
Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes body = {'W', 'E', 'B', 'P'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b = Le(body.size(), 4, {'R', 'I', 'F', 'F'});
  b.insert(b.end(), body.begin(), body.end());
  return b;
}
Bytes Vp8l(uint32_t w, uint32_t h, uint32_t version = 0) { return Le((w - 1) | (h - 1) << 14 | version << 29, 4, {0x2F}); }
// Frame bits: bit 0 set for an inter frame, bit 4 for a shown one.
Bytes Vp8(uint32_t w, uint32_t h, uint32_t frameBits = 0x10) { return Le(w | h << 16, 4, Le(frameBits | 0x2A019D000000, 6)); }
Bytes Vp8x(uint32_t flags, uint32_t w, uint32_t h) { return Le(h - 1, 3, Le(w - 1, 3, Le(flags, 4))); }

PictureFacts FactsOf(const Bytes& bytes) {
  MemoryByteSource source(bytes.data(), bytes.size());
  return ReadPictureFacts(source);
}

TEST(WebpHeader, EachKindSizedAndTheProfileTakenOnlyWhenAnnounced) {
  const Bytes profile = {'a', 'c', 's', 'p', 1, 2, 3};
  const struct { const char* what; Bytes file; uint32_t width, height; bool tagged; } cases[] = {
      {"VP8L", Riff({Chunk("VP8L", Vp8l(300, 200))}), 300, 200, false},
      {"VP8 with scaling bits", Riff({Chunk("VP8 ", Vp8(0xC000 | 640, 0x4000 | 480))}), 640, 480, false},
      {"VP8X, ICCP, VP8L", Riff({Chunk("VP8X", Vp8x(0x20, 20, 10)), Chunk("ICCP", profile), Chunk("VP8L", Vp8l(20, 10))}),
       20, 10, true},
      {"ICCP unannounced", Riff({Chunk("VP8X", Vp8x(0, 20, 10)), Chunk("ICCP", profile), Chunk("VP8L", Vp8l(20, 10))}), 20,
       10, false},
      {"animation", Riff({Chunk("VP8X", Vp8x(0x02, 64, 48)), Chunk("ANIM", Bytes(6, 0))}), 64, 48, false},
      {"huge canvas, nothing after", Riff({Chunk("VP8X", Vp8x(0, 60000, 60000))}), 60000, 60000, false},
  };
  for (const auto& c : cases) {
    const PictureFacts facts = FactsOf(c.file);
    ASSERT_EQ(facts.header.format, PictureFormat::kWebp) << c.what << ": expected it sized";
    EXPECT_TRUE(facts.header.width == c.width && facts.header.height == c.height)
        << c.what << ": expected " << c.width << " x " << c.height << ", got " << facts.header.width << " x "
        << facts.header.height;
    EXPECT_EQ(facts.profile, c.tagged ? profile : Bytes{}) << c.what << ": expected " << (c.tagged ? "the" : "no")
                                                           << " profile, got " << facts.profile.size() << " bytes";
    EXPECT_FALSE(facts.orientationFound) << c.what << ": WebP has no orientation";
  }
  EXPECT_FALSE(HeaderFitsDecoder(FactsOf(cases[5].file).header)) << "expected the decode limit to refuse 60000 x 60000";
}

TEST(WebpHeader, ContradictionsLeaveItUnsizedAndEveryPrefixAgreesWithLibwebp) {
  Bytes longChunk = Riff({Chunk("VP8 ", Vp8(64, 64))});
  longChunk[16] = 0xF0;  // the VP8 chunk claims more than its RIFF holds
  const std::pair<const char*, Bytes> bad[] = {
      {"canvas other than the still picture", Riff({Chunk("VP8X", Vp8x(0, 20, 10)), Chunk("VP8L", Vp8l(21, 10))})},
      {"VP8 chunk longer than the RIFF", longChunk},
      {"VP8L of version 1", Riff({Chunk("VP8L", Vp8l(8, 8, 1))})},
      {"VP8 inter frame", Riff({Chunk("VP8 ", Vp8(64, 64, 0x11))})},
      {"VP8 frame not shown", Riff({Chunk("VP8 ", Vp8(64, 64, 0x00))})},
      {"VP8X of 12 bytes", Riff({Chunk("VP8X", Bytes(12, 0))})},
      {"canvas of 2^32 pixels", Riff({Chunk("VP8X", Vp8x(0, 65536, 65536))})},
  };
  for (const auto& [what, file] : bad) {
    const PictureFacts facts = FactsOf(file);
    EXPECT_EQ(facts.format, PictureFormat::kWebp) << what;
    EXPECT_EQ(facts.header.format, PictureFormat::kUnknown) << what << ": expected unsized, got " << facts.header.width;
  }
  // Every prefix, in a buffer of exactly its length: sized exactly when libwebp finds a size, the same.
  const Bytes whole = Riff({Chunk("VP8X", Vp8x(0x30, 77, 33)), Chunk("ICCP", Bytes(9, 7)), Chunk("VP8L", Vp8l(77, 33))});
  for (size_t length = 1; length <= whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
    WebPBitstreamFeatures features;
    const bool libwebp = WebPGetFeatures(cut.data(), cut.size(), &features) == VP8_STATUS_OK;
    const PictureFacts facts = FactsOf(cut);
    EXPECT_EQ(facts.header.format == PictureFormat::kWebp, libwebp) << "cut to " << length << " bytes";
    EXPECT_EQ(facts.header.width, libwebp ? 77u : 0u) << "cut to " << length << " bytes";
  }
}

}  // namespace
