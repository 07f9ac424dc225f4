// The picture header reader on headers built here, cut at every length, and on the fuzzer's
// seeds and regression inputs; and the decode limit at its edges.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "decode/decode_limit.h"
#include "decode/image_header.h"

namespace {

using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

void Be16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void Be32(Bytes& b, uint32_t v) { Be16(b, v >> 16), Be16(b, v & 0xFFFF); }
void Le16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v), uint8_t(v >> 8)}); }
void Le32(Bytes& b, uint32_t v) { Le16(b, v & 0xFFFF), Le16(b, v >> 16); }
void Text(Bytes& b, const char* s) { b.insert(b.end(), s, s + std::strlen(s)); }

void Segment(Bytes& b, uint8_t marker, size_t bodyBytes) {
  b.insert(b.end(), {0xFF, marker});
  Be16(b, static_cast<uint32_t>(bodyBytes + 2));
  b.insert(b.end(), bodyBytes, uint8_t{0xA5});
}

// SOI, the given segments before the frame, the frame header, a scan and EOI. sizeFrom gets the
// length from which the frame header's size fields are inside the bytes.
Bytes Jpeg(uint32_t width, uint32_t height, uint8_t sof, const std::vector<size_t>& appBytes,
           size_t& sizeFrom) {
  Bytes b = {0xFF, 0xD8};
  uint8_t app = 0xE0;
  for (size_t bytes : appBytes) Segment(b, app++, bytes);
  b.insert(b.end(), {0xFF, 0xFF, 0xFF});  // fill bytes before the frame header
  b.insert(b.end(), {0xFF, sof});
  Be16(b, 17);
  b.push_back(8);
  Be16(b, height);
  Be16(b, width);
  sizeFrom = b.size();
  b.insert(b.end(), {3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1});
  Segment(b, 0xDA, 10);
  b.insert(b.end(), {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD9});
  return b;
}

Bytes Png(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour) {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Be32(b, 13);
  Text(b, "IHDR");
  Be32(b, width);
  Be32(b, height);
  b.insert(b.end(), {depth, colour, 0, 0, 0, 0xDE, 0xAD, 0xBE, 0xEF});  // ..., interlace, CRC
  return b;
}

struct Frame { uint32_t left, top, width, height; };

// A GIF with a global colour table, a comment extension and the frames, each with a local
// table and two data sub-blocks.
Bytes Gif(uint32_t width, uint32_t height, const std::vector<Frame>& frames) {
  Bytes b;
  Text(b, "GIF89a");
  Le16(b, width);
  Le16(b, height);
  b.insert(b.end(), {0x81, 0, 0});     // global table of 4 colours
  b.insert(b.end(), 12, uint8_t{0x7F});
  b.insert(b.end(), {0x21, 0xFE, 3, 'a', 'b', 'c', 1, 'd', 0});
  for (const Frame& f : frames) {
    b.push_back(0x2C);
    Le16(b, f.left), Le16(b, f.top), Le16(b, f.width), Le16(b, f.height);
    b.push_back(0x80);                  // local table of 2 colours
    b.insert(b.end(), 6, uint8_t{0x2C});
    b.insert(b.end(), {2, 2, 0x4C, 0x01, 1, 0x3B, 0});
  }
  b.push_back(0x3B);
  return b;
}

Bytes Bmp(int32_t width, int32_t height, bool core) {
  Bytes b;
  Text(b, "BM");
  Le32(b, 0), Le32(b, 0), Le32(b, core ? 26 : 54);
  if (core) {
    Le32(b, 12), Le16(b, uint32_t(width)), Le16(b, uint32_t(height)), Le16(b, 1), Le16(b, 24);
  } else {
    Le32(b, 40), Le32(b, uint32_t(width)), Le32(b, uint32_t(height)), Le16(b, 1), Le16(b, 24);
    b.insert(b.end(), 24, uint8_t{0});
  }
  b.insert(b.end(), 16, uint8_t{0x55});
  return b;
}

