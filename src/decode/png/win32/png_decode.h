// PNG's decoder: libspng straight into a new DIB section, from the bytes in memory.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes the picture into image (released first), in the layout png_rows.h describes, converted
// from the embedded profile to the display's. Files libspng does not finish are kNotTaken, for
// the imaging library to decide. Any thread, for its own image.
FileDecodeOutcome DecodePng(const EncodedPicture& picture, CImage& image);
