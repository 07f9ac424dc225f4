// AVIF pictures made at test time by avifenc (Debian's libavif-bin) from pictures made here, decoded
// by our container reader and dav1d into bitmap rows, and compared with libavif's own decode
// (avifdec, bilinear chroma upsampling) of the same file: every depth and subsampling, alpha
// (straight and premultiplied), grids, limited range, the picture's own irot/imir (which avifdec
// leaves unapplied, so its pixels are turned here), and the failures that must stay quiet. Skips,
// saying so, without avifenc, avifdec or ImageMagick's convert.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "decode/avif/avif_rows.h"
#include "decode/format_table.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool HaveTools() {
  return Shell("command -v avifenc") && Shell("command -v avifdec") && Shell("command -v convert");
}

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

class AvifFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveTools()) GTEST_SKIP() << "avifenc, avifdec or convert is missing: no AVIF files can be made";
    dir_ = fs::temp_directory_path() / ("vistrel-avif-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    if (!dir_.empty()) fs::remove_all(dir_, ignored);
  }

  // A 16-bit RGBA PNG of pixel(x, y, channel) (0..65535), through a PAM file and convert.
  fs::path Png(const std::string& name, int32_t w, int32_t h,
               const std::function<uint32_t(int32_t, int32_t, int)>& pixel) {
    const fs::path pam = dir_ / (name + ".pam"), png = dir_ / (name + ".png");
    std::ofstream out(pam, std::ios::binary);
    out << "P7\nWIDTH " << w << "\nHEIGHT " << h << "\nDEPTH 4\nMAXVAL 65535\nTUPLTYPE RGB_ALPHA\nENDHDR\n";
    for (int32_t y = 0; y < h; ++y) {
      for (int32_t x = 0; x < w; ++x) {
        for (int c = 0; c < 4; ++c) {
          const uint32_t v = pixel(x, y, c);
          out.put(static_cast<char>(v >> 8)).put(static_cast<char>(v & 255));
        }
      }
    }
    out.close();
    EXPECT_TRUE(Shell("convert " + pam.string() + " " + png.string())) << "convert made no PNG";
    return png;
  }

  fs::path Encode(const fs::path& png, const std::string& name, const std::string& options) {
    const fs::path avif = dir_ / (name + ".avif");
    EXPECT_TRUE(Shell("avifenc -s 9 -j 1 " + options + " " + png.string() + " " + avif.string()))
        << "avifenc " << options << " failed";
    return avif;
  }

  // libavif's decode as 16-bit RGBA samples scaled to 0..65535 (its colour management off).
  std::vector<uint16_t> Reference(const fs::path& avif, int32_t pixels) {
    const fs::path png = dir_ / (avif.stem().string() + "-ref.png"), raw = dir_ / (avif.stem().string() + ".rgba");
    EXPECT_TRUE(Shell("avifdec -u bilinear -d 16 " + avif.string() + " " + png.string())) << "avifdec failed";
    EXPECT_TRUE(Shell("convert " + png.string() + " -alpha on -depth 16 -endian MSB rgba:" + raw.string()));
    const Bytes bytes = ReadAll(raw);
    std::vector<uint16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<uint16_t>(bytes[2 * i] << 8 | bytes[2 * i + 1]);
    EXPECT_EQ(samples.size(), static_cast<size_t>(pixels) * 4) << "avifdec gave another size";
    return samples;
  }

  fs::path dir_;
};

// A picture with edges, gradients and colours in every channel, at 16 bits.
uint32_t Pattern(int32_t x, int32_t y, int c) {
  const uint32_t v[3] = {static_cast<uint32_t>(x * 997 + y * 131), static_cast<uint32_t>((x ^ y) * 613),
                         static_cast<uint32_t>(((x / 8 + y / 8) % 2) * 40000 + y * 300)};
  return c < 3 ? v[c] % 65536 : 65535;
}

uint32_t PatternWithAlpha(int32_t x, int32_t y, int c) {
  return c < 3 ? Pattern(x, y, c) : static_cast<uint32_t>((x * 4099 + y * 2053) % 65536);
}

