// JPEG XL's decoder: libjxl, from the bytes in memory, into a new DIB section.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes a JPEG XL codestream or container into image (released first), sized by the facts'
// header before libjxl runs: opaque pictures into a 24-bit bottom-up DIB, pictures with alpha into
// a 32-bit one with straight alpha and the has-alpha flag, the codestream's orientation applied,
// an animation's first frame, converted from the picture's colour encoding to the display's.
// Nothing else reads JPEG XL, so a file libjxl cannot decode is kRefused. Any thread (the worker),
// for its own image.
FileDecodeOutcome DecodeJxl(const EncodedPicture& picture, CImage& image);
