// The JPEG 2000 route: a JP2 file or bare codestream decoded by openjpeg, then written into a new
// DIB section.
#pragma once
#include <atomic>
#include <string>

#include "picture/win32/dib_image.h"

enum class Jpeg2000FileOutcome {
  kDecoded,    // image holds the picture
  kNotTaken,   // image is empty; not a JPEG 2000 file (or not openable): another decoder decides
  kFailed,     // image is empty; JPEG 2000, but too large or not decodable (no other decoder reads it)
  kCancelled,  // image is empty; cancel was seen set
};

// Decodes path into image (released first) when it starts with the JP2 signature box or a
// codestream's SOC and SIZ markers: opaque pictures into a 24-bit bottom-up DIB, pictures with an
// alpha component into a 32-bit one with straight alpha and the has-alpha flag. cancel may be
// null; any thread may call this for its own image (the worker does, for every picture).
Jpeg2000FileOutcome DecodeJpeg2000File(const std::wstring& path, CImage& image,
                                       const std::atomic<bool>* cancel = nullptr);
