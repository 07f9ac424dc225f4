#include "decode/icc_profile_extract.h"

#include "decode/format_table.h"
#include "decode/jpeg/jpeg_format.h"
#include "decode/png/png_format.h"
#include "decode/tiff/tiff_format.h"

// Each over the format's own reader, so that there is one walk per format.

std::vector<uint8_t> JpegIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  uint8_t first[2];
  if (!cursor.Read(0, first, 2) || !IsJpegSignature(first, 2)) return {};
  JpegMarkers markers;
  WalkJpegMarkers(cursor, markers);
  return std::move(markers.profile);
}

std::vector<uint8_t> TiffIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  uint8_t first[4];
  if (!cursor.Read(0, first, 4) || !IsTiffSignature(first, 4)) return {};
  return ReadTiffProfile(cursor);
}

std::vector<uint8_t> PngIccProfile(ByteSource& source) {
  ByteCursor cursor(source);
  uint8_t first[8];
  if (!cursor.Read(0, first, 8) || !IsPngSignature(first, 8)) return {};
  return ReadPngProfile(cursor);
}

std::vector<uint8_t> EmbeddedIccProfile(ByteSource& source) { return ReadPictureFacts(source).profile; }
