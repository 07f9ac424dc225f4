// WebP's decoder: libwebp straight into a new DIB section, from the bytes in memory.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes a still WebP picture into image (released first): without alpha into a 24-bit bottom-up
// DIB, with alpha into a 32-bit one with straight alpha and the has-alpha flag, converted from the
// ICCP chunk's profile to the display's; an animation's first frame, composed, into a 32-bit one
// with alpha. The size the format table read from the header is judged by the decode limit before
// anything is allocated. Nothing else reads WebP, so a file libwebp cannot decode (damaged, cut,
// or a header that contradicts itself) is kRefused. Any
// thread, for its own image; the viewer calls it on the worker.
FileDecodeOutcome DecodeWebp(const EncodedPicture& picture, CImage& image);
