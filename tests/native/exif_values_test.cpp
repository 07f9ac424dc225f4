// Number conversion, the user-comment rule and the comment segment.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "exif/exif_parse.h"
#include "exif_builder.h"

namespace {

TEST(ExifNumber, EveryFormatInBothByteOrders) {
  const Bytes le = {0xFE, 0xFF, 0xFF, 0xFF, 0x02, 0x00, 0x00, 0x00};  // -2 / 2 as SRATIONAL
  const Bytes be = {0xFF, 0xFF, 0xFF, 0xFE, 0x00, 0x00, 0x00, 0x02};
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatByte, false), 254);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatSByte, false), -2);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatShort, false), 0xFFFE);
  EXPECT_EQ(ReadNumber(be.data(), 8, kExifFormatShort, true), 0xFFFF);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatSShort, false), -2);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatLong, false), 4294967294.0);
  EXPECT_EQ(ReadNumber(be.data(), 8, kExifFormatLong, true), 4294967294.0);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatSLong, false), -2);
  EXPECT_EQ(ReadNumber(be.data(), 8, kExifFormatSLong, true), -2);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatRational, false), 4294967294.0 / 2);
  EXPECT_EQ(ReadNumber(le.data(), 8, kExifFormatSRational, false), -1);
  EXPECT_EQ(ReadNumber(be.data(), 8, kExifFormatSRational, true), -1);
  for (int32_t format : {int32_t{kExifFormatNone}, int32_t{kExifFormatAscii}, int32_t{kExifFormatUndefined}, 13, -1}) {
    EXPECT_EQ(ReadNumber(le.data(), 8, format, false), 0) << "format " << format;
  }

  Bytes f = {0x00, 0x00, 0xC0, 0x3F};  // 1.5f little-endian
  EXPECT_EQ(ReadNumber(f.data(), 4, kExifFormatFloat, false), 1.5);
  Bytes fb = {0x3F, 0xC0, 0x00, 0x00};
  EXPECT_EQ(ReadNumber(fb.data(), 4, kExifFormatFloat, true), 1.5);
  Bytes d = {0, 0, 0, 0, 0, 0, 0x04, 0xC0};  // -2.5 little-endian
  EXPECT_EQ(ReadNumber(d.data(), 8, kExifFormatDouble, false), -2.5);
  Bytes db(d.rbegin(), d.rend());
  EXPECT_EQ(ReadNumber(db.data(), 8, kExifFormatDouble, true), -2.5);
}

TEST(ExifNumber, ZeroDenominatorsAndShortValues) {
  const Bytes zero = {5, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ReadNumber(zero.data(), 8, kExifFormatRational, false), 0);
  EXPECT_EQ(ReadNumber(zero.data(), 8, kExifFormatSRational, false), 0);
  // A component that does not fit in the readable bytes is not read.
  const Bytes one = {1, 0, 0, 0, 1, 0, 0, 0};
  EXPECT_EQ(ReadNumber(one.data(), 7, kExifFormatRational, false), 0);
  EXPECT_EQ(ReadNumber(one.data(), 8, kExifFormatRational, false), 1);
  EXPECT_EQ(ReadNumber(one.data(), 1, kExifFormatShort, false), 0);
  EXPECT_EQ(ReadNumber(one.data(), 0, kExifFormatByte, false), 0);
}

