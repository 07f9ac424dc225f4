// JPEG XL: the size reader against libjxl's reading of the same headers in every form, cut at every
// byte; pictures cjxl (libjxl-tools) makes from exact numbers decoded into rows: exact in every
// orientation, 16-bit and PQ samples converted, and the failures that must stay quiet.
#include <gtest/gtest.h>
#include <jxl/decode_cxx.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/cicp_colour.h"
#include "decode/format_table.h"
#include "decode/jxl/jxl_format.h"
#include "decode/jxl/jxl_rows.h"
#include "support/raw_pictures.h"
#include "support/test_jxl.h"

namespace {

using Bytes = std::vector<uint8_t>;

PictureHeader FactsHeader(const Bytes& file) {
  MemoryByteSource source(file.data(), file.size());
  return ReadPictureFacts(source).header;
}

// libjxl's basic info for the same bytes (orientation applied); 0 x 0 when it gives none.
std::pair<uint32_t, uint32_t> LibjxlSize(const Bytes& file) {
  const JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
  JxlBasicInfo info = {};
  JxlDecoderSubscribeEvents(decoder.get(), JXL_DEC_BASIC_INFO);
  JxlDecoderSetInput(decoder.get(), file.data(), file.size());
  JxlDecoderCloseInput(decoder.get());
  if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO) return {0, 0};
  return JxlDecoderGetBasicInfo(decoder.get(), &info) == JXL_DEC_SUCCESS ? std::make_pair(info.xsize, info.ysize)
                                                                        : std::make_pair(0u, 0u);
}

TEST(JxlSizeHeader, ReadsEveryFormOfTheSizeAsLibjxlDoesAndNeverMoreFromACutFile) {
  // Short forms, each fixed ratio, each width of the long form, and the largest.
  const uint32_t sizes[][2] = {{8, 8},       {256, 248},  {264, 8},     {1, 1},      {512, 512},
                               {1920, 1080}, {1200, 1000}, {4000, 3000}, {3000, 2000}, {1250, 1000},
                               {2000, 1000}, {513, 8193}, {262145, 3},  {7, 300000000}, {1u << 30, 1u << 30}};
  for (const auto& size : sizes) {
    for (uint32_t orientation = 1; orientation <= 8; ++orientation) {
      for (bool canonical : {true, false}) {  // short forms where allowed, or always the long one
        const Bytes bare = MakeJxlCodestreamHeader({size[0], size[1], orientation, canonical, canonical});
        const auto libjxl = LibjxlSize(bare);
        ASSERT_NE(libjxl.first, 0u) << "libjxl must read the header made for it";
        // In containers: one jxlc box, or the header split over jxlp boxes at each byte. A 64-bit
        // box length (libjxl 0.7 reads it before the box's type, against the container's layout)
        // leaves the file unsized.
        std::vector<std::pair<Bytes, bool>> files = {{bare, false}, {InJxlContainer(bare, {}, false), false},
                                                     {InJxlContainer(bare, {}, true), true}};
        for (size_t cut = 0; orientation == 6 && cut <= 12; ++cut)
          files.push_back({InJxlContainer(bare, {cut}, cut % 2 == 1), cut % 2 == 1});
        for (const auto& [file, longLengths] : files) {
          SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1] << ", orientation " << orientation << ", "
                                          << file.size() << " bytes");
          const PictureHeader header = FactsHeader(file);
          if (longLengths) {
            EXPECT_EQ(header.format, PictureFormat::kUnknown) << "expected a 64-bit box length to leave it unsized";
            continue;
          }
          ASSERT_EQ(LibjxlSize(file), libjxl);
          ASSERT_EQ(header.format, PictureFormat::kJxl) << "expected it sized";
          EXPECT_EQ(header.width, libjxl.first) << "expected libjxl's width " << libjxl.first << ", got " << header.width;
          EXPECT_EQ(header.height, libjxl.second) << "expected libjxl's height " << libjxl.second;
          for (size_t length = 0; length < file.size(); ++length) {  // cut anywhere: exactly so, or unsized
            const PictureHeader cut = FactsHeader(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(length)));
            ASSERT_TRUE(cut.format == PictureFormat::kUnknown || (cut.width == header.width && cut.height == header.height))
                << "a cut at " << length << " gave " << cut.width << " x " << cut.height;
          }
        }
      }
    }
  }
}

