// The JPEG marker walk: segments, padding, the 20-segment rule and every failure row.
#include <gtest/gtest.h>

#include "exif/exif_parse.h"
#include "exif_builder.h"

namespace {

Bytes OrientationTiff(uint32_t orientation, bool bigEndian = false) {
  return TiffBlock(Ifd(bigEndian).Short(0x0112, orientation));
}

TEST(ExifMarkerWalk, WalksToStartOfScanAndReadsTheFrame) {
  ReadOutcome r = ReadBytes(Jpeg({Segment(0xE0, TextBytes("JFIF\0")),
                                  Segment(0xDB, Bytes(65, 1))}));
  EXPECT_TRUE(r.started);
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.exifFound, 0);
  EXPECT_EQ(r.record.frameHeight, 480);
  EXPECT_EQ(r.record.frameWidth, 640);
  EXPECT_EQ(r.record.threeComponents, 1);
  EXPECT_EQ(r.record.frameMarker, 0xC0);
  // DQT, frame and scan are retained; APP0 is dropped.
  EXPECT_EQ(r.segmentsHeld, 3);
  EXPECT_EQ(r.output, "");
}

TEST(ExifMarkerWalk, FrameHeaderKindsAndShortFrames) {
  Bytes progressive = {0xFF, 0xD8};
  Append(progressive, FrameSegment(100, 200, 1, 0xC2));
  Append(progressive, ScanSegment());
  ReadOutcome r = ReadBytes(progressive);
  EXPECT_EQ(r.record.frameMarker, 0xC2);
  EXPECT_EQ(r.record.frameHeight, 100);
  EXPECT_EQ(r.record.frameWidth, 200);
  EXPECT_EQ(r.record.threeComponents, 0);

  // 0xC4 (Huffman table) is no frame header; a frame of 7 bytes sets nothing.
  Bytes other = {0xFF, 0xD8};
  Append(other, Segment(0xC4, {8, 1, 2, 3, 4, 3, 0}));
  Append(other, Segment(0xC1, {8, 1, 2, 3, 4}));
  Append(other, ScanSegment());
  r = ReadBytes(other);
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.frameMarker, 0);
  EXPECT_EQ(r.record.frameHeight, 0);
}

TEST(ExifMarkerWalk, OrientationInBothByteOrders) {
  for (bool bigEndian : {false, true}) {
    ReadOutcome r = ReadExif(OrientationTiff(6, bigEndian));
    EXPECT_TRUE(r.walkResult) << "bigEndian " << bigEndian;
    EXPECT_EQ(r.record.exifFound, 1) << "bigEndian " << bigEndian;
    EXPECT_EQ(r.record.exifOrientation, 6) << "bigEndian " << bigEndian;
  }
}

TEST(ExifMarkerWalk, OrientationValuesOutsideOneToEightStoreZero) {
  for (uint32_t v = 0; v <= 9; ++v) {
    ReadOutcome r = ReadExif(OrientationTiff(v));
    EXPECT_EQ(r.record.exifFound, 1) << "orientation " << v;
    EXPECT_EQ(r.record.exifOrientation, v >= 1 && v <= 8 ? int32_t(v) : 0) << "orientation " << v;
  }
}

TEST(ExifMarkerWalk, NoApp1MeansNoExif) {
  ReadOutcome r = ReadBytes(Jpeg({}));
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.exifFound, 0);
  EXPECT_EQ(r.record.exifOrientation, 0);
}

TEST(ExifMarkerWalk, FileCutAfterApp1KeepsExifFound) {
  Bytes file = {0xFF, 0xD8};
  Append(file, ExifSegment(OrientationTiff(8)));
  for (size_t extra : {0, 1, 3}) {
    Bytes cut = file;
    Append(cut, Bytes{0xFF, 0xDB, 0x00, 0x43, 0x00}); // a DQT cut short
    cut.resize(file.size() + extra);
    ReadOutcome r = ReadBytes(cut);
    EXPECT_FALSE(r.walkResult) << "extra " << extra;
    EXPECT_EQ(r.record.exifFound, 1) << "extra " << extra;
    EXPECT_EQ(r.record.exifOrientation, 8) << "extra " << extra;
  }
}

TEST(ExifMarkerWalk, SecondExifBlockOverwritesExifFound) {
  Bytes bad = Segment(0xE1, TextBytes(std::string("Exif\0\0XX", 8) + std::string(8, 0)));
  ReadOutcome r = ReadBytes(Jpeg({ExifSegment(OrientationTiff(3)), bad}));
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.exifFound, 0);
  EXPECT_EQ(r.record.exifOrientation, 3);  // stored by the first block; the viewer ignores it

  r = ReadBytes(Jpeg({bad, ExifSegment(OrientationTiff(5))}));
  EXPECT_EQ(r.record.exifFound, 1);
  EXPECT_EQ(r.record.exifOrientation, 5);
}

Bytes WithFill(int fillBytes) {
  Bytes file = {0xFF, 0xD8};
  file.insert(file.end(), size_t(fillBytes - 1), 0xFF);  // the marker's own 0xFF comes last
  Append(file, ExifSegment(OrientationTiff(6)));
  Append(file, FrameSegment(1, 1, 3));
  Append(file, ScanSegment());
  return file;
}

