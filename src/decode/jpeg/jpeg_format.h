// JPEG's row of the format table: its signature and the one marker walk that serves the size
// (first frame header), the embedded profile (APP2 "ICC_PROFILE" chunks) and the EXIF block
// (APP1 "Exif"), so that a file's markers are walked once. Platform-free.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

bool IsJpegSignature(const uint8_t* first, size_t count);

// What the walk from the start of the image to the first scan found.
struct JpegMarkers {
  bool sized = false;  // a frame header was met; width and height are its own
  uint32_t width = 0;
  uint32_t height = 0;
  // The APP2 profile chunks joined in their sequence order; empty when there are none or their
  // numbering is inconsistent (a chunk missing, repeated or out of range, counts that disagree).
  std::vector<uint8_t> profile;
  // The last APP1 EXIF segment's body, from its "Exif" identifier on; empty for none.
  std::vector<uint8_t> exif;
};

// Walks the markers as the decoder finds them: 0xFF is searched for (stray bytes and any number
// of fill bytes are passed over, FF 00 is not a marker), segments are skipped by their length
// fields. Stops at the first scan, the end of the image, the end of the bytes or a bound.
// With kSize the walk ends at the frame header and neither the profile nor the EXIF block is kept.
void WalkJpegMarkers(ByteCursor& cursor, JpegMarkers& markers, FactsWanted wanted = FactsWanted::kAll);

// The table's facts reader: the walk above, its EXIF block parsed for the orientation.
void ReadJpegFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
