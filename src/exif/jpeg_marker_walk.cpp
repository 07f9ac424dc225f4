// The JPEG marker walk: reads segments up to the start of scan and hands them to the parsers.
#include <cstdlib>
#include <cstring>

#include "exif/exif_parse.h"
#include "exif/jpeg_exif.h"

namespace {

constexpr int kMarkerStartOfImage = 0xD8;
constexpr int kMarkerEndOfImage = 0xD9;
constexpr int kMarkerStartOfScan = 0xDA;
constexpr int kMarkerApp0 = 0xE0;
constexpr int kMarkerApp1 = 0xE1;
constexpr int kMarkerComment = 0xFE;
constexpr int kMaxFillBytes = 6;  // 0xFF bytes before a marker code, the marker's own included
constexpr int32_t kFrameHeaderMinLength = 8;

// Reads 0xFF bytes up to the marker code. Returns the code (-1 at end of file), or -2 when
// there is too much padding.
int ReadMarkerCode(FILE* file) {
  int fillBytes = 0;
  int byte;
  while ((byte = std::fgetc(file)) == 0xFF) {
    if (++fillBytes > kMaxFillBytes) return -2;
  }
  return byte;
}

// The length field; end of file counts as -1 for a byte, so it gives a length below 2.
int32_t ReadLength(FILE* file, int* hi, int* lo) {
  *hi = std::fgetc(file);
  *lo = std::fgetc(file);
  return *hi * 256 + *lo;
}

bool IsFrameHeader(int marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void TakeFrameHeader(JpegExifRecord& record, const JpegSegment& segment) {
  if (segment.length < kFrameHeaderMinLength) return;
  const uint8_t* d = segment.data;
  record.frameHeight = (d[3] << 8) | d[4];
  record.frameWidth = (d[5] << 8) | d[6];
  record.threeComponents = d[7] == 3 ? 1 : 0;
  record.frameMarker = segment.marker;
}

bool IsExifSegment(const JpegSegment& segment) {
  return segment.length >= 6 && std::memcmp(segment.data + 2, "Exif", 4) == 0;
}

// Frees the newest slot so it is used again by the next segment.
void DropLastSegment(JpegExifReader& reader) {
  JpegSegment& slot = reader.segments[--reader.segmentCount];
  std::free(slot.data);
  slot = JpegSegment{};
}

// Reads one segment into the next slot. False (nothing held) on a bad length, a failed
// allocation or a body cut short.
bool ReadSegment(FILE* file, int marker, JpegExifReader& reader) {
  int hi, lo;
  int32_t length = ReadLength(file, &hi, &lo);
  if (length < 2) return false;
  // Owned by the slot from here on, or freed below.
  uint8_t* data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
  if (data == nullptr) return false;
  data[0] = static_cast<uint8_t>(hi);
  data[1] = static_cast<uint8_t>(lo);
  size_t bodyLength = static_cast<size_t>(length) - 2;
  if (std::fread(data + 2, 1, bodyLength, file) != bodyLength) {
    std::free(data);
    return false;
  }
  reader.segments[reader.segmentCount++] = JpegSegment{data, marker, length};
  return true;
}

enum class SegmentOutcome { kContinue, kStartOfScan, kEndOfImage };

// Acts on the segment just read into the newest slot.
SegmentOutcome ActOnSegment(JpegExifReader& reader, bool* commentTaken) {
  JpegSegment& segment = reader.segments[reader.segmentCount - 1];
  JpegExifRecord& record = reader.record;
  int marker = segment.marker;
  if (IsFrameHeader(marker)) {
    TakeFrameHeader(record, segment);
  } else if (marker == kMarkerEndOfImage) {
    return SegmentOutcome::kEndOfImage;
  } else if (marker == kMarkerStartOfScan) {
    return SegmentOutcome::kStartOfScan;
  } else if (marker == kMarkerApp0) {
    DropLastSegment(reader);
  } else if (marker == kMarkerApp1) {
    if (IsExifSegment(segment)) {
      record.exifFound = ParseExifBlock(reader, segment.data + 2, segment.length) ? 1 : 0;
    } else {
      DropLastSegment(reader);
    }
  } else if (marker == kMarkerComment) {
    if (*commentTaken) {
      DropLastSegment(reader);
    } else {
      TakeComment(reader, segment.data, segment.length);
      *commentTaken = true;
    }
  }
  return SegmentOutcome::kContinue;
}

}  // namespace

bool ReadJpegMetadata(FILE* file, JpegExifReader& reader) {
  if (std::fgetc(file) != kMarkerStartOfImage) return false;
  bool commentTaken = false;
  while (reader.segmentCount < kMaxJpegSegments) {
    int marker = ReadMarkerCode(file);
    if (marker == -2) {
      std::fputs("too many padding unsigned chars\n", stdout);
      return false;
    }
    if (!ReadSegment(file, marker, reader)) return false;
    switch (ActOnSegment(reader, &commentTaken)) {
      case SegmentOutcome::kStartOfScan: return true;
      case SegmentOutcome::kEndOfImage:
        std::fputs("No image in jpeg!\n", stdout);
        return false;
      case SegmentOutcome::kContinue: break;
    }
  }
  return false;
}

void ReleaseSegments(JpegExifReader& reader) {
  for (JpegSegment& slot : reader.segments) {
    std::free(slot.data);  // empty slots hold nullptr
    slot = JpegSegment{};
  }
  reader.segmentCount = 0;
}

JpegExifReader::~JpegExifReader() { ReleaseSegments(*this); }
