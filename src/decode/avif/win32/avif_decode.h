// AVIF's decoder: our container reader and dav1d (../avif_rows.h), from the bytes in memory, into
// a new DIB section, in the display's colours.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes an AVIF still picture into image (released first): opaque pictures into a 24-bit
// bottom-up DIB, pictures with an alpha plane into a 32-bit one with straight alpha and the
// has-alpha flag, turned by the picture's own irot/imir. Colours: the colr box's ICC profile, else
// its code points (or the AV1 stream's), converted to the display's; deeper pictures and PQ/HLG
// ones converted at 16 bits, then rounded (tone-mapped to SDR). Sized by the facts first: a
// picture whose container gives no size, or whose decode disagrees with it, is refused. Nothing
// else reads AVIF, so a cut or corrupt file is kRefused. Any thread (the worker's), for its own
// image.
FileDecodeOutcome DecodeAvif(const EncodedPicture& picture, CImage& image);
