// The imaging library (GDI+) as a decoder of the format table: GIF, TIFF, what the decoders of our
// own decline, and whatever else it recognises. It reads the bytes from memory, never the file.
// Any thread, each into an image of its own.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes the bytes into image (released first), in the depth the library gives them. False
// leaves it empty.
bool DecodeBytesWithImagingLibrary(const uint8_t* bytes, size_t size, CImage& image);

// The same, its colours then converted from the embedded profile to the display's. kRefused
// when the library cannot decode the bytes.
FileDecodeOutcome DecodeWithImagingLibrary(const EncodedPicture& picture, CImage& image);
