// The EXIF block: TIFF header checks, the directory walk, the tag table and the walk's bounds.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "exif/exif_parse.h"
#include "exif_builder.h"

namespace {

uint32_t FloatBits(float f) {
  uint32_t bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

// Parses a TIFF block directly (no marker walk); the record starts cleared.
struct Parsed {
  bool ok;
  JpegExifRecord record;
};
Parsed Parse(const Bytes& tiff, const Bytes& identifier = {'E', 'x', 'i', 'f', 0, 0}) {
  Bytes segment = {0, 0};  // the length field
  Append(segment, identifier);
  Append(segment, tiff);
  Parsed p{false, {}};
  JpegExifReader reader(p.record);
  p.ok = ParseExifBlock(reader, segment.data() + 2, int32_t(segment.size()));
  p.record.thumbnailData = nullptr;  // points into `segment`, which goes now
  return p;
}

TEST(ExifBlock, HeaderChecks) {
  Bytes good = TiffBlock(Ifd().Short(0x0112, 6));
  EXPECT_TRUE(Parse(good).ok);

  EXPECT_FALSE(Parse(good, {'E', 'x', 'i', 'f', 0, 1}).ok) << "identifier without two zeros";
  EXPECT_FALSE(Parse(good, {'e', 'x', 'i', 'f', 0, 0}).ok) << "identifier spelt otherwise";
  Bytes order = good;
  order[0] = 'I', order[1] = 'M';
  EXPECT_FALSE(Parse(order).ok) << "byte order neither II nor MM";
  Bytes magic = good;
  magic[2] = 43;
  EXPECT_FALSE(Parse(magic).ok) << "43 instead of 42";
  EXPECT_FALSE(Parse(Bytes(good.begin(), good.begin() + 7)).ok) << "TIFF header cut short";
  EXPECT_FALSE(Parse({}).ok) << "identifier only";
}

TEST(ExifBlock, FirstDirectoryOffsetsEightToSixteen) {
  for (uint32_t gap : {0u, 8u, 12u}) {
    Parsed p = Parse(TiffBlock(Ifd(true).Short(0x0112, 3), gap));
    bool walked = 8 + gap <= 16;
    EXPECT_EQ(p.ok, walked) << "IFD0 at " << 8 + gap;
    EXPECT_EQ(p.record.exifOrientation, walked ? 3 : 0) << "IFD0 at " << 8 + gap;
  }
  // Offset 16 is walked where it points, not at 8.
  Bytes tiff = TiffBlock(Ifd().Short(0x0112, 2), 8);
  tiff[8] = 1;  // filler that would read as a one-entry directory at 8
  EXPECT_EQ(Parse(tiff).record.exifOrientation, 2);
}

TEST(ExifBlock, ResetsFlashCommentAndLargestDimension) {
  JpegExifRecord record = {};
  record.flashFired = 1;
  std::strcpy(record.commentText, "from a COM segment");
  JpegExifReader reader(record);
  reader.largestPixelDimension = 5000;
  Bytes segment = {0, 0, 'E', 'x', 'i', 'f', 0, 0};
  Append(segment, TiffBlock(Ifd().Long(0xA002, 640).Rational(0xA20E, 100, 1).Short(0xA210, 2)));
  EXPECT_TRUE(ParseExifBlock(reader, segment.data() + 2, int32_t(segment.size())));
  EXPECT_EQ(record.flashFired, 0);
  EXPECT_STREQ(record.commentText, "");
  EXPECT_EQ(reader.largestPixelDimension, 640);
  EXPECT_FLOAT_EQ(record.sensorWidth, 6.4f);
}

TEST(ExifBlock, CameraTagsAcrossDirectories) {
  Ifd exif(false);
  exif.Rational(0x829A, 1, 250)
      .Rational(0x829D, 28, 10)
      .Short(0x8822, 2)
      .Short(0x8827, 100)
      .Undefined(0x9000, TextBytes("0230"))
      .Ascii(0x9003, "2024:05:06 07:08:09")
      .Rational(0x9102, 5, 2)
      .Rational(0x9203, uint32_t(-3), 2, 10)
      .Rational(0x9204, uint32_t(-2), 3, 10)
      .Rational(0x9206, 15, 10)
      .Short(0x9207, 5)
      .Short(0x9208, 4)
      .Short(0x9209, 0x19)
      .Rational(0x920A, 50, 1)
      .Long(0xA002, 4000)
      .Long(0xA003, 3000)
      .Rational(0xA20E, 4000, 22)
      .Rational(0xA20F, 3000, 16)
      .Short(0xA210, 4);
  Ifd ifd0(false);
  ifd0.Ascii(0x010F, "Maker")
      .Ascii(0x0110, "Model X")
      .Rational(0x011A, 72, 1)
      .Rational(0x011B, 300, 1)
      .Short(0x0128, 3)
      .Sub(0x8769, exif);
  Parsed p = Parse(TiffBlock(ifd0));
  ASSERT_TRUE(p.ok);
  const JpegExifRecord& r = p.record;
  EXPECT_STREQ(r.make, "Maker");
  EXPECT_STREQ(r.model, "Model X");
  EXPECT_EQ(r.xResolution, 72.0f);
  EXPECT_EQ(r.yResolution, 300.0f);
  EXPECT_EQ(FloatBits(r.resolutionUnitInches), 0x3EC99326u);
  EXPECT_EQ(r.exposureTime, float(1.0 / 250));
  EXPECT_EQ(r.fNumber, 2.8f);
  EXPECT_EQ(r.exposureProgram, 2);
  EXPECT_EQ(r.isoSpeed, 100);
  EXPECT_STREQ(r.exifVersion, "0230");
  EXPECT_STREQ(r.dateTimeOriginal, "2024:05:06 07:08:09");
  EXPECT_EQ(r.compressedBitsPerPixel, 2);  // 2.5 truncated
  EXPECT_EQ(r.brightnessValue, -1.5f);
  EXPECT_EQ(r.exposureBiasValue, float(-2.0 / 3));
  EXPECT_EQ(r.subjectDistance, 1.5f);
  EXPECT_EQ(r.meteringMode, 5);
  EXPECT_EQ(r.lightSource, 4);
  EXPECT_EQ(r.flashFired, 1);
  EXPECT_EQ(r.focalLength, 50.0f);
  EXPECT_EQ(r.focalPlaneXResolution, float(4000.0 / 22));
  EXPECT_EQ(r.focalPlaneYResolution, 187.5f);
  EXPECT_EQ(FloatBits(r.focalPlaneUnitInches), 0x3D214285u);
  EXPECT_EQ(r.sensorWidth, 4000.0f * r.focalPlaneUnitInches / r.focalPlaneXResolution);
}

TEST(ExifBlock, UnitTable) {
  const struct {
    uint32_t unit, bits;
  } rows[] = {{1, 0x3F800000}, {2, 0x3F800000}, {3, 0x3EC99326}, {4, 0x3D214285}, {5, 0x3825214D}};
  for (const auto& row : rows) {
    Parsed p = Parse(TiffBlock(Ifd().Short(0x0128, row.unit).Short(0xA210, row.unit)));
    EXPECT_EQ(FloatBits(p.record.resolutionUnitInches), row.bits) << "unit " << row.unit;
    EXPECT_EQ(FloatBits(p.record.focalPlaneUnitInches), row.bits) << "unit " << row.unit;
  }
  // Unknown units leave the field as it was.
  Parsed p = Parse(TiffBlock(Ifd().Short(0x0128, 3).Short(0x0128, 6).Short(0xA210, 0)));
  EXPECT_EQ(FloatBits(p.record.resolutionUnitInches), 0x3EC99326u);
  EXPECT_EQ(p.record.focalPlaneUnitInches, 0.0f);
}

TEST(ExifBlock, IsoBelowFiftyIsInUnitsOfTwoHundred) {
  EXPECT_EQ(Parse(TiffBlock(Ifd().Short(0x8827, 2))).record.isoSpeed, 400);
  EXPECT_EQ(Parse(TiffBlock(Ifd().Short(0x8827, 49))).record.isoSpeed, 9800);
  EXPECT_EQ(Parse(TiffBlock(Ifd().Short(0x8827, 50))).record.isoSpeed, 50);
  EXPECT_EQ(Parse(TiffBlock(Ifd().Short(0x8827, 100))).record.isoSpeed, 100);
  // A negative SLONG this large would overflow when multiplied: it saturates instead.
  Ifd huge;
  huge.Raw(0x8827, 9, 1, huge.Num32(0x80000000u));
  EXPECT_EQ(Parse(TiffBlock(huge)).record.isoSpeed, INT32_MIN);
}

TEST(ExifBlock, ApexFallbacksOnlyWhenUnset) {
  // ShutterSpeedValue 8 -> 1/256 s; ApertureValue 4 -> f/4; MaxApertureValue 2 -> f/2.
  Parsed p = Parse(TiffBlock(Ifd().Rational(0x9201, 8, 1, 10).Rational(0x9202, 4, 1)));
  EXPECT_FLOAT_EQ(p.record.exposureTime, 1.0f / 256);
  EXPECT_FLOAT_EQ(p.record.fNumber, 4.0f);
  p = Parse(TiffBlock(Ifd().Rational(0x9205, 2, 1)));
  EXPECT_FLOAT_EQ(p.record.fNumber, 2.0f);

  // The direct tags win when they come first; when they come after they overwrite.
  p = Parse(TiffBlock(Ifd().Rational(0x829A, 1, 60).Rational(0x829D, 56, 10)
                          .Rational(0x9201, 8, 1, 10).Rational(0x9202, 4, 1)
                          .Rational(0x9205, 2, 1)));
  EXPECT_EQ(p.record.exposureTime, float(1.0 / 60));
  EXPECT_EQ(p.record.fNumber, 5.6f);
  p = Parse(TiffBlock(Ifd().Rational(0x9202, 4, 1).Rational(0x829D, 56, 10)));
  EXPECT_EQ(p.record.fNumber, 5.6f);
}

TEST(ExifBlock, RationalWithZeroDenominatorIsZero) {
  Parsed p = Parse(TiffBlock(Ifd().Rational(0x920A, 50, 0).Rational(0x9204, 7, 0, 10)));
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.record.focalLength, 0.0f);
  EXPECT_EQ(p.record.exposureBiasValue, 0.0f);
}

TEST(ExifBlock, TextLimits) {
  std::string longText(100, 'x');
  Parsed p = Parse(TiffBlock(Ifd().Ascii(0x010F, longText).Ascii(0x0110, longText)
                                 .Ascii(0x9003, longText).Undefined(0x9000, TextBytes("0221xyz"))));
  EXPECT_EQ(std::strlen(p.record.make), 31u);
  EXPECT_EQ(std::strlen(p.record.model), 39u);
  EXPECT_EQ(std::strlen(p.record.dateTimeOriginal), 19u);
  EXPECT_STREQ(p.record.exifVersion, "0221");

  // A text without its zero byte ends with its value, not in the bytes that follow it.
  Ifd noZero;
  noZero.Raw(0x010F, 2, 4, TextBytes("ABCD")).Short(0x0112, 0x4545);
  EXPECT_STREQ(Parse(TiffBlock(noZero)).record.make, "ABCD");
}

TEST(ExifBlock, LastDirectoryWalkedWins) {
  // IFD0 -> Exif IFD (orientation 4) then IFD0's own later entry, then IFD1 via the link.
  Ifd ifd1;
  ifd1.Short(0x0112, 7).Ascii(0x010F, "Second");
  Ifd ifd0;
  ifd0.Short(0x0112, 1).Sub(0x8769, Ifd().Short(0x0112, 4)).Ascii(0x010F, "First").Next(ifd1);
  Parsed p = Parse(TiffBlock(ifd0));
  EXPECT_EQ(p.record.exifOrientation, 7);
  EXPECT_STREQ(p.record.make, "Second");

  Ifd noLink;
  noLink.Short(0x0112, 1).Sub(0x8769, Ifd().Short(0x0112, 4));
  EXPECT_EQ(Parse(TiffBlock(noLink)).record.exifOrientation, 4);
}

TEST(ExifBlock, WalkFailuresOfTheFirstDirectory) {
  struct Row {
    const char* what;
    Ifd ifd;
  };
  Row rows[] = {
      {"format code 13", Ifd().Short(0x0112, 6).Raw(0x1234, 13, 1, {})},
      {"value outside the block", Ifd().Short(0x0112, 6).Field(0x010F, 2, 10, 0xFFFFFFF0u)},
      {"value overflowing offset + length", Ifd().Short(0x0112, 6).Field(0x010F, 2, 0xFFFFFFFFu, 20)},
      {"count x size overflowing 32 bits", Ifd().Short(0x0112, 6).Field(0x010F, 12, 0x20000001u, 8)},
      {"sub-directory pointer outside", Ifd().Short(0x0112, 6).Field(0x8769, 4, 1, 5000)},
      {"next link outside", Ifd().Short(0x0112, 6).NextOffset(5000)},
  };
  for (Row& row : rows) {
    Parsed p = Parse(TiffBlock(row.ifd));
    EXPECT_FALSE(p.ok) << row.what;
    EXPECT_EQ(p.record.exifOrientation, 6) << row.what;  // stored before the failure
  }
  // A directory whose entries run past the block end.
  Bytes tiff = TiffBlock(Ifd().Short(0x0112, 6));
  tiff[8] = 2;
  EXPECT_FALSE(Parse(tiff).ok) << "entry count past the end";
  tiff.resize(9);
  EXPECT_FALSE(Parse(tiff).ok) << "entry count itself past the end";
}

TEST(ExifBlock, FailuresBelowTheFirstDirectoryAreIgnored) {
  Ifd bad;
  bad.Short(0x0112, 3).Raw(0x1234, 99, 1, {});
  Ifd ifd0;
  ifd0.Sub(0x8769, bad).Ascii(0x010F, "After");
  Parsed p = Parse(TiffBlock(ifd0));
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.record.exifOrientation, 3);
  EXPECT_STREQ(p.record.make, "After");

