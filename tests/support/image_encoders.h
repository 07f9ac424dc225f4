// The imaging library's encoders, for tests and benchmarks that make their pictures at run time.
#pragma once
#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

// The class id of the encoder for mime ("image/png", "image/jpeg", ...); false when there is
// none. The imaging library must have been started.
bool FindImageEncoder(const wchar_t* mime, CLSID& clsid);

// Writes a width x height picture whose pixel (x, y) is pixel(x, y) as 0xAARRGGBB, through the
// encoder for mime ("image/png", "image/bmp", "image/jpeg", "image/gif", ...); starts the
// imaging library when needed. Returns false on failure.
bool SaveTestImage(const std::wstring& path, int32_t width, int32_t height, const wchar_t* mime,
                   const std::function<uint32_t(int32_t, int32_t)>& pixel);
