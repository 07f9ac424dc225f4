// WebP's row of the format table: its signature (a RIFF file of form WEBP), and our own reader of
// its size and profile over the byte cursor, so the decode limit can refuse a hostile header
// before libwebp or the bitmap allocates anything. Platform-free; any thread, touching nothing but
// the cursor it is given.
//
// The size is the one libwebp will decode to: the VP8X chunk's canvas when there is one, else
// the VP8 (lossy) or VP8L (lossless) bitstream's own. A header that contradicts itself (a canvas
// other than its still picture's, a chunk longer than its RIFF, a VP8 frame that is not a shown
// key frame, a VP8L of an unknown version) or is cut before the size leaves the header unsized.
// The profile is the ICCP chunk, when VP8X's flags announce one (as libwebp's demuxer takes it).
// WebP defines no orientation of its own and libwebp applies none, EXIF chunk or not, so no turn
// is ever reported: a WebP is shown as its pixels are stored.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

// What the chunks before the picture's data say.
struct WebpLayout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool animated = false;  // VP8X's animation flag: frames in ANMF chunks, the size the canvas's
  uint64_t bitstreamEnd = 0;   // just past a still picture's VP8 or VP8L chunk; 0 when not reached
  uint64_t profileOffset = 0;  // the ICCP chunk's payload; profileBytes 0 for none
  uint32_t profileBytes = 0;
};

// "RIFF", a length, "WEBP".
bool IsWebpSignature(const uint8_t* first, size_t count);
// Reads the layout; false when the header is cut before the size or contradicts itself (layout is
// then unspecified).
bool ReadWebpLayout(ByteCursor& cursor, WebpLayout& layout);
void ReadWebpFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
