// JPEG XL: the size reader against libjxl's own reading of the same headers, in every form a size
// and a container can take and cut at every byte; and pictures made by cjxl (Debian's
// libjxl-tools) from exact numbers, decoded into bitmap rows: exact samples, every orientation,
// and the failures that must stay quiet.
#include <gtest/gtest.h>
#include <jxl/decode.h>
#include <zlib.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/cicp_colour.h"
#include "decode/decode_limit.h"
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

// libjxl's basic info for the same bytes, as shown (orientation applied); 0 x 0 when it gives none.
std::pair<uint32_t, uint32_t> LibjxlSize(const Bytes& file) {
  JxlDecoder* decoder = JxlDecoderCreate(nullptr);
  JxlBasicInfo info = {};
  JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO);
  JxlDecoderSetInput(decoder, file.data(), file.size());
  JxlDecoderCloseInput(decoder);
  const bool got = JxlDecoderProcessInput(decoder) == JXL_DEC_BASIC_INFO &&
                   JxlDecoderGetBasicInfo(decoder, &info) == JXL_DEC_SUCCESS;
  JxlDecoderDestroy(decoder);
  return got ? std::make_pair(info.xsize, info.ysize) : std::make_pair(0u, 0u);
}

TEST(JxlSizeHeader, ReadsEveryFormOfTheSizeAsLibjxlDoesAndNeverMoreFromACutFile) {
  struct Size {
    uint32_t width, height;
  };
  // Short forms, each fixed ratio, each width of the long form, and the largest.
  const Size sizes[] = {{8, 8},       {256, 248},   {264, 8},       {1, 1},         {512, 512},
                        {1920, 1080}, {1200, 1000}, {4000, 3000},   {3000, 2000},   {1250, 1000},
                        {2000, 1000}, {513, 8193},  {262145, 3},    {7, 300000000}, {1u << 30, 1u << 30}};
  int compared = 0;
  for (const Size& s : sizes) {
    for (uint32_t orientation = 1; orientation <= 8; ++orientation) {
      for (int form = 0; form < 2; ++form) {
        JxlHeaderOptions o;
        o.width = s.width, o.height = s.height, o.orientation = orientation;
        o.small = o.ratio = form == 0;  // the canonical form, and always the long one
        const Bytes bare = MakeJxlCodestreamHeader(o);
        const auto [width, height] = LibjxlSize(bare);
        ASSERT_NE(width, 0u) << "libjxl must read the header made for it";
        // The same codestream in containers: one jxlc box, or its header split over two jxlp boxes
        // at each byte. A box with a 64-bit length leaves the file unsized (libjxl 0.7 reads that
        // length before the box's type, against the container's layout).
        std::vector<std::pair<Bytes, bool>> files = {{bare, true}, {InJxlContainer(bare, {}, false), true},
                                                     {InJxlContainer(bare, {}, true), false}};
        if (orientation == 6) {
          for (size_t cut = 0; cut <= 12; ++cut) files.push_back({InJxlContainer(bare, {cut}, cut % 2 == 1), cut % 2 == 0});
        }
        for (const auto& [file, standardLengths] : files) {
          const PictureHeader header = FactsHeader(file);
          SCOPED_TRACE(testing::Message() << s.width << " x " << s.height << ", orientation " << orientation
                                          << ", " << file.size() << " bytes");
          if (!standardLengths) {
            EXPECT_EQ(header.format, PictureFormat::kUnknown) << "expected a 64-bit box length to leave it unsized";
            continue;
          }
          ASSERT_EQ(LibjxlSize(file), std::make_pair(width, height));
          ASSERT_EQ(header.format, PictureFormat::kJxl) << "expected it sized";
          EXPECT_EQ(header.width, width) << "expected libjxl's width " << width << ", got " << header.width;
          EXPECT_EQ(header.height, height) << "expected libjxl's height " << height << ", got " << header.height;
          ++compared;
          // Cut anywhere, it is sized exactly so or not at all.
          for (size_t length = 0; length < file.size(); ++length) {
            const PictureHeader cut = FactsHeader(Bytes(file.begin(), file.begin() + static_cast<ptrdiff_t>(length)));
            if (cut.format != PictureFormat::kUnknown) {
              ASSERT_EQ(cut.width, header.width) << "a cut at " << length << " gave another width";
              ASSERT_EQ(cut.height, header.height);
            }
          }
        }
      }
    }
  }
  EXPECT_GT(compared, 500);

  // The largest header is refused before any decoder sees it, and by the rows decoder's own limit.
  JxlHeaderOptions huge;
  huge.width = huge.height = 1u << 30;
  const Bytes hugeFile = MakeJxlCodestreamHeader(huge);
  EXPECT_FALSE(HeaderFitsDecoder(FactsHeader(hugeFile))) << "expected the size header to refuse it";
  JxlRowsDecoder decoder(hugeFile.data(), hugeFile.size(), nullptr);
  JxlPictureInfo info;
  EXPECT_EQ(decoder.ReadInfo(info), JxlOutcome::kFailed);
  huge.width = 4096, huge.height = 2048;
  EXPECT_TRUE(HeaderFitsDecoder(FactsHeader(MakeJxlCodestreamHeader(huge))));
}

