// JPEG 2000's decoder: openjpeg, from the bytes in memory, then written into a new DIB section.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes a JP2 file or bare codestream into image (released first): opaque pictures into a
// 24-bit bottom-up DIB, pictures with an alpha component into a 32-bit one with straight alpha and
// the has-alpha flag, converted from the colour box's profile to the display's. Nothing else reads
// JPEG 2000, so a file openjpeg cannot decode is kRefused. Any thread, for its own image.
FileDecodeOutcome DecodeJpeg2000(const EncodedPicture& picture, CImage& image);