  // A sub-directory inside the block whose entry count runs past the block end: the two
  // bytes appended after IFD0 (which ends at 8 + 2 + 2 * 12 + 4 = 38) read as 0x7FFF entries.
  Bytes tiff = TiffBlock(Ifd().Short(0x0112, 5).Field(0xA005, 4, 1, 38));
  ASSERT_EQ(tiff.size(), 38u);
  Append(tiff, {0xFF, 0x7F});
  Parsed sub = Parse(tiff);
  EXPECT_TRUE(sub.ok);
  EXPECT_EQ(sub.record.exifOrientation, 5);
}

TEST(ExifBlock, NextLinkPastTheEndCountsAsNone) {
  Bytes tiff = TiffBlock(Ifd().Short(0x0112, 8));
  tiff.resize(tiff.size() - 4);  // the directory ends exactly at the block end
  Parsed p = Parse(tiff);
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.record.exifOrientation, 8);
}

TEST(ExifBlock, DirectoryLoopsEnd) {
  // IFD0 points its Exif IFD back at itself and links to itself.
  Parsed self = Parse(TiffBlock(Ifd().Short(0x0112, 6).Field(0x8769, 4, 1, 8).NextOffset(8)));
  EXPECT_TRUE(self.ok);
  EXPECT_EQ(self.record.exifOrientation, 6);

  // Two directories linking to each other, in both byte orders.
  for (bool bigEndian : {false, true}) {
    Ifd ifd0(bigEndian);
    ifd0.Short(0x0112, 2).Next(Ifd(bigEndian).Short(0x0128, 3).NextOffset(8));
    Parsed p = Parse(TiffBlock(ifd0));
    EXPECT_TRUE(p.ok);
    EXPECT_EQ(p.record.exifOrientation, 2);
  }
}