struct Decoded {
  AvifOutcome outcome = AvifOutcome::kFailed;
  AvifPicture picture;
  Bytes rows;         // 8-bit, bottom-up like the viewer's bitmaps
  ptrdiff_t pitch = 0;
  std::vector<uint16_t> deep;  // 16-bit RGB(A), top-down
  int channels = 3;
  // 8-bit channel c (0 red .. 3 alpha) of the shown pixel (x, y).
  int At(int32_t x, int32_t y, int c) const {
    const uint8_t* p = rows.data() + rows.size() - static_cast<size_t>(-pitch) + y * pitch + x * channels;
    return c == 3 ? p[3] : p[2 - c];
  }
  int DeepAt(int32_t x, int32_t y, int c) const { return deep[(static_cast<size_t>(y) * picture.width + x) * channels + c]; }
};

Decoded Decode(const Bytes& file, const std::atomic<bool>* cancel = nullptr, uint64_t limit = kMaxDecodedBytes) {
  AvifRowsDecoder decoder(file.data(), file.size(), cancel, limit);
  Decoded d;
  d.outcome = decoder.Decode(d.picture, 2);
  if (d.outcome != AvifOutcome::kDecoded) return d;
  d.channels = d.picture.hasAlpha ? 4 : 3;
  d.pitch = -((d.picture.width * d.channels + 3) & ~3);
  d.rows.assign(static_cast<size_t>(-d.pitch) * d.picture.height, 0);
  EXPECT_TRUE(decoder.WriteRows(d.rows.data() + d.rows.size() + d.pitch, d.pitch, 2));
  d.deep.assign(static_cast<size_t>(d.picture.width) * d.picture.height * d.channels, 0);
  EXPECT_TRUE(decoder.WriteDeepRows(d.deep.data(), d.picture.width * d.channels * 2, 2));
  return d;
}

// Where pixel (x, y) of a w x h picture lands, by the transform's own words: mirrored left to
// right, then turned a quarter anticlockwise (the right edge on top) quarterTurns times.
void Land(const OwnTransform& turn, int32_t w, int32_t h, int32_t x, int32_t y, int32_t& outX, int32_t& outY) {
  if (turn.flipLeftRight) x = w - 1 - x;
  for (int i = 0; i < turn.quarterTurns; ++i) {
    const int32_t nx = y, ny = w - 1 - x;
    x = nx, y = ny;
    std::swap(w, h);
  }
  outX = x, outY = y;
}

struct Case {
  std::string name;
  std::string options;
  int32_t width, height;
  int depth;
  bool alpha;
  OwnTransform turn;  // what the options' irot/imir make of the picture
};