// cjxl run on a file written here; empty when it is not installed or failed.
Bytes Cjxl(const Bytes& input, const char* extension, const std::string& options) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vistrel-jxl-test";
  std::filesystem::create_directories(folder);
  const std::string in = (folder / (std::string("in") + extension)).string(), out = (folder / "out.jxl").string();
  std::filesystem::remove(out);
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  const std::string command = "cjxl '" + in + "' '" + out + "' " + options + " >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  std::ifstream file(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

struct Decoded {
  JxlOutcome outcome = JxlOutcome::kFailed;
  JxlPictureInfo info;
  Bytes rows;
  ptrdiff_t pitch = 0;
  uint8_t* Top() { return pitch < 0 ? rows.data() + rows.size() + pitch : rows.data(); }
  const uint8_t* Pixel(int32_t x, int32_t y) const {
    const uint8_t* top = pitch < 0 ? rows.data() + rows.size() + pitch : rows.data();
    return top + y * pitch + x * (info.BitsPerPixel() / 8);
  }
};

Decoded Decode(const Bytes& file, bool bottomUp = true, const std::atomic<bool>* cancel = nullptr,
               uint64_t limit = kMaxDecodedBytes) {
  JxlRowsDecoder decoder(file.data(), file.size(), cancel, limit, 2);
  Decoded d;
  d.outcome = decoder.ReadInfo(d.info);
  if (d.outcome != JxlOutcome::kDecoded) return d;
  const ptrdiff_t stride = (d.info.width * d.info.BitsPerPixel() / 8 + 3) & ~3;
  d.pitch = bottomUp ? -stride : stride;
  d.rows.assign(static_cast<size_t>(stride) * static_cast<size_t>(d.info.height), 0);
  d.outcome = decoder.DecodeRows(d.Top(), d.pitch);
  return d;
}

// A PNG whose eXIf chunk gives the orientation, which cjxl moves into the codestream.
Bytes WithOrientation(Bytes png, uint16_t orientation) {
  Bytes chunk = {0, 0, 0, 26, 'e', 'X', 'I', 'f', 'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0,
                 static_cast<uint8_t>(orientation), 0, 0, 0, 0, 0, 0, 0};
  const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  for (int s = 24; s >= 0; s -= 8) chunk.push_back(static_cast<uint8_t>(crc >> s));
  png.insert(png.begin() + 33, chunk.begin(), chunk.end());  // right after IHDR
  return png;
}

uint32_t Sample(int32_t x, int32_t y, int c) { return static_cast<uint32_t>((x * 7 + y * 13 + c * 91) % 251 + 3); }

// Where displayed pixel (x, y) of a w x h stored picture comes from, for each orientation.
void Stored(uint32_t o, int32_t x, int32_t y, int32_t w, int32_t h, int32_t& sx, int32_t& sy) {
  const int32_t table[9][2] = {{x, y},         {x, y},         {w - 1 - x, y}, {w - 1 - x, h - 1 - y}, {x, h - 1 - y},
                               {y, x},         {y, h - 1 - x}, {w - 1 - y, h - 1 - x}, {w - 1 - y, x}};
  sx = table[o][0], sy = table[o][1];
}

