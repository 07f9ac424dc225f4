// Turning a picture file into a DIB section. Any thread: nothing here touches the window, the
// image list or the current picture (the worker decodes with it, on images of its own).
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>

#include "picture/win32/dib_image.h"

// Decodes one file into image (released first). False leaves it empty. cancelled (may be null)
// lets a decode on the worker stop early when its picture is no longer wanted.
bool DecodeFileToImage(const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled = nullptr);
// The same through the imaging library alone, whatever the file (the route without fast paths).
bool DecodeWithImagingLibrary(const std::wstring& path, CImage& image);
// The orientation tag of a JPEG with a parsable EXIF block.
bool ReadOrientationOf(const std::wstring& path, int32_t& exifOrientation);