TEST(ExifMarkerWalk, SixFillBytesPassSevenFail) {
  ReadOutcome six = ReadBytes(WithFill(6));
  EXPECT_TRUE(six.walkResult);
  EXPECT_EQ(six.record.exifOrientation, 6);
  EXPECT_EQ(six.output, "");

  ReadOutcome seven = ReadBytes(WithFill(7));
  EXPECT_FALSE(seven.walkResult);
  EXPECT_EQ(seven.record.exifFound, 0);
  EXPECT_EQ(seven.output, "too many padding unsigned chars\n");
}

TEST(ExifMarkerWalk, MarkerCodeWithoutFillByteIsTakenAsIs) {
  Bytes file = {0xFF, 0xD8};
  Bytes exif = ExifSegment(OrientationTiff(7));
  file.insert(file.end(), exif.begin() + 1, exif.end());  // no 0xFF before 0xE1
  Append(file, ScanSegment());
  ReadOutcome r = ReadBytes(file);
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.exifOrientation, 7);
}

TEST(ExifMarkerWalk, FailureRows) {
  struct Row {
    const char* what;
    Bytes file;
    const char* output;
  };
  Bytes header = {0xFF, 0xD8};
  auto with = [&](const Bytes& tail) {
    Bytes b = header;
    Append(b, tail);
    return b;
  };
  const Row rows[] = {
      {"second byte not 0xD8", {0xFF, 0xD9, 0xFF, 0xE1}, ""},
      {"only the first byte", {0xFF}, ""},
      {"end of file at the marker", header, ""},
      {"end of file at the length", with({0xFF, 0xDB}), ""},
      {"end of file inside the length", with({0xFF, 0xDB, 0x00}), ""},
      {"length 1", with({0xFF, 0xDB, 0x00, 0x01, 0xAA}), ""},
      {"length 0", with({0xFF, 0xDB, 0x00, 0x00}), ""},
      {"body cut short", with({0xFF, 0xDB, 0x00, 0x10, 1, 2, 3}), ""},
      {"end of image first", with({0xFF, 0xD9, 0x00, 0x02}), "No image in jpeg!\n"},
  };
  for (const Row& row : rows) {
    ReadOutcome r = ReadBytes(row.file);
    EXPECT_TRUE(r.started) << row.what;
    EXPECT_FALSE(r.walkResult) << row.what;
    EXPECT_EQ(r.output, row.output) << row.what;
  }
}

TEST(ExifMarkerWalk, OtherFirstByteNeverStartsTheReader) {
  ReadOutcome png = ReadBytes({0x89, 'P', 'N', 'G'});
  EXPECT_FALSE(png.started);
  EXPECT_EQ(png.record.exifFound, 0);
}

// `retained` segments of a kept kind (DQT) before the scan.
Bytes RetainedSegments(int retained, const std::vector<Bytes>& extra = {}) {
  Bytes file = {0xFF, 0xD8};
  for (const Bytes& s : extra) Append(file, s);
  for (int i = 0; i < retained; ++i) Append(file, Segment(0xDB, {uint8_t(i)}));
  Append(file, ScanSegment());
  return file;
}

TEST(ExifMarkerWalk, TwentySegmentRule) {
  ReadOutcome nineteen = ReadBytes(RetainedSegments(19));
  EXPECT_TRUE(nineteen.walkResult);
  EXPECT_EQ(nineteen.segmentsHeld, 20);

  ReadOutcome twenty = ReadBytes(RetainedSegments(20));
  EXPECT_FALSE(twenty.walkResult);
  EXPECT_EQ(twenty.segmentsHeld, 20);
}

TEST(ExifMarkerWalk, DroppedSegmentsDoNotCount) {
  std::vector<Bytes> dropped;
  for (int i = 0; i < 30; ++i) {
    dropped.push_back(Segment(0xE1, TextBytes("http://ns.adobe.com/xap/1.0/\0<x/>")));
    dropped.push_back(Segment(0xE0, TextBytes("JFIF")));
    dropped.push_back(Segment(0xE1, {'E', 'x'}));  // too short for its identifier
  }
  dropped.push_back(Segment(0xFE, TextBytes("first")));  // retained
  for (int i = 0; i < 10; ++i) dropped.push_back(Segment(0xFE, TextBytes("later")));
  ReadOutcome r = ReadBytes(RetainedSegments(18, dropped));
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.segmentsHeld, 20);
  EXPECT_STREQ(r.record.commentText, "first");
}

TEST(ExifMarkerWalk, StopsAtStartOfScan) {
  // Whatever follows the scan header is never looked at, so a second EXIF block there is unseen.
  Bytes file = Jpeg({});
  Append(file, ExifSegment(OrientationTiff(6)));
  ReadOutcome r = ReadBytes(file);
  EXPECT_TRUE(r.walkResult);
  EXPECT_EQ(r.record.exifFound, 0);
}

TEST(ExifMarkerWalk, ReleaseSegmentsFreesEverySlotAndIsRepeatable) {
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  Bytes file = RetainedSegments(5);
  FILE* f = fmemopen(file.data(), file.size(), "rb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fgetc(f), 0xFF);
  EXPECT_TRUE(ReadJpegMetadata(f, reader));
  std::fclose(f);
  EXPECT_EQ(reader.segmentCount, 6);
  EXPECT_EQ(reader.segments[5].marker, 0xDA);
  EXPECT_EQ(reader.segments[5].length, 8);
  EXPECT_EQ(reader.segments[5].data[1], 8);  // the length field is the buffer's start
  ReleaseSegments(reader);
  EXPECT_EQ(reader.segmentCount, 0);
  for (const JpegSegment& s : reader.segments) EXPECT_EQ(s.data, nullptr);
  ReleaseSegments(reader);  // a second release finds nothing to free
}

}  // namespace