// Each file decodes to libavif's pixels, within one step of 8 bits (its arithmetic is float too,
// ours rounds once), and at the file's depth within one step of that depth.
TEST_F(AvifFiles, EveryDepthSubsamplingAlphaGridAndTurnMatchesLibavif) {
  const Case cases[] = {
      {"yuv420", "-d 8 -y 420 --min 10 --max 30", 67, 45, 8, false, {}},
      {"yuv422-limited", "-d 8 -y 422 -r l --min 10 --max 30", 40, 33, 8, false, {}},
      {"yuv444-alpha", "-d 8 -y 444 --min 10 --max 30", 31, 29, 8, true, {}},
      {"premultiplied", "-d 8 -y 420 -p --min 5 --max 20", 32, 20, 8, true, {}},
      {"deep10", "-d 10 -y 420 --min 10 --max 30", 50, 38, 10, false, {}},
      {"deep12-alpha", "-d 12 -y 444 --min 10 --max 30", 24, 26, 12, true, {}},
      {"grey", "-d 8 -y 400 --min 10 --max 30", 35, 21, 8, false, {}},
      {"grid", "-d 8 -y 420 -g 2x2 --min 20 --max 40", 192, 128, 8, false, {}},
      {"bt709", "-d 8 -y 420 --cicp 1/13/1 --min 10 --max 30", 40, 30, 8, false, {}},
      {"turned", "-d 8 -y 420 --irot 1 --imir 0 --min 10 --max 30", 45, 30, 8, false, {true, 1}},
      {"mirrored", "-d 8 -y 444 --imir 1 --min 10 --max 30", 25, 18, 8, true, {true, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path avif = Encode(Png(c.name, c.width, c.height, c.alpha ? PatternWithAlpha : Pattern), c.name, c.options);
    const Bytes file = ReadAll(avif);
    const Decoded d = Decode(file);
    ASSERT_EQ(d.outcome, AvifOutcome::kDecoded) << "expected " << c.name << " decoded";
    const int32_t w = c.turn.quarterTurns % 2 != 0 ? c.height : c.width;
    const int32_t h = c.turn.quarterTurns % 2 != 0 ? c.width : c.height;
    ASSERT_EQ(d.picture.width, w) << "expected the turned width " << w << ", got " << d.picture.width;
    ASSERT_EQ(d.picture.height, h);
    EXPECT_EQ(d.picture.bitDepth, c.depth) << "expected depth " << c.depth << ", got " << d.picture.bitDepth;
    EXPECT_EQ(d.picture.hasAlpha, c.alpha);
    const std::vector<uint16_t> ref = Reference(avif, c.width * c.height);
    ASSERT_EQ(ref.size(), static_cast<size_t>(c.width) * c.height * 4);
    const int depthMax = (1 << c.depth) - 1;
    int worst = 0, worstDeep = 0, failures = 0;
    for (int32_t y = 0; y < c.height; ++y) {
      for (int32_t x = 0; x < c.width; ++x) {
        // libavif leaves irot/imir to its caller: where this pixel lands once turned.
        int32_t tx = 0, ty = 0;
        Land(c.turn, c.width, c.height, x, y, tx, ty);
        for (int ch = 0; ch < (c.alpha ? 4 : 3); ++ch) {
          const int expected16 = ref[(static_cast<size_t>(y) * c.width + x) * 4 + ch];
          const int expected8 = (expected16 * 255 + 32767) / 65535;
          const int expectedDeep = (expected16 * depthMax + 32767) / 65535;
          const int got = d.At(tx, ty, ch), gotDeep = d.DeepAt(tx, ty, ch);
          worst = std::max(worst, std::abs(got - expected8));
          worstDeep = std::max(worstDeep, std::abs(gotDeep - expectedDeep));
          if ((std::abs(got - expected8) > 1 || std::abs(gotDeep - expectedDeep) > 1) && ++failures <= 3) {
            ADD_FAILURE() << c.name << " at (" << x << ", " << y << ") channel " << ch << ": expected " << expected8
                          << " (deep " << expectedDeep << "), got " << got << " (deep " << gotDeep << ")";
          }
        }
      }
    }
    EXPECT_LE(worst, 1) << c.name << ": 8-bit difference from libavif";
    EXPECT_LE(worstDeep, 1) << c.name << ": deep difference from libavif";
  }
}

// A file cut anywhere fails quietly; a picture the limit refuses never reaches dav1d's frame
// allocation; a raised cancel flag ends the decode; bytes of another format are refused.
TEST_F(AvifFiles, CutFilesLimitAndCancelFailQuietly) {
  const fs::path avif = Encode(Png("whole", 64, 48, PatternWithAlpha), "whole", "-d 8 -y 420 --min 10 --max 30");
  const Bytes file = ReadAll(avif);
  ASSERT_EQ(Decode(file).outcome, AvifOutcome::kDecoded);
  for (size_t length = 0; length < file.size(); length += 7) {
    const Bytes cut(file.begin(), file.begin() + static_cast<long>(length));
    EXPECT_EQ(Decode(cut).outcome, AvifOutcome::kFailed) << "expected a file cut to " << length << " of "
                                                         << file.size() << " bytes to fail";
  }
  EXPECT_EQ(Decode(file, nullptr, 64 * 48 * 4 - 1).outcome, AvifOutcome::kFailed)
      << "expected a picture one byte over the limit refused";
  EXPECT_EQ(Decode(file, nullptr, 64 * 48 * 4).outcome, AvifOutcome::kDecoded) << "expected one at the limit decoded";
  std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(file, &cancel).outcome, AvifOutcome::kCancelled);
  const Bytes notAvif = ReadAll(dir_ / "whole.png");
  EXPECT_EQ(Decode(notAvif).outcome, AvifOutcome::kFailed);
}

}  // namespace
