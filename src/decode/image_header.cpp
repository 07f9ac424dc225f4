// The signature test and the small headers: PNG and BMP here; JPEG, GIF and TIFF, which need
// a walk over blocks, in their own files.
#include "decode/image_header.h"

#include <cstring>

#include "decode/byte_cursor.h"
#include "decode/image_header_walks.h"
#include "decode/jpeg2000_header.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr uint32_t kPngBitDepth16 = 16;
constexpr uint32_t kPngGrey = 0;
constexpr uint32_t kPngRgb = 2;

// IHDR must be the first chunk; the decoder refuses a file where it is not.
bool ReadPng(ByteCursor& cursor, PictureHeader& header) {
  uint8_t type[4];
  uint32_t width = 0, height = 0, depth = 0, colourType = 0;
  if (!cursor.Read(12, type, 4) || std::memcmp(type, "IHDR", 4) != 0 ||
      !cursor.U32(16, Endian::kBig, width) || !cursor.U32(20, Endian::kBig, height) ||
      !cursor.U8(24, depth) || !cursor.U8(25, colourType)) {
    return false;
  }
  header.width = width;
  header.height = height;
  // The decoder holds 16-bit samples for the whole picture: grey as 16 bits (less than the
  // 32-bit result), colour as 48-bit RGB, anything with alpha as 64-bit RGBA.
  if (depth >= kPngBitDepth16 && colourType != kPngGrey) {
    header.decodedBytesPerPixel = colourType == kPngRgb ? 6 : 8;
  }
  return true;
}

constexpr uint32_t kBmpCoreHeaderBytes = 12;  // BITMAPCOREHEADER: 16-bit width and height
constexpr uint32_t kBmpInfoHeaderBytes = 40;  // BITMAPINFOHEADER and its longer successors
constexpr uint64_t kBmpHeaderSizeAt = 14;

bool ReadBmp(ByteCursor& cursor, PictureHeader& header) {
  uint32_t headerBytes = 0;
  if (!cursor.U32(kBmpHeaderSizeAt, Endian::kLittle, headerBytes)) return false;
  uint32_t width = 0, height = 0;
  if (headerBytes == kBmpCoreHeaderBytes) {
    if (!cursor.U16(18, Endian::kLittle, width) || !cursor.U16(20, Endian::kLittle, height)) return false;
  } else if (headerBytes >= kBmpInfoHeaderBytes) {
    if (!cursor.U32(18, Endian::kLittle, width) || !cursor.U32(22, Endian::kLittle, height)) return false;
    // A negative height means rows stored top-down; the picture is as tall either way. A
    // negative width is nonsense, kept as its huge unsigned value so it is never let through.
    const int32_t signedHeight = static_cast<int32_t>(height);
    if (signedHeight < 0) height = 0u - height;
  } else {
    return false;  // OS/2 variants between the two: the decoder does not read them
  }
  header.width = width;
  header.height = height;
  return true;
}

bool StartsWith(ByteCursor& cursor, const void* signature, size_t length) {
  uint8_t bytes[8];
  return length <= sizeof bytes && cursor.Read(0, bytes, length) &&
         std::memcmp(bytes, signature, length) == 0;
}

}  // namespace

PictureHeader ReadPictureHeader(ByteSource& source) {
  ByteCursor cursor(source);
  PictureHeader header;
  PictureFormat format = PictureFormat::kUnknown;
  bool read = false;
  if (StartsWith(cursor, "\xFF\xD8", 2)) {
    format = PictureFormat::kJpeg;
    read = ReadJpegSize(cursor, header);
  } else if (StartsWith(cursor, kPngSignature, sizeof kPngSignature)) {
    format = PictureFormat::kPng;
    read = ReadPng(cursor, header);
  } else if (StartsWith(cursor, "GIF87a", 6) || StartsWith(cursor, "GIF89a", 6)) {
    format = PictureFormat::kGif;
    read = ReadGifSize(cursor, header);
  } else if (StartsWith(cursor, "BM", 2)) {
    format = PictureFormat::kBmp;
    read = ReadBmp(cursor, header);
  } else if (StartsWith(cursor, "II*\0", 4) || StartsWith(cursor, "MM\0*", 4)) {
    // Only classic TIFF: the imaging library's TIFF signatures do not match BigTIFF, so such a
    // file never reaches a decoder.
    format = PictureFormat::kTiff;
    read = ReadTiffSize(cursor, header);
  } else if (StartsLikeJp2File(cursor)) {
    format = PictureFormat::kJpeg2000;
    read = ReadJp2FileSize(cursor, header);
  } else if (StartsLikeCodestream(cursor)) {
    format = PictureFormat::kJpeg2000;
    read = ReadCodestreamSize(cursor, 0, header);
  }
  if (!read) return PictureHeader{};
  header.format = format;
  return header;
}
