// JPEG XL's row of the format table: its two signatures (a bare codestream, or the container whose
// jxlc box, or jxlp boxes, hold one) and the size from the codestream's own size header, read bit
// by bit, so that a hostile size is refused before any decoder allocates for it. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"
#include "decode/image_header.h"

// libjxl holds a whole frame in 32-bit samples in the worst case (lossless), colour and alpha:
// the widest pixel the decode limit weighs a JPEG XL picture by.
constexpr uint32_t kJxlDecodedBytesPerPixel = 16;

// The codestream's first bytes: the size header and the start of the image metadata, which never
// take more (the size at its widest is 9 bytes; the orientation 5 bits more).
constexpr size_t kJxlHeaderBytes = 16;

struct JxlSize {
  uint32_t width = 0;   // as stored, before the orientation is applied
  uint32_t height = 0;
  uint32_t orientation = 1;  // 1 to 8, as EXIF numbers them; 5 to 8 swap width and height
};

// The first count bytes of a file (count = min(file size, kSignatureBytes)).
bool IsJxlSignature(const uint8_t* first, size_t count);

// Copies up to kJxlHeaderBytes of the codestream into out: the file itself when it is a bare
// codestream, else the content of its jxlc box or of its jxlp boxes in order (without their part
// counters). got is how many were found; false when the file holds no codestream to read.
bool ReadJxlCodestreamStart(ByteCursor& cursor, uint8_t* out, size_t& got);

// Reads the signature, the size header and the orientation from a codestream's first count bytes.
// False when they are cut short or not a JPEG XL codestream.
bool ParseJxlSizeHeader(const uint8_t* bytes, size_t count, JxlSize& size);

// The size as shown (width and height swapped for orientations 5 to 8) into facts.header; no EXIF
// turn is reported: libjxl applies the codestream's own orientation, and an Exif box must never
// turn the picture a second time.
void ReadJxlFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
