// The formats the viewer reads, one row each, chosen by the file's first bytes (never by its
// name: a PNG named .jpg is a PNG). Platform-free; every reader bounds its reads and its walks,
// since the bytes are untrusted. The decoders, which need Win32, are the other half of each row:
// win32/format_decoders.cpp.
//
// Adding a format: a folder decode/<name>/ with <name>_format.h/.cpp (its signature test and its
// facts reader), its decoder under decode/<name>/win32/, a PictureFormat value, a row below
// (format_table.cpp) and a row in win32/format_decoders.cpp.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/image_header.h"

// Colour named by code points (ITU-T H.273) instead of a profile, as an AVIF's or a HEIF's nclx
// colour box gives it. Unspecified (2) unless present.
struct Cicp {
  bool present = false;
  uint16_t primaries = 2;
  uint16_t transfer = 2;
  uint16_t matrix = 2;
  bool fullRange = false;
};

// A picture's own turn from its container (an AVIF's or a HEIF's irot and imir), which its decoder
// applies: first mirrored left to right when flipped, then turned quarterTurns x 90 degrees
// anticlockwise. Never an EXIF orientation, which the viewer's rules treat otherwise.
struct OwnTransform {
  bool flipLeftRight = false;
  uint8_t quarterTurns = 0;  // 0..3, anticlockwise
  bool IsIdentity() const { return !flipLeftRight && quarterTurns == 0; }
};

// What a picture file's own bytes say before any decoder runs.
struct PictureFacts {
  PictureFormat format = PictureFormat::kUnknown;  // by the signature alone
  // The size for the decode limit; its format stays kUnknown when the size could not be read.
  PictureHeader header;
  std::vector<uint8_t> profile;  // the embedded ICC profile; empty for none
  int32_t exifOrientation = 0;   // valid when orientationFound
  bool orientationFound = false;
  Cicp cicp;                     // nclx colour (AVIF, HEIF); beside a profile when both are given
  OwnTransform ownTransform;     // AVIF, HEIF
};

// How much of the facts a caller needs: the size alone (a cheap look, as the window's thread takes
// to budget memory) or everything the decode uses.
enum class FactsWanted { kSize, kAll };

// The most bytes a signature test is shown.
// 64: an ISOBMFF file's brands (AVIF, HEIF) follow its first 16 bytes.
constexpr size_t kSignatureBytes = 64;

struct FormatRow {
  PictureFormat format;
  const char* name;
  // True when the file's first count bytes (count = min(file size, kSignatureBytes)) are this
  // format's signature.
  bool (*signature)(const uint8_t* first, size_t count);
  // The header (the size, for the decode limit), the embedded profile and the orientation, read
  // together, in one walk where the format allows it; with kSize the size alone. Whatever cannot
  // be read stays empty.
  void (*readFacts)(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
};

// The row whose signature the bytes carry; null for none. Any thread.
const FormatRow* ChooseFormat(const uint8_t* first, size_t count);
// The row for a format; null for kUnknown.
const FormatRow* RowOf(PictureFormat format);

// Chooses the row by the source's first bytes and reads its facts. Any thread; touches nothing
// but the source.
PictureFacts ReadPictureFacts(ByteSource& source, FactsWanted wanted = FactsWanted::kAll);