// cjxl run on a file written here; empty when it failed.
Bytes Cjxl(const Bytes& input, const std::string& options) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vistrel-jxl-test";
  std::filesystem::create_directories(folder);
  const std::string in = (folder / "in.png").string(), out = (folder / "out.jxl").string();
  std::filesystem::remove(out);
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  if (std::system(("cjxl '" + in + "' '" + out + "' " + options + " >/dev/null 2>&1").c_str()) != 0) return {};
  std::ifstream file(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

struct Decoded {
  JxlOutcome outcome = JxlOutcome::kFailed;
  JxlPictureInfo info;
  Bytes rows;
  ptrdiff_t pitch = 0;
  uint8_t* Pixel(int32_t x, int32_t y) {
    return rows.data() + (pitch < 0 ? rows.size() + pitch : 0) + y * pitch + x * (info.BitsPerPixel() / 8);
  }
};

Decoded Decode(const Bytes& file, bool bottomUp = true, const std::atomic<bool>* cancel = nullptr,
               uint64_t limit = kMaxDecodedBytes) {
  JxlRowsDecoder decoder(file.data(), file.size(), cancel, limit, 2);
  Decoded d;
  if ((d.outcome = decoder.ReadInfo(d.info)) != JxlOutcome::kDecoded) return d;
  const ptrdiff_t stride = (d.info.width * d.info.BitsPerPixel() / 8 + 3) & ~3;
  d.pitch = bottomUp ? -stride : stride;
  d.rows.assign(static_cast<size_t>(stride) * static_cast<size_t>(d.info.height), 0);
  d.outcome = decoder.DecodeRows(d.Pixel(0, 0), d.pitch);
  return d;
}

// A PNG whose eXIf chunk gives the orientation, which cjxl moves into the codestream.
Bytes WithOrientation(Bytes png, uint8_t orientation) {
  Bytes chunk = {0, 0, 0, 26, 'e', 'X', 'I', 'f', 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0,
                 orientation, 0, 0, 0, 0, 0, 0, 0};
  const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  for (int s = 24; s >= 0; s -= 8) chunk.push_back(static_cast<uint8_t>(crc >> s));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // right after IHDR
  return png;
}

TEST(JxlRows, ExactInEveryOrientationDeepSamplesConvertedAndFailuresQuiet) {
  if (std::system("cjxl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjxl (libjxl-tools) is not installed";
  struct Case {
    uint8_t colourType, orientation;  // PNG's colour type: 0 grey, 2 RGB, 6 RGBA
    bool bottomUp;
  };
  const Case cases[] = {{2, 1, true}, {2, 1, false}, {6, 1, true}, {0, 1, true}, {2, 2, true}, {2, 3, true},
                        {6, 4, true}, {2, 5, true},  {2, 6, true}, {6, 7, false}, {2, 8, true}};
  const auto sample = [](int32_t x, int32_t y, int c) { return static_cast<uint32_t>((x * 7 + y * 13 + c * 91) % 251 + 3); };
  RawPng png;
  png.width = 61, png.height = 37;
  Bytes rgb;
  for (const Case& c : cases) {
    png.colourType = c.colourType;
    const Bytes file = Cjxl(WithOrientation(MakeRawPng(png, sample), c.orientation), "-d 0");
    if (c.colourType == 2 && c.orientation == 1) rgb = file;
    SCOPED_TRACE(testing::Message() << "PNG colour type " << int(c.colourType) << ", orientation " << int(c.orientation));
    const bool turned = c.orientation > 4;
    const int32_t w = png.width, h = png.height, width = turned ? h : w, height = turned ? w : h;
    EXPECT_EQ(FactsHeader(file).width, static_cast<uint32_t>(width)) << "expected the facts' width " << width;
    Decoded d = Decode(file, c.bottomUp);
    ASSERT_EQ(d.outcome, JxlOutcome::kDecoded);
    ASSERT_TRUE(d.info.width == width && d.info.height == height && d.info.alpha == (c.colourType == 6));
    int wrong = 0;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        // Where the shown pixel is stored, for each EXIF orientation.
        const int32_t from[9][2] = {{x, y}, {x, y}, {w - 1 - x, y}, {w - 1 - x, h - 1 - y}, {x, h - 1 - y},
                                    {y, x}, {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
        const auto level = [&](int k) { return int(sample(from[c.orientation][0], from[c.orientation][1], c.colourType ? k : 0)); };
        const int want[4] = {level(2), level(1), level(0), level(3)};
        for (int k = 0; k < d.info.BitsPerPixel() / 8; ++k) {
          if (d.Pixel(x, y)[k] != want[k] && wrong++ < 3)
            ADD_FAILURE() << "(" << x << ", " << y << ") byte " << k << ": expected " << want[k] << ", got "
                          << int(d.Pixel(x, y)[k]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  // 16-bit grey samples, plain and marked PQ (BT.2100): rounded to 8 bits, or first tone-mapped
  // onto the sRGB curve.
  png.colourType = 2, png.depth = 16;
  const auto grey = [](int32_t x, int32_t y, int) { return static_cast<uint32_t>(x * 1070 + y * 3 + 1); };
  for (const char* hint : {"", "-x color_space=RGB_D65_202_Rel_PeQ"}) {
    Decoded d = Decode(Cjxl(MakeRawPng(png, grey), std::string("-d 0 ") + hint));
    ASSERT_TRUE(d.outcome == JxlOutcome::kDecoded && d.info.deep) << "expected a deep decode " << hint;
    int wrong = 0;
    for (int32_t y = 0; y < png.height; ++y) {
      for (int32_t x = 0; x < png.width; ++x) {
        const double v = grey(x, y, 0) / 65535.0, light = ToneMappedLight(HdrCurve::kPq, v);
        const double pq = light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
        const int want = static_cast<int>(std::lround(255 * (hint[0] != 0 ? pq : v)));
        for (int k = 0; k < 3; ++k) {
          if (std::abs(d.Pixel(x, y)[k] - want) > 1 && wrong++ < 3)
            ADD_FAILURE() << hint << " (" << x << ", " << y << "): expected " << want << ", got " << int(d.Pixel(x, y)[k]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  // Noise past a slice of input (1 MiB): handed to libjxl in parts, still exact.
  RawPng big;
  big.width = 1200, big.height = 900;
  const auto noise = [](int32_t x, int32_t y, int c) {
    return ((uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(c) * 83492791u) * 2654435761u) >> 24;
  };
  const Bytes large = Cjxl(MakeRawPng(big, noise), "-d 0 -e 1");
  ASSERT_GT(large.size(), size_t{1} << 20) << "expected a file of several slices";
  Decoded d = Decode(large);
  ASSERT_EQ(d.outcome, JxlOutcome::kDecoded);
  int wrong = 0;
  for (int32_t y = 0; y < big.height; ++y)
    for (int32_t x = 0; x < big.width; ++x)
      for (int k = 0; k < 3; ++k) wrong += d.Pixel(x, y)[k] != (noise(x, y, 2 - k) & 255);
  EXPECT_EQ(wrong, 0) << "expected every sample of the large picture";

  // 61 x 37 at 16 bytes a pixel is 36112: refused below that before libjxl holds any of it.
  EXPECT_EQ(Decode(rgb, true, nullptr, 36111).outcome, JxlOutcome::kFailed) << "expected a refusal under the limit";
  EXPECT_EQ(Decode(rgb, true, nullptr, 36112).outcome, JxlOutcome::kDecoded);
  std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(rgb, true, &cancel).outcome, JxlOutcome::kCancelled) << "expected the set flag to stop the decode";
  for (size_t length : {size_t{1}, size_t{2}, size_t{10}, rgb.size() / 2, rgb.size() - 1})
    EXPECT_EQ(Decode(Bytes(rgb.begin(), rgb.begin() + static_cast<ptrdiff_t>(length))).outcome, JxlOutcome::kFailed)
        << "expected a file cut at " << length << " of " << rgb.size() << " bytes to fail";
}

}  // namespace
