// Finding the ICC profile a picture file embeds, from its bytes alone. Platform-free; every read
// is bounds-checked and every walk bounded, since the bytes are untrusted. What comes out is only
// put together, never interpreted: the colour engine validates the profile itself.
#pragma once
#include <cstdint>
#include <vector>

#include "decode/image_header.h"

// The largest profile taken: far above any real one (a few kB to a few MB).
constexpr uint64_t kMaxProfileBytes = 64u << 20;

// JPEG: the APP2 "ICC_PROFILE" segments before the first scan, joined in their sequence order.
// Empty when there are none, or when their numbering is inconsistent (a chunk missing, repeated or
// out of range, counts that disagree).
std::vector<uint8_t> JpegIccProfile(ByteSource& source);

// TIFF (classic, either byte order): the InterColorProfile tag (34675) of the first directory.
std::vector<uint8_t> TiffIccProfile(ByteSource& source);

// PNG: the iCCP chunk before the image data, inflated. Empty when there is none, when it is
// malformed, or when it inflates to more than kMaxProfileBytes.
std::vector<uint8_t> PngIccProfile(ByteSource& source);

// Whichever format the file's signature names (the format table's reader); empty for none.
std::vector<uint8_t> EmbeddedIccProfile(ByteSource& source);
