// Byte-order reads and the conversion of TIFF values to numbers.
#include <cmath>
#include <cstring>
#include <limits>
#include <utility>

#include "exif/exif_parse.h"
#include "framework/saturating_cast.h"

uint32_t ExifComponentSize(int32_t format) {
  static const uint32_t kSizes[kExifMaxFormat + 1] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  if (format < 0 || format > kExifMaxFormat) return 0;
  return kSizes[format];
}

uint16_t ReadU16(const uint8_t* bytes, bool bigEndian) {
  if (bigEndian) return static_cast<uint16_t>((bytes[0] << 8) | bytes[1]);
  return static_cast<uint16_t>((bytes[1] << 8) | bytes[0]);
}

uint32_t ReadU32(const uint8_t* bytes, bool bigEndian) {
  if (bigEndian) {
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) |
           uint32_t{bytes[3]};
  }
  return (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) |
         uint32_t{bytes[0]};
}

static double Ratio(double numerator, double denominator) {
  return denominator == 0 ? 0.0 : numerator / denominator;
}

double ReadNumber(const uint8_t* value, size_t available, int32_t format, bool bigEndian) {
  uint32_t size = ExifComponentSize(format);
  if (size == 0 || available < size) return 0.0;
  switch (format) {
    case kExifFormatByte: return value[0];
    case kExifFormatSByte: return static_cast<int8_t>(value[0]);
    case kExifFormatShort: return ReadU16(value, bigEndian);
    case kExifFormatSShort: return static_cast<int16_t>(ReadU16(value, bigEndian));
    case kExifFormatLong: return ReadU32(value, bigEndian);
    case kExifFormatSLong: return static_cast<int32_t>(ReadU32(value, bigEndian));
    case kExifFormatRational:
      return Ratio(ReadU32(value, bigEndian), ReadU32(value + 4, bigEndian));
    case kExifFormatSRational:
      return Ratio(static_cast<int32_t>(ReadU32(value, bigEndian)),
                   static_cast<int32_t>(ReadU32(value + 4, bigEndian)));
    case kExifFormatFloat: {
      uint32_t bits = ReadU32(value, bigEndian);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
    case kExifFormatDouble: {
      uint64_t hi = ReadU32(value, bigEndian), lo = ReadU32(value + 4, bigEndian);
      if (!bigEndian) std::swap(hi, lo);
      uint64_t bits = (hi << 32) | lo;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      return d;
    }
    default: return 0.0;  // ASCII, UNDEFINED
  }
}

int32_t NumberToInt(double value) { return SaturatingTruncate(value); }

float NumberToFloat(double value) {
  constexpr float kMax = std::numeric_limits<float>::max();
  constexpr float kInf = std::numeric_limits<float>::infinity();
  // Half a step above the largest float is where rounding reaches an infinity.
  constexpr double kRoundsToInf = double{kMax} + 0x1p103;
  if (value > double{kMax}) return value >= kRoundsToInf ? kInf : kMax;
  if (value < -double{kMax}) return value <= -kRoundsToInf ? -kInf : -kMax;
  return static_cast<float>(value);
}

static float FloatFromBits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool UnitInches(int32_t unit, float* inches) {
  switch (unit) {
    case 1:
    case 2: *inches = 1.0f; return true;
    case 3: *inches = FloatFromBits(0x3EC99326); return true;  // centimetre
    case 4: *inches = FloatFromBits(0x3D214285); return true;  // millimetre
    case 5: *inches = FloatFromBits(0x3825214D); return true;  // micrometre
    default: return false;
  }
}
