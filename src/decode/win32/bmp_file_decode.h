// The BMP route: a file read by our own reader straight into a new DIB section.
#pragma once
#include <atomic>
#include <string>

#include "decode/win32/file_decode_outcome.h"
#include "picture/win32/dib_image.h"

// Reads path into image (released first) when it is a BMP of a kind decode/bmp_rows.h takes, in
// the depth and colour table the imaging library gives it. Anything else is not taken. cancel may
// be null; any thread may call this for its own image.
FileDecodeOutcome DecodeBmpFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel = nullptr);
