// The format table: which row the first bytes choose, and the one JPEG marker walk that gives the
// size, the embedded profile and the EXIF orientation together.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "decode/format_table.h"
#include "decode/jpeg/jpeg_format.h"
#include "exif_builder.h"
#include "support/raw_pictures.h"
#include "support/test_isobmff.h"
#include "support/test_gif.h"
#include "support/test_jpeg.h"
#include "support/test_jpeg2000.h"
#include "support/test_jxl.h"

namespace {

const char* NameOf(PictureFormat format) {
  const FormatRow* row = RowOf(format);
  return row != nullptr ? row->name : "unknown";
}

PictureFacts FactsOf(const Bytes& bytes) {
  MemoryByteSource source(bytes.data(), bytes.size());
  return ReadPictureFacts(source);
}

struct Sample {
  const char* what;
  Bytes bytes;
  PictureFormat format;
  uint32_t width, height;
};

// A classic little-endian TIFF whose only directory gives its size.
Bytes LittleTiff(uint32_t width, uint32_t height) {
  Bytes out = {'I', 'I', 42, 0, 8, 0, 0, 0};
  Ifd ifd;
  ifd.Long(256, width).Long(257, height);
  ifd.Layout(out);
  return out;
}

std::vector<Sample> OneOfEach() {
  auto bytesOf = [](const std::string& s) { return Bytes(s.begin(), s.end()); };
  Jpeg2000Options jp2;
  jp2.width = 21, jp2.height = 11;
  Jpeg2000Options j2k = jp2;
  j2k.container = Jpeg2000Container::kCodestream;
  const auto grey = [](int32_t x, int32_t y, int32_t) { return static_cast<uint32_t>(x + y); };
  RawPng png;
  png.width = 17, png.height = 9;
  RawBmp bmp;
  bmp.width = 15, bmp.height = 8;
  isobmff::File avif;
  avif.items.push_back({1, "av01", {1, 2, 3}, {isobmff::Ispe(41, 27)}});
  isobmff::File heif = avif;
  heif.brands = {"mif1", "heic"};
  heif.items[0].type = "hvc1";
  return {
      {"JPEG", bytesOf(MakeTestJpeg(JpegOptions(TestJpegColour::kYcc420, 33, 19))), PictureFormat::kJpeg, 33, 19},
      {"PNG", MakeRawPng(png, [](int32_t x, int32_t, int) { return static_cast<uint32_t>(x); }), PictureFormat::kPng,
       17, 9},
      {"GIF", EncodeGif(23, 14, {0x102030}, [](int32_t, int32_t) { return 0; }), PictureFormat::kGif, 23, 14},
      {"BMP", MakeRawBmp(bmp, [](int32_t x, int32_t) { return static_cast<uint32_t>(x); }), PictureFormat::kBmp, 15, 8},
      {"TIFF", LittleTiff(300, 200), PictureFormat::kTiff, 300, 200},
      {"JP2", EncodeJpeg2000(jp2, grey), PictureFormat::kJpeg2000, 21, 11},
      {"J2K", EncodeJpeg2000(j2k, grey), PictureFormat::kJpeg2000, 21, 11},
      // RIFF, WEBP and a lossless bitstream's header: 19 x 12.
      {"WebP", {'R', 'I', 'F', 'F', 18, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'L', 5, 0, 0, 0, 0x2F, 0x12, 0xC0,
                0x02, 0x00, 0},
       PictureFormat::kWebp, 19, 12},
      {"AVIF", isobmff::Build(avif), PictureFormat::kAvif, 41, 27},
      {"HEIF", isobmff::Build(heif), PictureFormat::kHeif, 41, 27},
      {"JPEG XL", MakeJxlCodestreamHeader({100000, 70000, 1, true, true}), PictureFormat::kJxl, 100000, 70000},
      {"JPEG XL box", InJxlContainer(MakeJxlCodestreamHeader({33, 19, 6, true, true}), {5}, false), PictureFormat::kJxl, 19, 33},
  };
}

// Every format's own bytes choose its row and are sized by it, whatever name the file has. Cut to
// any length under the signature's (or the file's), in a buffer of exactly that length (the
// sanitizer sees a read past it), they choose that row or none, never another.
TEST(FormatTable, EachFormatIsChosenByItsOwnBytesAndNoShortStartIsMistaken) {
  for (const Sample& sample : OneOfEach()) {
    ASSERT_GT(sample.bytes.size(), 16u) << sample.what << ": the encoder wrote nothing";
    const PictureFacts facts = FactsOf(sample.bytes);
    EXPECT_EQ(facts.format, sample.format)
        << sample.what << ": expected " << NameOf(sample.format) << ", got " << NameOf(facts.format);
    EXPECT_EQ(facts.header.format, sample.format) << sample.what << ": expected it sized";
    EXPECT_EQ(facts.header.width, sample.width) << sample.what << ": expected width " << sample.width;
    EXPECT_EQ(facts.header.height, sample.height) << sample.what << ": expected height " << sample.height;
    for (size_t length = 0; length < std::min(kSignatureBytes, sample.bytes.size()); ++length) {
      std::unique_ptr<uint8_t[]> cut(new uint8_t[length == 0 ? 1 : length]);
      std::memcpy(cut.get(), sample.bytes.data(), length);
      const FormatRow* row = ChooseFormat(cut.get(), length);
      EXPECT_TRUE(row == nullptr || row->format == sample.format)
          << sample.what << " cut to " << length << " bytes: expected " << NameOf(sample.format) << " or none, got "
          << row->name;
    }
  }
  const Bytes text = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'i', 'c', 't', 'u', 'r', 'e', '\n', '.', '.', '.'};
  const PictureFacts none = FactsOf(text);
  EXPECT_EQ(none.format, PictureFormat::kUnknown) << "expected text to be no format, got " << NameOf(none.format);
  EXPECT_TRUE(none.profile.empty() && !none.orientationFound);
}

