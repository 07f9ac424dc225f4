// The fast JPEG route: a file decoded by libjpeg-turbo straight into a new DIB section.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "picture/win32/dib_image.h"

enum class JpegFileOutcome {
  kDecoded,    // image holds the picture
  kNotTaken,   // image is empty; the imaging library should decode the file as before
  kCancelled,  // image is empty; cancel was seen set
  kRefused,    // image is empty; the picture is too large to decode at all
};

// Decodes path into image (released first) when it is a JPEG of a kind this route takes: 8-bit
// colour into a 24-bit bottom-up DIB, 8-bit greyscale into an 8-bit one with a grey colour table,
// the depths the imaging library gives for them. embedded is the file's own profile (as
// ReadEmbeddedProfile finds it; empty for none): the picture comes out converted from it to the
// display's colours, and 8-bit CMYK and YCCK files are taken too, into a 32-bit DIB (alpha 255),
// when it is a CMYK profile that converts. Files that are not JPEGs (no 0xFF 0xD8 at the start),
// that cannot be opened, of other kinds (CMYK without such a profile, 12-bit, ...), that libjpeg
// cannot finish or that end before their last row are not taken, so the imaging library keeps
// deciding what they show. cancel may be null; any thread may call this for its own image.
JpegFileOutcome DecodeJpegFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel = nullptr,
                               const std::vector<uint8_t>& embedded = {});

// True when path is a JPEG whose frame header, as libjpeg reads it, states a picture too large
// to decode at all (whatever its kind, CMYK included). For files the header reader could not
// size (it gives up on hostile segment runs), before any other decoder sees them.
bool JpegFrameTooLarge(const std::wstring& path);