TEST(JxlRows, LosslessPicturesExactInEveryOrientationAndFailuresQuiet) {
  if (std::system("cjxl --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjxl (libjxl-tools) is not installed";
  struct Case {
    uint8_t colourType;  // PNG's: 0 grey, 2 RGB, 6 RGBA
    uint16_t orientation;
    bool bottomUp;
  };
  const Case cases[] = {{2, 1, true}, {2, 1, false}, {6, 1, true}, {0, 1, true}, {2, 2, true}, {2, 3, true},
                        {6, 4, true}, {2, 5, true},  {2, 6, true}, {6, 7, false}, {2, 8, true}};
  RawPng png;
  png.width = 61, png.height = 37;
  Bytes rgb;
  for (const Case& c : cases) {
    png.colourType = c.colourType;
    const Bytes file = Cjxl(WithOrientation(MakeRawPng(png, Sample), c.orientation), ".png", "-d 0");
    if (c.colourType == 2 && c.orientation == 1) rgb = file;
    SCOPED_TRACE(testing::Message() << "PNG colour type " << int(c.colourType) << ", orientation " << c.orientation);
    ASSERT_FALSE(file.empty()) << "cjxl made nothing";
    const bool turned = c.orientation > 4;
    const int32_t width = turned ? png.height : png.width, height = turned ? png.width : png.height;
    const PictureHeader header = FactsHeader(file);
    EXPECT_EQ(header.width, static_cast<uint32_t>(width)) << "expected the facts' width " << width;
    EXPECT_EQ(header.height, static_cast<uint32_t>(height));

    const Decoded d = Decode(file, c.bottomUp);
    ASSERT_EQ(d.outcome, JxlOutcome::kDecoded);
    ASSERT_EQ(d.info.width, width);
    ASSERT_EQ(d.info.height, height);
    ASSERT_EQ(d.info.alpha, c.colourType == 6);
    int wrong = 0;
    for (int32_t y = 0; y < height; ++y) {
      for (int32_t x = 0; x < width; ++x) {
        int32_t sx = 0, sy = 0;
        Stored(c.orientation, x, y, png.width, png.height, sx, sy);
        const auto level = [&](int k) { return static_cast<int>(Sample(sx, sy, c.colourType == 0 ? 0 : k)); };
        const int want[4] = {level(2), level(1), level(0), level(3)};
        const uint8_t* p = d.Pixel(x, y);
        for (int k = 0; k < d.info.BitsPerPixel() / 8; ++k) {
          if (p[k] != want[k] && wrong++ < 3)
            ADD_FAILURE() << "(" << x << ", " << y << ") byte " << k << ": expected " << want[k] << ", got " << int(p[k]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  // 16-bit samples, plain and marked PQ (BT.2100): rounded to 8 bits, or first tone-mapped onto
  // the sRGB curve. Grey, so that the primaries' conversion keeps the levels.
  png.colourType = 2, png.depth = 16;
  const auto grey = [](int32_t x, int32_t y, int) { return static_cast<uint32_t>(x * 1070 + y * 3 + 1); };
  for (const char* hint : {"", "-x color_space=RGB_D65_202_Rel_PeQ"}) {
    const bool pq = hint[0] != 0;
    const Decoded d = Decode(Cjxl(MakeRawPng(png, grey), ".png", std::string("-d 0 ") + hint));
    ASSERT_EQ(d.outcome, JxlOutcome::kDecoded) << "expected the 16-bit picture to decode";
    EXPECT_TRUE(d.info.deep);
    int wrong = 0;
    for (int32_t y = 0; y < png.height; ++y) {
      for (int32_t x = 0; x < png.width; ++x) {
        const double v = grey(x, y, 0) / 65535.0, light = ToneMappedLight(HdrCurve::kPq, v);
        const double encoded = light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1 / 2.4) - 0.055;
        const int want = static_cast<int>(std::lround(255 * (pq ? encoded : v)));
        for (int k = 0; k < 3; ++k) {
          if (std::abs(d.Pixel(x, y)[k] - want) > 1 && wrong++ < 3)
            ADD_FAILURE() << (pq ? "PQ " : "") << "(" << x << ", " << y << "): expected " << want << ", got "
                          << int(d.Pixel(x, y)[k]);
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }

  // 61 x 37 at 16 bytes a pixel is 36112: refused below that before libjxl holds any of it.
  EXPECT_EQ(Decode(rgb, true, nullptr, 36111).outcome, JxlOutcome::kFailed) << "expected a refusal under the limit";
  EXPECT_EQ(Decode(rgb, true, nullptr, 36112).outcome, JxlOutcome::kDecoded);
  std::atomic<bool> cancel{true};
  EXPECT_EQ(Decode(rgb, true, &cancel).outcome, JxlOutcome::kCancelled) << "expected the set flag to stop the decode";
  for (size_t length : {size_t{1}, size_t{2}, size_t{10}, rgb.size() / 2, rgb.size() - 1}) {
    EXPECT_EQ(Decode(Bytes(rgb.begin(), rgb.begin() + static_cast<ptrdiff_t>(length))).outcome, JxlOutcome::kFailed)
        << "expected a file cut at " << length << " of " << rgb.size() << " bytes to fail";
  }
  EXPECT_EQ(Decode(Bytes{0xFF, 0xD8, 0xFF, 0xE0}).outcome, JxlOutcome::kFailed);
}

}  // namespace
