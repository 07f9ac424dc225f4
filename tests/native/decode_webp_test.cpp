// WebP: our header reader over headers made byte by byte (each kind's size, the profile, what
// contradicts itself or is cut, agreeing with libwebp on every prefix), and the rows decoder over
// files cwebp makes at test time from pictures made here: lossless pixels exact through a
// bottom-up pitch, lossy ones close, alpha, any chunking, cancel, cut files and the limit.
#include <gtest/gtest.h>
#include <unistd.h>
#include <webp/decode.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "decode/format_table.h"
#include "decode/webp/webp_format.h"
#include "decode/webp/webp_rows.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Le(Bytes& b, uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) b.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
Bytes Chunk(const char* tag, const Bytes& payload) {
  Bytes b(tag, tag + 4);
  Le(b, payload.size(), 4);
  b.insert(b.end(), payload.begin(), payload.end());
  if (payload.size() % 2 != 0) b.push_back(0);
  return b;
}
Bytes Riff(const std::vector<Bytes>& chunks) {
  Bytes body = {'W', 'E', 'B', 'P'};
  for (const Bytes& c : chunks) body.insert(body.end(), c.begin(), c.end());
  Bytes b = {'R', 'I', 'F', 'F'};
  Le(b, body.size(), 4);
  b.insert(b.end(), body.begin(), body.end());
  return b;
}
Bytes Vp8l(uint32_t w, uint32_t h, bool alpha, uint32_t version = 0) {
  Bytes b = {0x2F};
  Le(b, (w - 1) | (h - 1) << 14 | uint32_t{alpha} << 28 | version << 29, 4);
  return b;
}
// frame bits: bit 0 set for an inter frame, bit 4 for a shown one.
Bytes Vp8(uint32_t w, uint32_t h, uint32_t frameBits = 0x10) {
  Bytes b;
  Le(b, frameBits, 3);
  b.insert(b.end(), {0x9D, 0x01, 0x2A});
  Le(b, w, 2);
  Le(b, h, 2);
  return b;
}
Bytes Vp8x(uint32_t flags, uint32_t w, uint32_t h) {
  Bytes b;
  Le(b, flags, 4);
  Le(b, w - 1, 3);
  Le(b, h - 1, 3);
  return b;
}

PictureFacts FactsOf(const Bytes& bytes) {
  MemoryByteSource source(bytes.data(), bytes.size());
  return ReadPictureFacts(source);
}

TEST(WebpHeader, EachKindSizedAndTheProfileTakenOnlyWhenAnnounced) {
  const Bytes profile = {'a', 'c', 's', 'p', 1, 2, 3};
  struct Case {
    const char* what;
    Bytes file;
    uint32_t width, height;
    size_t profileBytes;
  } cases[] = {
      {"VP8L", Riff({Chunk("VP8L", Vp8l(300, 200, true))}), 300, 200, 0},
      {"VP8 with scaling bits", Riff({Chunk("VP8 ", Vp8(0xC000 | 640, 0x4000 | 480))}), 640, 480, 0},
      {"VP8X, ICCP, VP8L", Riff({Chunk("VP8X", Vp8x(0x20, 20, 10)), Chunk("ICCP", profile), Chunk("VP8L", Vp8l(20, 10, 0))}),
       20, 10, profile.size()},
      {"ICCP without the flag", Riff({Chunk("VP8X", Vp8x(0, 20, 10)), Chunk("ICCP", profile), Chunk("VP8L", Vp8l(20, 10, 0))}),
       20, 10, 0},
      {"huge canvas, nothing after", Riff({Chunk("VP8X", Vp8x(0, 60000, 60000))}), 60000, 60000, 0},
  };
  for (const Case& c : cases) {
    const PictureFacts facts = FactsOf(c.file);
    ASSERT_EQ(facts.header.format, PictureFormat::kWebp) << c.what << ": expected it sized";
    EXPECT_EQ(facts.header.width, c.width) << c.what << ": expected width " << c.width << ", got " << facts.header.width;
    EXPECT_EQ(facts.header.height, c.height) << c.what;
    EXPECT_EQ(facts.profile.size(), c.profileBytes) << c.what << ": expected a profile of " << c.profileBytes;
    EXPECT_FALSE(facts.orientationFound) << c.what << ": WebP has no orientation";
  }
  EXPECT_FALSE(HeaderFitsDecoder(FactsOf(cases[4].file).header)) << "expected the decode limit to refuse 60000 x 60000";
}

