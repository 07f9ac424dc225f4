// The EXIF APP1 block: TIFF header, directory walk and the tag table.
#include <cmath>
#include <cstring>

#include "exif/exif_parse.h"

namespace {

constexpr uint32_t kEntrySize = 12;
constexpr uint32_t kTiffHeaderSize = 8;
constexpr int32_t kIdentifierSize = 6;  // "Exif" and two zero bytes
constexpr uint32_t kFirstIfdMin = 8, kFirstIfdMax = 16;

enum ExifTag : uint16_t {
  kTagMake = 0x010F,
  kTagModel = 0x0110,
  kTagOrientation = 0x0112,
  kTagXResolution = 0x011A,
  kTagYResolution = 0x011B,
  kTagResolutionUnit = 0x0128,
  kTagThumbnailOffset = 0x0201,
  kTagThumbnailLength = 0x0202,
  kTagExposureTime = 0x829A,
  kTagFNumber = 0x829D,
  kTagExifIfd = 0x8769,
  kTagExposureProgram = 0x8822,
  kTagIsoSpeed = 0x8827,
  kTagExifVersion = 0x9000,
  kTagDateTimeOriginal = 0x9003,
  kTagCompressedBitsPerPixel = 0x9102,
  kTagShutterSpeed = 0x9201,
  kTagAperture = 0x9202,
  kTagBrightness = 0x9203,
  kTagExposureBias = 0x9204,
  kTagMaxAperture = 0x9205,
  kTagSubjectDistance = 0x9206,
  kTagMeteringMode = 0x9207,
  kTagLightSource = 0x9208,
  kTagFlash = 0x9209,
  kTagFocalLength = 0x920A,
  kTagUserComment = 0x9286,
  kTagPixelXDimension = 0xA002,
  kTagPixelYDimension = 0xA003,
  kTagInteropIfd = 0xA005,
  kTagFocalPlaneXResolution = 0xA20E,
  kTagFocalPlaneYResolution = 0xA20F,
  kTagFocalPlaneResolutionUnit = 0xA210,
};

// One directory entry's value, located and checked to lie inside the block.
struct EntryValue {
  const uint8_t* bytes;
  uint32_t byteCount;  // component count x component size
  size_t available;    // bytes from `bytes` to the block end
  int32_t format;
};

// Thumbnail values of the directory being walked; 0 until its entries set them.
struct ThumbnailFields {
  int64_t offset;
  int64_t length;
};

double Number(const JpegExifReader& reader, const EntryValue& value) {
  return ReadNumber(value.bytes, value.available, value.format, reader.bigEndian != 0);
}

int32_t IntValue(const JpegExifReader& reader, const EntryValue& value) {
  return NumberToInt(Number(reader, value));
}

float FloatValue(const JpegExifReader& reader, const EntryValue& value) {
  return NumberToFloat(Number(reader, value));
}

// Copies text until a zero byte, `limit` characters or the end of the value, then terminates.
void CopyText(char* out, size_t limit, const EntryValue& value) {
  size_t n = 0;
  while (n < limit && n < value.byteCount && value.bytes[n] != 0) {
    out[n] = static_cast<char>(value.bytes[n]);
    ++n;
  }
  out[n] = 0;
}

void StoreIso(JpegExifRecord& record, int32_t iso) {
  // Some cameras store the ISO speed in units of 200 (values below 50).
  int64_t scaled = iso < 50 ? int64_t{iso} * 200 : iso;
  record.isoSpeed = NumberToInt(static_cast<double>(scaled));
}

void StoreUnit(float* field, int32_t unit) {
  float inches;
  if (UnitInches(unit, &inches)) *field = inches;
}

// The f-number an APEX aperture value stands for.
float ApertureToFNumber(double apex) {
  return NumberToFloat(std::exp(apex * std::log(2.0) * 0.5));
}

// Stores what the tag table says for one entry. Directory pointers are handled by the walk.
void StoreTag(JpegExifReader& reader, uint16_t tag, const EntryValue& value,
              ThumbnailFields& thumbnail) {
  JpegExifRecord& r = reader.record;
  switch (tag) {
    case kTagMake: CopyText(r.make, sizeof r.make - 1, value); break;
    case kTagModel: CopyText(r.model, sizeof r.model - 1, value); break;
    case kTagOrientation: {
      int32_t orientation = IntValue(reader, value);
      r.exifOrientation = orientation >= 1 && orientation <= 8 ? orientation : 0;
      break;
    }
    case kTagXResolution: r.xResolution = FloatValue(reader, value); break;
    case kTagYResolution: r.yResolution = FloatValue(reader, value); break;
    case kTagResolutionUnit: StoreUnit(&r.resolutionUnitInches, IntValue(reader, value)); break;
    case kTagThumbnailOffset: thumbnail.offset = IntValue(reader, value); break;
    case kTagThumbnailLength: thumbnail.length = IntValue(reader, value); break;
    case kTagExposureTime: r.exposureTime = FloatValue(reader, value); break;
    case kTagFNumber: r.fNumber = FloatValue(reader, value); break;
    case kTagExposureProgram: r.exposureProgram = IntValue(reader, value); break;
    case kTagIsoSpeed: StoreIso(r, IntValue(reader, value)); break;
    case kTagExifVersion: CopyText(r.exifVersion, sizeof r.exifVersion - 1, value); break;
    case kTagDateTimeOriginal:
      CopyText(r.dateTimeOriginal, sizeof r.dateTimeOriginal - 1, value);
      break;
    case kTagCompressedBitsPerPixel: r.compressedBitsPerPixel = IntValue(reader, value); break;
    case kTagShutterSpeed:
      if (r.exposureTime == 0) {
        r.exposureTime = NumberToFloat(1.0 / std::exp(Number(reader, value) * std::log(2.0)));
      }
      break;
    case kTagAperture:
    case kTagMaxAperture:
      if (r.fNumber == 0) r.fNumber = ApertureToFNumber(Number(reader, value));
      break;
    case kTagBrightness: r.brightnessValue = FloatValue(reader, value); break;
    case kTagExposureBias: r.exposureBiasValue = FloatValue(reader, value); break;
    case kTagSubjectDistance: r.subjectDistance = FloatValue(reader, value); break;
    case kTagMeteringMode: r.meteringMode = IntValue(reader, value); break;
    case kTagLightSource: r.lightSource = IntValue(reader, value); break;
    case kTagFlash: r.flashFired = (IntValue(reader, value) & 7) != 0 ? 1 : 0; break;
    case kTagFocalLength: r.focalLength = FloatValue(reader, value); break;
    case kTagUserComment: TakeUserComment(r, value.bytes, value.byteCount); break;
    case kTagPixelXDimension:
    case kTagPixelYDimension: {
      int32_t dimension = IntValue(reader, value);
      if (dimension > reader.largestPixelDimension) reader.largestPixelDimension = dimension;
      break;
    }
    case kTagFocalPlaneXResolution: r.focalPlaneXResolution = FloatValue(reader, value); break;
    case kTagFocalPlaneYResolution: r.focalPlaneYResolution = FloatValue(reader, value); break;
    case kTagFocalPlaneResolutionUnit:
      StoreUnit(&r.focalPlaneUnitInches, IntValue(reader, value));
      break;
    default: break;
  }
}

// Locates an entry's value; false when its format is illegal or it lies outside the block.
bool LocateValue(const JpegExifReader& reader, const uint8_t* entry, const ExifBlock& block,
                 EntryValue* value) {
  bool bigEndian = reader.bigEndian != 0;
  int32_t format = ReadU16(entry + 2, bigEndian);
  if (format > kExifMaxFormat) return false;
  uint64_t byteCount = uint64_t{ReadU32(entry + 4, bigEndian)} * ExifComponentSize(format);
  const uint8_t* bytes = entry + 8;
  if (byteCount > 4) {
    uint64_t offset = ReadU32(entry + 8, bigEndian);
    if (offset + byteCount > block.size) return false;
    bytes = block.start + offset;
  }
  value->bytes = bytes;
  value->byteCount = static_cast<uint32_t>(byteCount);  // at most the block size or 4
  value->available = block.size - static_cast<size_t>(bytes - block.start);
  value->format = format;
  return true;
}

// Walks a directory that a pointer or link names, unless the trail says it would loop or
// nest too deeply. Its result does not matter to the directory that points to it.
void WalkLinkedDirectory(JpegExifReader& reader, uint32_t offset, const ExifBlock& block,
                         DirectoryTrail& trail) {
  if (trail.depth >= kMaxDirectoryDepth || trail.visitedCount >= kMaxDirectories) return;
  for (int32_t i = 0; i < trail.visitedCount; ++i) {
    if (trail.visited[i] == offset) return;
  }
  ++trail.depth;
  WalkDirectory(reader, offset, block, trail);
  --trail.depth;
}

}  // namespace