// A classic TIFF whose first directory holds an unrelated tag, ImageWidth, ImageLength and
// BitsPerSample (three values stored after the directory; they do not change the pixel width,
// as 16-bit TIFFs are converted strip by strip), then a second directory of a larger size that
// the decoder does not show first.
Bytes Tiff(bool bigEndian, uint32_t width, uint16_t widthType, uint32_t height, uint32_t bits) {
  Bytes b;
  auto u16 = [&](uint32_t v) { bigEndian ? Be16(b, v) : Le16(b, v); };
  auto u32 = [&](uint32_t v) { bigEndian ? Be32(b, v) : Le32(b, v); };
  auto entry = [&](uint32_t tag, uint32_t type, uint32_t count, uint32_t value) {
    u16(tag), u16(type), u32(count);
    if (type == 3 && count == 1) {
      u16(value), u16(0);
    } else {
      u32(value);
    }
  };
  Text(b, bigEndian ? "MM" : "II");
  u16(42), u32(8);
  u16(4);
  entry(254, 4, 1, 0);
  entry(256, widthType, 1, width);
  entry(257, 4, 1, height);
  entry(258, 3, 3, 8 + 2 + 4 * 12 + 4);
  u32(8 + 2 + 4 * 12 + 4 + 6);  // next directory
  u16(bits), u16(bits), u16(bits);
  u16(2);
  entry(256, 4, 1, 99999);
  entry(257, 4, 1, 99999);
  u32(0);
  return b;
}

// The first length bytes, read as a file of that size. Short ones are copied into a heap block
// of exactly their size, so a read past the end is caught; long ones (the large JPEG segments,
// cut at each of their lengths) rely on the source's own bound to keep the test quick.
PictureHeader Read(const Bytes& bytes, size_t length) {
  if (length > 4096) {
    MemoryByteSource source(bytes.data(), length);
    return ReadPictureHeader(source);
  }
  std::unique_ptr<uint8_t[]> exact(new uint8_t[length == 0 ? 1 : length]);
  if (length != 0) std::memcpy(exact.get(), bytes.data(), length);
  MemoryByteSource source(exact.get(), length);
  return ReadPictureHeader(source);
}

std::string Describe(const PictureHeader& h) {
  return "format " + std::to_string(static_cast<int>(h.format)) + ", " + std::to_string(h.width) + " x " +
         std::to_string(h.height) + ", " + std::to_string(h.decodedBytesPerPixel) + " bytes per pixel";
}

struct Case {
  std::string name;
  Bytes bytes;
  PictureFormat format;
  uint32_t width, height, bytesPerPixel;
  size_t sizeFrom;       // from this length on, a cut file still gives the whole answer
  bool growsWithLength;  // GIF: a cut file shows only the frames before the cut
};

