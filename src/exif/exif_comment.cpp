// The two sources of commentText: a COM segment and the EXIF UserComment tag.
#include <cstring>

#include "exif/exif_parse.h"

namespace {

constexpr size_t kCommentSegmentLimit = 1000;  // segment bytes looked at, length field included
constexpr size_t kUserCommentLimit = 199;
constexpr uint8_t kCarriageReturn = 13, kLineFeed = 10, kTab = 9;

// One COM byte as it is kept; 0 means the byte is dropped.
uint8_t TranslateCommentByte(uint8_t byte, bool nextIsLineFeed) {
  if (byte == kCarriageReturn) return nextIsLineFeed ? 0 : '?';
  if (byte == kTab || byte == kLineFeed || byte >= 32) return byte;
  return '?';
}

}  // namespace

void TakeComment(JpegExifReader& reader, const uint8_t* segment, int32_t length) {
  char* out = reader.record.commentText;
  size_t end = length > 0 ? static_cast<size_t>(length) : 0;
  size_t stop = end < kCommentSegmentLimit ? end : kCommentSegmentLimit;
  size_t written = 0;
  for (size_t i = 2; i < stop; ++i) {
    bool nextIsLineFeed = i + 1 < end && segment[i + 1] == kLineFeed;
    uint8_t kept = TranslateCommentByte(segment[i], nextIsLineFeed);
    if (kept != 0) out[written++] = static_cast<char>(kept);
  }
  // At most 998 bytes are taken, so the terminator always fits the 1000-byte field.
  out[written] = 0;
}

void TakeUserComment(JpegExifRecord& record, const uint8_t* value, size_t byteCount) {
  // Trailing spaces count as zero bytes; the value itself is left as it is.
  size_t textEnd = byteCount;
  while (textEnd > 0 && value[textEnd - 1] == ' ') --textEnd;

  size_t start = 0;
  if (textEnd >= 5 && std::memcmp(value, "ASCII", 5) == 0) {
    size_t last = textEnd < 10 ? textEnd : 10;
    for (start = 5; start < last; ++start) {
      if (value[start] != 0 && value[start] != ' ') break;
    }
    if (start == last) return;  // "ASCII" with no text after it stores nothing
  }

  // A bounded copy of 199 bytes that stops at a zero byte; everything after it is cleared so
  // no text of an earlier comment shows through behind a long user comment.
  char* out = record.commentText;
  std::memset(out, 0, sizeof record.commentText);
  for (size_t i = start; i < textEnd && i - start < kUserCommentLimit && value[i] != 0; ++i) {
    out[i - start] = static_cast<char>(value[i]);
  }
}