TEST(ExifNumber, IntAndFloatStorageNeverOverflow) {
  EXPECT_EQ(NumberToInt(2.9), 2);
  EXPECT_EQ(NumberToInt(-2.9), -2);
  EXPECT_EQ(NumberToInt(4294967295.0), INT32_MAX);
  EXPECT_EQ(NumberToInt(-1e300), INT32_MIN);
  EXPECT_EQ(NumberToInt(std::nan("")), 0);
  EXPECT_EQ(NumberToFloat(0.1), 0.1f);
  EXPECT_EQ(NumberToFloat(1e300), std::numeric_limits<float>::infinity());
  EXPECT_EQ(NumberToFloat(-1e300), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(NumberToFloat(double(std::numeric_limits<float>::max()) * (1 + 1e-9)),
            std::numeric_limits<float>::max());
  EXPECT_TRUE(std::isnan(NumberToFloat(std::nan(""))));
}

// The user comment as stored, for a value of the given bytes.
std::string UserComment(const std::string& value) {
  JpegExifRecord record = {};
  std::memset(record.commentText, 'z', sizeof record.commentText - 1);  // an earlier comment
  std::strcpy(record.commentText, "earlier");
  TakeUserComment(record, reinterpret_cast<const uint8_t*>(value.data()), value.size());
  if (std::strcmp(record.commentText, "earlier") != 0) {
    EXPECT_EQ(record.commentText[199], 0) << "a stored text ends within 199 bytes";
  }
  return record.commentText;
}

TEST(ExifUserComment, AsciiPrefixAndTrailingSpaces) {
  EXPECT_EQ(UserComment(std::string("ASCII\0\0\0Hello   ", 16)), "Hello");
  EXPECT_EQ(UserComment(std::string("ASCII  \0 Hi", 11)), "Hi");
  EXPECT_EQ(UserComment(std::string("ASCII\0\0\0\0\0late", 14)), "earlier") << "text after byte 9";
  EXPECT_EQ(UserComment(std::string("ASCII\0\0\0     ", 13)), "earlier") << "spaces only";
  EXPECT_EQ(UserComment("ASCII"), "earlier");
  EXPECT_EQ(UserComment(std::string("UNICODE\0H\0i\0", 12)), "UNICODE");
  EXPECT_EQ(UserComment(std::string(8, '\0') + "text"), "");
  EXPECT_EQ(UserComment("plain words  "), "plain words");
  EXPECT_EQ(UserComment("ASCIIX"), "X") << "text right at byte 5";
}

TEST(ExifUserComment, LongTextIsCutAt199Bytes) {
  std::string body(300, 'a');
  body[198] = 'b';
  std::string stored = UserComment(std::string("ASCII\0\0\0", 8) + body);
  EXPECT_EQ(stored.size(), 199u);
  EXPECT_EQ(stored.back(), 'b');
}

TEST(ExifUserComment, ThroughTheTagInEitherPlace) {
  // Four bytes lie in the value field itself, longer values at an offset.
  Ifd inField;
  inField.Undefined(0x9286, TextBytes("ab  "));
  ReadOutcome r = ReadExif(TiffBlock(inField));
  EXPECT_STREQ(r.record.commentText, "ab");
  Ifd atOffset(true);
  atOffset.Undefined(0x9286, TextBytes(std::string("ASCII\0\0\0camera", 14)));
  r = ReadExif(TiffBlock(atOffset));
  EXPECT_STREQ(r.record.commentText, "camera");
}

// The comment segment's text for a segment of the given body.
std::string Comment(const std::string& body) {
  Bytes segment = {uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)};
  Append(segment, TextBytes(body));
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  TakeComment(reader, segment.data(), int32_t(segment.size()));
  return record.commentText;
}

TEST(ExifComment, Translation) {
  EXPECT_EQ(Comment("line\r\nnext"), "line\nnext");
  EXPECT_EQ(Comment("a\rb"), "a?b");
  EXPECT_EQ(Comment("end\r"), "end?");
  EXPECT_EQ(Comment("tab\there\n"), "tab\there\n");
  EXPECT_EQ(Comment(std::string("x\0y\x1b\x7f", 5)), "x?y?\x7f");
  EXPECT_EQ(Comment("\xe9t\xe9"), "\xe9t\xe9");
  EXPECT_EQ(Comment(""), "");
}

TEST(ExifComment, LongSegmentGives998Characters) {
  std::string body(1998, 'c');
  body[997] = 'L';
  std::string text = Comment(body);
  EXPECT_EQ(text.size(), 998u);
  EXPECT_EQ(text.back(), 'L');
  // A carriage return at the last taken byte looks at the next byte of the segment.
  body[997] = '\r';
  body[998] = '\n';
  EXPECT_EQ(Comment(body).size(), 997u);
}

TEST(ExifComment, OrderAgainstTheExifBlock) {
  Ifd withComment;
  withComment.Short(0x0112, 6).Undefined(0x9286, TextBytes("user words"));
  Bytes exif = ExifSegment(TiffBlock(withComment));
  Bytes first = Segment(0xFE, TextBytes("first COM"));
  Bytes second = Segment(0xFE, TextBytes("second COM"));

  ReadOutcome before = ReadBytes(Jpeg({first, ExifSegment(TiffBlock(Ifd().Short(0x0112, 6)))}));
  EXPECT_STREQ(before.record.commentText, "") << "the EXIF block empties an earlier comment";
  ReadOutcome after = ReadBytes(Jpeg({exif, first, second}));
  EXPECT_STREQ(after.record.commentText, "first COM");
  ReadOutcome userOnly = ReadBytes(Jpeg({exif}));
  EXPECT_STREQ(userOnly.record.commentText, "user words");

  std::string big(1998, 'p');
  ReadOutcome large = ReadBytes(Jpeg({exif, Segment(0xFE, TextBytes(big))}));
  EXPECT_EQ(std::strlen(large.record.commentText), 998u);
}

}  // namespace
