// JPEG marker walk and EXIF (TIFF directory) parser. Platform-free: works on any FILE*.
#pragma once
#include <cstdint>
#include <cstdio>

// What one read found. Text fields are zero-terminated byte strings, bytes copied unchanged.
struct JpegExifRecord {
  char exifVersion[5];
  char make[32];
  char model[40];
  char dateTimeOriginal[20];
  int32_t frameHeight;
  int32_t frameWidth;
  int32_t exifOrientation;  // 1..8; 0 when absent or out of range
  int32_t threeComponents;
  int32_t frameMarker;
  int32_t flashFired;
  float focalLength;
  float exposureTime;
  float fNumber;
  float subjectDistance;
  float sensorWidth;
  float exposureBiasValue;
  int32_t lightSource;
  int32_t meteringMode;
  int32_t exposureProgram;
  int32_t isoSpeed;
  int32_t compressedBitsPerPixel;
  float focalPlaneXResolution;
  float focalPlaneYResolution;
  float focalPlaneUnitInches;
  float xResolution;
  float yResolution;
  float resolutionUnitInches;
  float brightnessValue;
  char commentText[1000];
  const uint8_t* thumbnailData;  // points into a segment buffer; valid until ReleaseSegments
  int32_t thumbnailLength;
  uint8_t exifFound;             // result of parsing the last EXIF block met
};

// One retained segment: an owned heap buffer of exactly length bytes (the two length bytes,
// then the body).
struct JpegSegment {
  uint8_t* data;
  int32_t marker;
  int32_t length;
};

constexpr int32_t kMaxJpegSegments = 20;

// State of one read; the caller owns it and calls ReleaseSegments when done. The segment
// buffers belong to the reader, so it also releases whatever is still held when it goes.
struct JpegExifReader {
  explicit JpegExifReader(JpegExifRecord& out) : record(out) {}
  ~JpegExifReader();
  JpegExifReader(const JpegExifReader&) = delete;
  JpegExifReader& operator=(const JpegExifReader&) = delete;

  JpegExifRecord& record;
  int32_t largestPixelDimension = 0;
  int32_t bigEndian = 0;
  JpegSegment segments[kMaxJpegSegments] = {};
  int32_t segmentCount = 0;
};

// The marker walk. The caller has read the file's first byte and it was 0xFF.
// True when the walk reached a start-of-scan segment.
bool ReadJpegMetadata(FILE* file, JpegExifReader& reader);
// Frees the buffers of all retained segments; safe to call again.
void ReleaseSegments(JpegExifReader& reader);