bool WalkDirectory(JpegExifReader& reader, uint32_t directoryOffset, const ExifBlock& block,
                   DirectoryTrail& trail) {
  if (trail.visitedCount < kMaxDirectories) trail.visited[trail.visitedCount++] = directoryOffset;
  bool bigEndian = reader.bigEndian != 0;
  if (uint64_t{directoryOffset} + 2 > block.size) return false;
  const uint8_t* directory = block.start + directoryOffset;
  uint32_t count = ReadU16(directory, bigEndian);
  uint64_t end = uint64_t{directoryOffset} + 2 + uint64_t{kEntrySize} * count;
  if (end > block.size) return false;

  ThumbnailFields thumbnail = {0, 0};
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* entry = directory + 2 + kEntrySize * i;
    uint16_t tag = ReadU16(entry, bigEndian);
    EntryValue value;
    if (!LocateValue(reader, entry, block, &value)) return false;
    if (tag == kTagExifIfd || tag == kTagInteropIfd) {
      if (value.available < 4) return false;
      uint32_t subOffset = ReadU32(value.bytes, bigEndian);
      if (subOffset >= block.size) return false;
      WalkLinkedDirectory(reader, subOffset, block, trail);
      continue;
    }
    StoreTag(reader, tag, value, thumbnail);
  }

  // A link that would lie past the block end counts as no link.
  uint32_t next = end + 4 <= block.size ? ReadU32(block.start + end, bigEndian) : 0;
  if (next != 0) {
    if (next >= block.size) return false;
    WalkLinkedDirectory(reader, next, block, trail);
  }

  if (thumbnail.offset > 0 && thumbnail.length > 0 &&
      thumbnail.offset + thumbnail.length <= block.size) {
    reader.record.thumbnailData = block.start + thumbnail.offset;
    reader.record.thumbnailLength = static_cast<int32_t>(thumbnail.length);
  }
  return true;
}