TEST(ExifBlock, DeepChainsAndFanOutStop) {
  // A chain of directories each pointing to the next: deeper than the bound.
  Ifd chain;
  chain.Short(0x0112, 8);
  for (int i = 0; i < 200; ++i) chain = Ifd().Short(0x8827, 100).Sub(0x8769, chain);
  Parsed p = Parse(TiffBlock(chain));
  EXPECT_TRUE(p.ok);
  EXPECT_EQ(p.record.isoSpeed, 100);
  EXPECT_EQ(p.record.exifOrientation, 0) << "the deepest directory lies beyond the bound";

  // Every directory points eight times at the next: without the visited record the walk
  // would take 8^16 steps; with it each directory is walked once, down to the depth bound.
  const ByteOrder order{false};
  const uint32_t kPointers = 8, kDirectorySize = 2 + 12 * kPointers + 4;
  Bytes tiff = TiffBlock(Ifd());
  tiff.resize(8);
  for (uint32_t i = 0; i < 40; ++i) {
    uint32_t next = 8 + (i + 1) * kDirectorySize;
    order.U16(tiff, kPointers);
    for (uint32_t k = 0; k < kPointers; ++k) {
      order.U16(tiff, 0x8769), order.U16(tiff, 4), order.U32(tiff, 1);
      order.U32(tiff, i + 1 < 40 ? next : 8);
    }
    order.U32(tiff, 0);
  }
  EXPECT_TRUE(Parse(tiff).ok);
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  DirectoryTrail trail = {};
  ExifBlock block = {tiff.data(), uint32_t(tiff.size())};
  EXPECT_TRUE(WalkDirectory(reader, 8, block, trail));
  EXPECT_EQ(trail.visitedCount, kMaxDirectoryDepth + 1);
  EXPECT_EQ(trail.depth, 0);
}

