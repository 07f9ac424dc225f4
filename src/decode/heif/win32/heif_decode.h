// HEIF's decoder: libheif (loaded at the first use, heif_library.h), from the bytes in memory,
// then written into a new DIB section.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes a HEIF file's primary image into image (released first), upright by the file's own
// rotation and mirroring: opaque pictures into a 24-bit bottom-up DIB, pictures with alpha into a
// 32-bit one with straight alpha and the has-alpha flag, converted from the colour box's profile
// (or its nclx code points) to the display's; pictures deeper than 8 bits, or under PQ or HLG, are
// converted at 16 bits before they are rounded. Nothing else reads HEIF, so a file libheif cannot decode, or a missing
// libheif.dll or libde265.dll, is kRefused. Any thread, for its own image.
FileDecodeOutcome DecodeHeif(const EncodedPicture& picture, CImage& image);
