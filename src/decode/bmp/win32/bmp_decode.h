// BMP's decoder: our own reader straight into a new DIB section, from the bytes in memory.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes an uncompressed BMP into image (released first), as bmp_rows.h describes. Other
// variants, and files that end before their last row, are kNotTaken, for the imaging library to
// decide. Any thread, for its own image.
FileDecodeOutcome DecodeBmp(const EncodedPicture& picture, CImage& image);