TEST(ExifBlock, WideTreeStopsAtTheDirectoryBound) {
  // IFD0 points at 100 distinct empty directories (each one a zero entry count).
  const uint32_t kWide = 100, kIfd0Size = 2 + 12 * kWide + 4;
  Ifd ifd0;
  for (uint32_t i = 0; i < kWide; ++i) ifd0.Field(0x8769, 4, 1, 8 + kIfd0Size + 6 * i);
  Bytes tiff = TiffBlock(ifd0);
  tiff.resize(tiff.size() + 6 * kWide, 0);
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  DirectoryTrail trail = {};
  ExifBlock block = {tiff.data(), uint32_t(tiff.size())};
  EXPECT_TRUE(WalkDirectory(reader, 8, block, trail));
  EXPECT_EQ(trail.visitedCount, kMaxDirectories);
}

TEST(ExifBlock, Thumbnail) {
  Bytes jpegThumb = {0xFF, 0xD8, 1, 2, 3, 0xFF, 0xD9};
  Ifd ifd1;
  ifd1.Long(0x0201, 0).Long(0x0202, uint32_t(jpegThumb.size()));
  Ifd ifd0;
  ifd0.Short(0x0112, 1).Next(ifd1);
  Bytes tiff = TiffBlock(ifd0);
  uint32_t thumbAt = uint32_t(tiff.size());
  Append(tiff, jpegThumb);
  // Point IFD1's offset entry (its first) at the appended bytes.
  uint32_t ifd1At = 8 + 2 + 12 + 4;
  ifd0.order.Put32(tiff, ifd1At + 2 + 8, thumbAt);
  ReadOutcome r = ReadExif(tiff);
  EXPECT_EQ(r.record.thumbnailLength, int32_t(jpegThumb.size()));
  EXPECT_EQ(r.thumbnail, jpegThumb);

  // A thumbnail that lies past the block end is not taken.
  ifd0.order.Put32(tiff, ifd1At + 2 + 12 + 8, uint32_t(jpegThumb.size() + 1));
  r = ReadExif(tiff);
  EXPECT_EQ(r.record.exifFound, 1);
  EXPECT_EQ(r.record.thumbnailLength, 0);
  EXPECT_TRUE(r.thumbnail.empty());

  // Offset and length that overflow 32 bits when added, and a negative offset, are not taken.
  Ifd wrap;
  wrap.Long(0x0201, 0x7FFFFFFF).Long(0x0202, 0x7FFFFFFF);
  EXPECT_EQ(ReadExif(TiffBlock(wrap)).record.thumbnailLength, 0);
  Ifd negative;
  negative.Raw(0x0201, 9, 1, negative.Num32(uint32_t(-8))).Long(0x0202, 4);
  EXPECT_EQ(ReadExif(TiffBlock(negative)).record.thumbnailLength, 0);
}

}  // namespace
