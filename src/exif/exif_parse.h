// The steps of the EXIF reader below the marker walk, exposed so tests can drive each one
// on bytes they build. Every function here reads only inside the bytes it is given.
#pragma once
#include <cstddef>
#include <cstdint>

#include "exif/jpeg_exif.h"

// TIFF field types.
enum ExifFormat : int32_t {
  kExifFormatNone = 0,
  kExifFormatByte = 1,
  kExifFormatAscii = 2,
  kExifFormatShort = 3,
  kExifFormatLong = 4,
  kExifFormatRational = 5,
  kExifFormatSByte = 6,
  kExifFormatUndefined = 7,
  kExifFormatSShort = 8,
  kExifFormatSLong = 9,
  kExifFormatSRational = 10,
  kExifFormatFloat = 11,
  kExifFormatDouble = 12,
};
constexpr int32_t kExifMaxFormat = 12;

// Bounds of one walk over a block's directories. A hostile block can link directories into
// loops or long chains; every directory is walked at most once and nesting stops here.
constexpr int32_t kMaxDirectoryDepth = 16;
constexpr int32_t kMaxDirectories = 64;

// The TIFF block of an EXIF APP1 segment: borrowed bytes inside a segment buffer.
struct ExifBlock {
  const uint8_t* start;
  uint32_t size;
};

// Which directories one block's walk has entered, and how deeply it is nested now.
struct DirectoryTrail {
  uint32_t visited[kMaxDirectories];
  int32_t visitedCount;
  int32_t depth;
};

// Size in bytes of one component of a format; 0 for 0 and for codes above 12.
uint32_t ExifComponentSize(int32_t format);

// 16- and 32-bit numbers in the block's byte order. The caller guarantees 2 or 4 readable bytes.
uint16_t ReadU16(const uint8_t* bytes, bool bigEndian);
uint32_t ReadU32(const uint8_t* bytes, bool bigEndian);

// The first component of a value as a double. `available` is how many bytes may be read from
// `value`; a component that does not fit converts to 0, as do formats without a number.
double ReadNumber(const uint8_t* value, size_t available, int32_t format, bool bigEndian);

// "int" and "float" storage of a converted number: truncation toward zero saturating at the
// int32 range (NaN gives 0), and rounding to float (out of range gives an infinity).
int32_t NumberToInt(double value);
float NumberToFloat(double value);

// Inches per unit for a ResolutionUnit / FocalPlaneResolutionUnit value; false for unknown units.
bool UnitInches(int32_t unit, float* inches);

// The user-comment rule over a value of `byteCount` bytes, into record.commentText.
void TakeUserComment(JpegExifRecord& record, const uint8_t* value, size_t byteCount);

// The comment (COM) segment, from its length field on, into record.commentText.
void TakeComment(JpegExifReader& reader, const uint8_t* segment, int32_t length);

// Parses an EXIF APP1 segment given from its byte 2 (the "Exif" identifier); `length` is the
// segment's length field, so `length` - 2 bytes are readable from `segment`.
bool ParseExifBlock(JpegExifReader& reader, const uint8_t* segment, int32_t length);

// Walks the directory at `directoryOffset` of the block, its sub-directories and its
// next-directory link, storing what the tag table names.
bool WalkDirectory(JpegExifReader& reader, uint32_t directoryOffset, const ExifBlock& block,
                   DirectoryTrail& trail);