TEST(WebpHeader, ContradictionsLeaveItUnsizedAndEveryPrefixAgreesWithLibwebp) {
  Bytes longChunk = Riff({Chunk("VP8 ", Vp8(64, 64))});
  longChunk[16] = 0xF0;  // the VP8 chunk claims more than its RIFF holds
  const std::pair<const char*, Bytes> bad[] = {
      {"canvas other than the still picture", Riff({Chunk("VP8X", Vp8x(0, 20, 10)), Chunk("VP8L", Vp8l(21, 10, 0))})},
      {"VP8 chunk longer than the RIFF", longChunk},
      {"VP8L of version 1", Riff({Chunk("VP8L", Vp8l(8, 8, 0, 1))})},
      {"VP8 inter frame", Riff({Chunk("VP8 ", Vp8(64, 64, 0x11))})},
      {"VP8 frame not shown", Riff({Chunk("VP8 ", Vp8(64, 64, 0x00))})},
      {"VP8X of 12 bytes", Riff({Chunk("VP8X", Bytes(12, 0))})},
      {"canvas of 2^32 pixels", Riff({Chunk("VP8X", Vp8x(0, 65536, 65536))})},
  };
  for (const auto& [what, file] : bad) {
    const PictureFacts facts = FactsOf(file);
    EXPECT_EQ(facts.format, PictureFormat::kWebp) << what;
    EXPECT_EQ(facts.header.format, PictureFormat::kUnknown) << what << ": expected unsized, got " << facts.header.width
                                                            << " x " << facts.header.height;
  }
  // Every prefix, in a buffer of exactly its length: sized exactly when libwebp finds a size, and
  // the same one.
  const Bytes whole = Riff({Chunk("VP8X", Vp8x(0x30, 77, 33)), Chunk("ICCP", Bytes(9, 7)), Chunk("VP8L", Vp8l(77, 33, true))});
  for (size_t length = 1; length <= whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<ptrdiff_t>(length));
    WebPBitstreamFeatures features;
    const bool libwebp = WebPGetFeatures(cut.data(), cut.size(), &features) == VP8_STATUS_OK;
    const PictureFacts facts = FactsOf(cut);
    EXPECT_EQ(facts.header.format == PictureFormat::kWebp, libwebp) << "cut to " << length << " bytes";
    if (libwebp) {
      EXPECT_EQ(facts.header.width, static_cast<uint32_t>(features.width)) << "cut to " << length;
    }
  }
}

