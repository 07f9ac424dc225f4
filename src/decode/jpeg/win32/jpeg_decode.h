// JPEG's decoder: libjpeg-turbo straight into a new DIB section, from the bytes in memory.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes the picture into image (released first) when it is a JPEG of a kind this route takes:
// 8-bit colour into a 24-bit bottom-up DIB, 8-bit greyscale into an 8-bit one with a grey colour
// table, the depths the imaging library gives for them, converted from the embedded profile to
// the display's behind the decoder. 8-bit CMYK and YCCK files are taken too, into a 32-bit DIB
// (alpha 255), when the embedded profile is a CMYK one that converts. Kinds it does not take
// (CMYK without such a profile, 12-bit, ...), and files libjpeg cannot finish or that end before
// their last row, are kNotTaken, so the imaging library keeps deciding what they show; a frame
// too large to decode is kRefused, whatever its kind. Any thread, for its own image.
FileDecodeOutcome DecodeJpeg(const EncodedPicture& picture, CImage& image);

// A first view of the picture, for a view of viewWidth x viewHeight, into image, in the display's
// colours, while the full decode runs: decoded reduced (2, 4 or 8 times, see ReductionForView)
// when the view allows, and from the first scans alone when the file is progressive. kNotTaken
// when neither applies (the full decode would be about as quick) and for kinds other than colour
// and greyscale. Any thread, for its own image.
FileDecodeOutcome DecodeJpegFirstView(const EncodedPicture& picture, int32_t viewWidth, int32_t viewHeight,
                                      CImage& image);

// The same for the file at path (read once), with embedded as its profile (empty: no conversion,
// CMYK declined) and the primary monitor's colours. For tests and benchmarks.
FileDecodeOutcome DecodeJpegFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel = nullptr,
                                 const std::vector<uint8_t>& embedded = {});

// True when the bytes are a JPEG whose frame header, as libjpeg reads it, states a picture too
// large to decode at all (whatever its kind, CMYK included).
bool JpegFrameTooLarge(const uint8_t* bytes, size_t size);