Bytes ProfileChunk(uint8_t sequence, uint8_t total, const Bytes& part) {
  Bytes body = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, sequence, total};
  Append(body, part);
  return Segment(0xE2, body);
}

Bytes Concat(const std::vector<Bytes>& pieces) {
  Bytes out;
  for (const Bytes& p : pieces) Append(out, p);
  return out;
}

const Bytes kStart = {0xFF, 0xD8};
const Bytes kPartOne = {'f', 'i', 'r', 's', 't', ' ', 'h', 'a', 'l', 'f'};
const Bytes kPartTwo = {'s', 'e', 'c', 'o', 'n', 'd'};

// What a camera and an editor leave: the chunks of the profile out of order, one of them after
// the frame header, fill bytes and a stray byte between segments, the EXIF block among them. One
// walk finds the size, the whole profile and the orientation.
TEST(JpegMarkerWalk, OnePassGivesTheSizeTheJoinedProfileAndTheOrientation) {
  const Bytes bytes = Concat({kStart, Segment(0xE0, TextBytes("JFIF")), ProfileChunk(2, 2, kPartTwo), {0xFF, 0xFF},
                              ExifSegment(TiffBlock(Ifd().Short(0x0112, 6))), {0x00},
                              FrameSegment(45, 123, 3), ProfileChunk(1, 2, kPartOne), ScanSegment(),
                              {1, 2, 3, 0xFF, 0xD9}});
  const PictureFacts facts = FactsOf(bytes);
  EXPECT_EQ(facts.header.format, PictureFormat::kJpeg);
  EXPECT_EQ(facts.header.width, 123u) << "expected the frame's width 123, got " << facts.header.width;
  EXPECT_EQ(facts.header.height, 45u) << "expected the frame's height 45, got " << facts.header.height;
  EXPECT_EQ(facts.profile, Concat({kPartOne, kPartTwo})) << "expected the chunks joined in sequence order, got "
                                                        << facts.profile.size() << " bytes";
  EXPECT_TRUE(facts.orientationFound) << "expected the EXIF block to be found";
  EXPECT_EQ(facts.exifOrientation, 6) << "expected orientation 6, got " << facts.exifOrientation;
}

// A repeated chunk spoils only the profile; a second EXIF block is the one the file means. Nothing
// after the first scan counts.
TEST(JpegMarkerWalk, BrokenProfileChunksLeaveSizeAndOrientationAndTheScanEndsTheWalk) {
  const Bytes bytes = Concat({kStart, ProfileChunk(1, 2, kPartOne), ProfileChunk(1, 2, kPartTwo),
                              ExifSegment(TiffBlock(Ifd().Short(0x0112, 3))), FrameSegment(7, 9, 1),
                              ExifSegment(TiffBlock(Ifd(true).Short(0x0112, 8))), ScanSegment(),
                              ExifSegment(TiffBlock(Ifd().Short(0x0112, 5))), ProfileChunk(2, 2, kPartTwo),
                              {0xFF, 0xD9}});
  const PictureFacts facts = FactsOf(bytes);
  EXPECT_TRUE(facts.profile.empty()) << "expected no profile from a repeated chunk, got " << facts.profile.size()
                                     << " bytes";
  EXPECT_EQ(facts.header.width, 9u);
  EXPECT_EQ(facts.header.height, 7u);
  EXPECT_EQ(facts.exifOrientation, 8) << "expected the last EXIF block before the scan (8), got "
                                      << facts.exifOrientation;
}

// A profile large enough that libjpeg splits it over three segments, as a real encoder writes it.
TEST(JpegMarkerWalk, ProfileSplitByTheEncoderComesBackWhole) {
  TestJpegOptions options = JpegOptions(TestJpegColour::kYcc444, 40, 30);
  options.iccProfile.resize(150000);
  for (size_t i = 0; i < options.iccProfile.size(); ++i) options.iccProfile[i] = static_cast<uint8_t>(i * 31 + (i >> 9));
  const std::string file = MakeTestJpeg(options);
  const PictureFacts facts = FactsOf(Bytes(file.begin(), file.end()));
  EXPECT_EQ(facts.header.width, 40u);
  EXPECT_EQ(facts.header.height, 30u);
  EXPECT_EQ(facts.profile.size(), options.iccProfile.size()) << "expected the whole profile back";
  EXPECT_TRUE(facts.profile == options.iccProfile) << "expected the profile's bytes unchanged";
  EXPECT_FALSE(facts.orientationFound) << "expected no orientation without an EXIF block";
}

}  // namespace