// Pictures written as PAM and encoded by cwebp in a scratch folder.
class WebpFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v cwebp >/dev/null 2>&1") != 0) GTEST_SKIP() << "cwebp (Debian's webp) is not installed";
    char folder[] = "/tmp/vistrel-webp-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    folder_ = folder;
  }
  void TearDown() override {
    if (!folder_.empty()) std::system(("rm -rf " + folder_).c_str());
  }
  // pixel(x, y) is 0xAARRGGBB; alpha is written only when asked for.
  Bytes Encode(int32_t w, int32_t h, bool alpha, const std::string& options,
               const std::function<uint32_t(int32_t, int32_t)>& pixel) {
    std::ofstream pam(folder_ + "/in.pam", std::ios::binary);
    pam << "P7\nWIDTH " << w << "\nHEIGHT " << h << "\nDEPTH " << (alpha ? 4 : 3)
        << "\nMAXVAL 255\nTUPLTYPE " << (alpha ? "RGB_ALPHA" : "RGB") << "\nENDHDR\n";
    for (int32_t y = 0; y < h; ++y)
      for (int32_t x = 0; x < w; ++x)
        for (int shift : {16, 8, 0, 24})
          if (shift != 24 || alpha) pam.put(static_cast<char>(pixel(x, y) >> shift));
    pam.close();
    const std::string command = "cwebp -quiet " + options + " " + folder_ + "/in.pam -o " + folder_ + "/out.webp";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(folder_ + "/out.webp", std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  std::string folder_;
};

struct Rows {
  WebpRowsOutcome outcome = WebpRowsOutcome::kFailed;
  WebpRowsHeader header;
  Bytes bytes;  // bottom-up, like the viewer's bitmaps
  ptrdiff_t pitch = 0;
  uint32_t Pixel(int32_t x, int32_t y) const {  // 0xAARRGGBB; alpha 0xFF without an alpha channel
    const int n = header.BitsPerPixel() / 8;
    const uint8_t* p = bytes.data() + (bytes.size() + static_cast<size_t>(pitch)) + y * pitch + x * n;
    return (n == 4 ? uint32_t{p[3]} << 24 : 0xFF000000u) | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
  }
};

Rows Decode(const Bytes& file, const std::atomic<bool>* cancel = nullptr, size_t chunk = 0) {
  WebpRowsDecoder decoder(file.data(), file.size());
  Rows r;
  if (!decoder.ReadHeader(r.header)) return r;
  r.pitch = -((r.header.width * r.header.BitsPerPixel() / 8 + 3) & ~3);
  r.bytes.assign(static_cast<size_t>(-r.pitch) * static_cast<size_t>(r.header.height), 0);
  r.outcome = decoder.DecodeRows(r.bytes.data() + r.bytes.size() + r.pitch, r.pitch, cancel, chunk);
  return r;
}

uint32_t Varied(int32_t x, int32_t y) {
  return static_cast<uint32_t>((x * 37 + y * 11) % 256) << 24 | static_cast<uint32_t>(x * 7 % 256) << 16 |
         static_cast<uint32_t>(y * 5 % 256) << 8 | static_cast<uint32_t>((x + y) % 256);
}
// Four flat quarters: the lossy decode's colours are checked in their middles, which also shows
// the picture upright.
uint32_t Quarters(int32_t x, int32_t y, int32_t w, int32_t h) {
  static const uint32_t kColours[4] = {0xFFC81E1Eu, 0x8028B43Cu, 0xFF1E3CD2u, 0x00E6C828u};
  return kColours[(y < h / 2 ? 0 : 2) + (x < w / 2 ? 0 : 1)];
}

TEST_F(WebpFiles, LosslessExactLossyCloseAndAnyChunkingTheSame) {
  for (const bool alpha : {false, true}) {
    const Bytes file = Encode(61, 37, alpha, "-lossless -exact", Varied);
    const Rows r = Decode(file);
    ASSERT_EQ(r.outcome, WebpRowsOutcome::kDecoded) << "expected the lossless file to decode, alpha " << alpha;
    ASSERT_EQ(r.header.BitsPerPixel(), alpha ? 32 : 24);
    for (int32_t y = 0; y < 37; ++y)
      for (int32_t x = 0; x < 61; ++x) {
        const uint32_t want = alpha ? Varied(x, y) : (Varied(x, y) | 0xFF000000u);
        ASSERT_EQ(r.Pixel(x, y), want) << "at " << x << "," << y << ": expected " << std::hex << want << ", got "
                                       << r.Pixel(x, y);
      }
    EXPECT_EQ(Decode(file, nullptr, 7).bytes, r.bytes) << "expected the same rows fed 7 bytes at a time";
  }
  // Lossy, wide enough for libwebp's filter thread; with alpha the file is VP8X + ALPH + VP8.
  for (const bool alpha : {false, true}) {
    const int32_t w = 640, h = 480;
    const Bytes file = Encode(w, h, alpha, "-q 95", [&](int32_t x, int32_t y) { return Quarters(x, y, w, h); });
    const Rows r = Decode(file);
    ASSERT_EQ(r.outcome, WebpRowsOutcome::kDecoded) << "expected the lossy file to decode, alpha " << alpha;
    ASSERT_EQ(r.header.HasAlpha(), alpha);
    for (const auto& [x, y] : {std::pair{w / 4, h / 4}, {3 * w / 4, h / 4}, {w / 4, 3 * h / 4}, {3 * w / 4, 3 * h / 4}}) {
      const uint32_t want = Quarters(x, y, w, h), got = r.Pixel(x, y);
      EXPECT_EQ(got >> 24, alpha ? want >> 24 : 0xFFu) << "alpha at " << x << "," << y;
      if ((got >> 24) == 0) continue;  // invisible: its colour is the encoder's to choose
      for (int shift : {16, 8, 0})
        EXPECT_NEAR(static_cast<int>(got >> shift & 0xFF), static_cast<int>(want >> shift & 0xFF), 4)
            << "at " << x << "," << y << ": expected " << std::hex << want << ", got " << got;
    }
    EXPECT_EQ(Decode(file, nullptr, 4096).bytes, r.bytes) << "expected the same rows fed 4 KiB at a time";
  }
}

TEST_F(WebpFiles, CutCancelledAnimatedAndTooLargeFailQuietly) {
  const Bytes file = Encode(200, 120, false, "-q 80", [](int32_t x, int32_t y) { return Varied(x, y); });
  const Bytes cut(file.begin(), file.begin() + static_cast<ptrdiff_t>(file.size() / 2));
  const Rows cutRows = Decode(cut);
  EXPECT_EQ(cutRows.header.width, 200) << "expected the cut file's header read";
  EXPECT_EQ(cutRows.outcome, WebpRowsOutcome::kFailed) << "expected the cut file to fail";
  const std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(file, &cancel).outcome, WebpRowsOutcome::kCancelled);

  WebpRowsHeader header;
  WebpRowsDecoder tight(file.data(), file.size(), uint64_t{200} * 120 * 4 - 1);
  EXPECT_FALSE(tight.ReadHeader(header)) << "expected a picture one byte over the limit refused";
  WebpRowsDecoder fits(file.data(), file.size(), uint64_t{200} * 120 * 4);
  EXPECT_TRUE(fits.ReadHeader(header));
  const Bytes animated = Riff({Chunk("VP8X", Vp8x(0x02, 64, 64)), Chunk("ANIM", Bytes(6, 0))});
  WebpRowsDecoder animation(animated.data(), animated.size());
  EXPECT_FALSE(animation.ReadHeader(header)) << "expected an animation left to the demuxer";
  EXPECT_EQ(FactsOf(animated).header.width, 64u) << "expected the animation's canvas sized";
}

}  // namespace