bool ParseExifBlock(JpegExifReader& reader, const uint8_t* segment, int32_t length) {
  JpegExifRecord& r = reader.record;
  r.flashFired = 0;
  r.commentText[0] = 0;
  reader.largestPixelDimension = 0;

  // The identifier and the TIFF header must both lie inside the segment.
  if (length < 2 + kIdentifierSize + static_cast<int32_t>(kTiffHeaderSize)) return false;
  if (std::memcmp(segment, "Exif\0\0", kIdentifierSize) != 0) return false;
  ExifBlock block = {segment + kIdentifierSize, static_cast<uint32_t>(length - 8)};

  if (block.start[0] == 'I' && block.start[1] == 'I') {
    reader.bigEndian = 0;
  } else if (block.start[0] == 'M' && block.start[1] == 'M') {
    reader.bigEndian = 1;
  } else {
    return false;
  }
  bool bigEndian = reader.bigEndian != 0;
  if (ReadU16(block.start + 2, bigEndian) != 42) return false;
  uint32_t firstIfd = ReadU32(block.start + 4, bigEndian);
  if (firstIfd < kFirstIfdMin || firstIfd > kFirstIfdMax) return false;

  DirectoryTrail trail = {};
  if (!WalkDirectory(reader, firstIfd, block, trail)) return false;

  if (r.focalPlaneXResolution != 0) {
    r.sensorWidth =
        static_cast<float>(reader.largestPixelDimension) * r.focalPlaneUnitInches /
        r.focalPlaneXResolution;
  }
  return true;
}