TEST(ImageHeader, EveryKindIsReadAndCutHeadersNeverMislead) {
  size_t jpegFrom = 0, progressiveFrom = 0, arithmeticFrom = 0;
  // Segments as large as JPEG allows before the frame, as cameras and ICC profiles write them.
  const Bytes baseline = Jpeg(40, 30, 0xC0, {14}, jpegFrom);
  const Bytes progressive = Jpeg(46000, 16000, 0xC2, {65533, 65533, 40000}, progressiveFrom);
  const Bytes arithmetic = Jpeg(65535, 1, 0xC9, {}, arithmeticFrom);
  const Bytes gif = Gif(10, 8, {{0, 0, 10, 8}, {6, 2, 12, 9}});
  const std::vector<Case> cases = {
      {"baseline JPEG", baseline, PictureFormat::kJpeg, 40, 30, 4, jpegFrom, false},
      {"progressive JPEG after large APP segments", progressive, PictureFormat::kJpeg, 46000, 16000, 4,
       progressiveFrom, false},
      {"arithmetic JPEG", arithmetic, PictureFormat::kJpeg, 65535, 1, 4, arithmeticFrom, false},
      {"PNG", Png(30000, 30000, 8, 2), PictureFormat::kPng, 30000, 30000, 4, 26, false},
      {"16-bit RGBA PNG", Png(7, 0x7FFFFFFF, 16, 6), PictureFormat::kPng, 7, 0x7FFFFFFF, 8, 26, false},
      {"16-bit RGB PNG", Png(19000, 19000, 16, 2), PictureFormat::kPng, 19000, 19000, 6, 26, false},
      {"16-bit grey PNG", Png(1, 2, 16, 0), PictureFormat::kPng, 1, 2, 4, 26, false},
      {"GIF frame beyond the screen", gif, PictureFormat::kGif, 18, 11, 4, 11, true},
      {"bottom-up BMP", Bmp(640, 480, false), PictureFormat::kBmp, 640, 480, 4, 26, false},
      {"top-down BMP", Bmp(5, -3, false), PictureFormat::kBmp, 5, 3, 4, 26, false},
      {"core BMP", Bmp(65535, 2, true), PictureFormat::kBmp, 65535, 2, 4, 22, false},
      {"little-endian TIFF", Tiff(false, 300, 3, 200, 8), PictureFormat::kTiff, 300, 200, 4, 46, false},
      {"big-endian TIFF, 16-bit samples", Tiff(true, 70000, 4, 201, 16), PictureFormat::kTiff, 70000, 201, 4,
       46, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const PictureHeader whole = Read(c.bytes, c.bytes.size());
    EXPECT_EQ(whole.format, c.format) << "expected format " << int(c.format) << ", got " << Describe(whole);
    EXPECT_EQ(whole.width, c.width) << Describe(whole);
    EXPECT_EQ(whole.height, c.height) << Describe(whole);
    EXPECT_EQ(whole.decodedBytesPerPixel, c.bytesPerPixel) << Describe(whole);
    for (size_t length = 0; length < c.bytes.size(); ++length) {
      const PictureHeader cut = Read(c.bytes, length);
      if (cut.format == PictureFormat::kUnknown) {
        EXPECT_LT(length, c.sizeFrom) << "cut at " << length << " lost a size it had";
        EXPECT_EQ(cut.width, 0u);
        continue;
      }
      EXPECT_EQ(cut.format, c.format) << "cut at " << length;
      if (c.growsWithLength) {
        EXPECT_LE(cut.width, c.width) << "cut at " << length;
        EXPECT_LE(cut.height, c.height) << "cut at " << length;
      } else {
        EXPECT_EQ(cut.width, c.width) << "cut at " << length << ": " << Describe(cut);
        EXPECT_EQ(cut.height, c.height) << "cut at " << length << ": " << Describe(cut);
      }
    }
  }

  // Headers the decoder would refuse on its own, or that are no picture: no size, not refused.
  Bytes scanFirst = {0xFF, 0xD8};
  Segment(scanFirst, 0xDA, 10);
  Bytes secondImage = {0xFF, 0xD8, 0xFF, 0xD8};
  Bytes notIhdr = Png(1, 1, 8, 2);
  std::memcpy(notIhdr.data() + 12, "IDAT", 4);
  Bytes farDirectory = Tiff(false, 1, 3, 1, 8);
  farDirectory[4] = 0xF0, farDirectory[7] = 0xFF;
  Bytes os2Bmp = Bmp(1, 1, false);
  os2Bmp[14] = 16;
  Bytes tiffWithoutHeight = Tiff(true, 5, 3, 5, 8);
  tiffWithoutHeight[8 + 2 + 2 * 12 + 1] = 0x17;  // ImageLength becomes an unrelated tag
  Bytes bigTiff = {'I', 'I', '+', 0, 8, 0, 0, 0};
  const std::map<std::string, Bytes> unknown = {
      {"empty", {}}, {"text", {'h', 'e', 'l', 'l', 'o'}}, {"scan before frame", scanFirst},
      {"second SOI", secondImage}, {"PNG without IHDR first", notIhdr},
      {"TIFF directory outside", farDirectory},
      {"OS/2 BMP header", os2Bmp}, {"TIFF without ImageLength", tiffWithoutHeight}, {"BigTIFF", bigTiff}};
  for (const auto& [name, bytes] : unknown) {
    const PictureHeader h = Read(bytes, bytes.size());
    EXPECT_EQ(h.format, PictureFormat::kUnknown) << name << ": expected unknown, got " << Describe(h);
    EXPECT_TRUE(HeaderFitsDecoder(h)) << name;
  }
}

TEST(ImageHeader, LimitAtItsEdges) {
  EXPECT_EQ(kMaxDecodedPixels, 536870911u);
  EXPECT_TRUE(SizeFitsDecoder(16000, 16000, 4));
  EXPECT_TRUE(SizeFitsDecoder(20000, 20000, 4));
  EXPECT_FALSE(SizeFitsDecoder(46000, 16000, 4));
  EXPECT_FALSE(SizeFitsDecoder(30000, 30000, 4));
  EXPECT_TRUE(SizeFitsDecoder(536870911, 1, 4));
  EXPECT_FALSE(SizeFitsDecoder(536870912, 1, 4));
  EXPECT_TRUE(SizeFitsDecoder(1, 536870911, 3)) << "narrower pixels count as 4 bytes";
  EXPECT_FALSE(SizeFitsDecoder(1, 536870912, 1)) << "narrower pixels count as 4 bytes";
  EXPECT_TRUE(SizeFitsDecoder(23170, 23170, 4));   // 536,848,900 pixels
  EXPECT_FALSE(SizeFitsDecoder(23171, 23171, 4));  // 536,895,241 pixels
  // 16-bit RGB PNGs: 18000 x 18000 decodes under Wine, 19000 x 19000 crashed its decoder.
  EXPECT_TRUE(SizeFitsDecoder(18000, 18000, 6));
  EXPECT_FALSE(SizeFitsDecoder(19000, 19000, 6));
  EXPECT_TRUE(SizeFitsDecoder(16384, 16383, 8));
  EXPECT_FALSE(SizeFitsDecoder(16384, 16384, 8));
  EXPECT_FALSE(SizeFitsDecoder(20000, 20000, 8));
  EXPECT_TRUE(SizeFitsDecoder(0, UINT64_MAX, 8)) << "an empty picture is left to the decoder";
  EXPECT_FALSE(SizeFitsDecoder(UINT64_MAX, UINT64_MAX, 4));
  EXPECT_FALSE(SizeFitsDecoder(UINT32_MAX, 1, 4));

  PictureHeader header;
  header.width = header.height = 30000;
  EXPECT_TRUE(HeaderFitsDecoder(header)) << "an unknown header is never refused";
  header.format = PictureFormat::kPng;
  EXPECT_FALSE(HeaderFitsDecoder(header));
  header.width = header.height = 16384;
  EXPECT_TRUE(HeaderFitsDecoder(header));
  header.decodedBytesPerPixel = 8;
  EXPECT_FALSE(HeaderFitsDecoder(header));
}

Bytes LoadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct Expected {
  PictureFormat format;
  uint32_t width, height, bytesPerPixel;
  bool fits;
};

// Every file of one fuzz folder is read; the listed ones must give what is listed.
void Replay(const char* folder, const std::map<std::string, Expected>& expected) {
  const fs::path dir = fs::path(VISTREL_SOURCE_DIR) / "fuzz" / folder / "image_header";
  ASSERT_TRUE(fs::is_directory(dir)) << dir << " is missing: run fuzz/make_image_header_files.py";
  size_t checked = 0;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file()) continue;
    const std::string name = entry.path().filename().string();
    const Bytes bytes = LoadFile(entry.path());
    const PictureHeader h = Read(bytes, bytes.size());
    const auto it = expected.find(name);
    if (it == expected.end()) continue;  // a later finding: passing through cleanly is enough
    const Expected& e = it->second;
    EXPECT_EQ(h.format, e.format) << name << ": got " << Describe(h);
    EXPECT_EQ(h.width, e.width) << name << ": got " << Describe(h);
    EXPECT_EQ(h.height, e.height) << name << ": got " << Describe(h);
    EXPECT_EQ(h.decodedBytesPerPixel, e.bytesPerPixel) << name;
    EXPECT_EQ(HeaderFitsDecoder(h), e.fits) << name;
    ++checked;
  }
  EXPECT_EQ(checked, expected.size()) << "files missing from fuzz/" << folder << "/image_header";
}

