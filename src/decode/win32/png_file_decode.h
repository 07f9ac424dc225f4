// The fast PNG route: a file decoded by libspng straight into a new DIB section.
#pragma once
#include <atomic>
#include <string>

#include "decode/win32/file_decode_outcome.h"
#include "picture/win32/dib_image.h"

// Decodes path into image (released first) when it is a PNG libspng finishes, in the depth,
// colour table and alpha the imaging library gives it (see decode/png_rows.h); alpha stays
// straight, to be premultiplied where it is drawn with alpha. Anything else is not taken. cancel
// may be null; any thread may call this for its own image.
FileDecodeOutcome DecodePngFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel = nullptr);