TEST(ImageHeader, FuzzSeedsAndRegressionsReplay) {
  using F = PictureFormat;
  Replay("corpus", {{"baseline.jpg", {F::kJpeg, 40, 30, 4, true}},
                    {"progressive.jpg", {F::kJpeg, 64, 48, 4, true}},
                    {"rgb.png", {F::kPng, 4, 3, 4, true}},
                    {"two-frames.gif", {F::kGif, 18, 11, 4, true}},
                    {"info.bmp", {F::kBmp, 5, 3, 4, true}},
                    {"core.bmp", {F::kBmp, 7, 2, 4, true}},
                    {"little.tif", {F::kTiff, 300, 200, 4, true}},
                    {"big.tif", {F::kTiff, 301, 201, 4, true}}});
  Replay("regressions", {{"jpeg-garbage-before-huge-frame.jpg", {F::kJpeg, 65535, 65535, 4, false}},
                         {"jpeg-segment-past-end.jpg", {F::kUnknown, 0, 0, 4, true}},
                         {"png-huge-cut-ihdr.png", {F::kPng, 0x7FFFFFFF, 0x7FFFFFFF, 8, false}},
                         {"gif-far-frame-open-blocks.gif", {F::kGif, 131070, 131070, 4, false}},
                         {"bmp-most-negative-height.bmp", {F::kBmp, 30000, 0x80000000u, 4, false}},
                         {"tiff-ifd-out-of-range.tif", {F::kUnknown, 0, 0, 4, true}}});
}

}  // namespace
