// Turning the current file of the image list into currentImage, and keeping it ready to draw.
#pragma once
#include <windows.h>
#include <atomic>
#include <cstdint>
#include <string>

#include "view/win32/dib_image.h"
#include "view/rotate_request.h"

// Decodes ImageList[currentIndex] into currentImage. On success clears loadFailed and
// alphaPrepared and sets rotation from the file's EXIF orientation; on failure sets loadFailed
// and leaves currentImage empty. An index outside the list fails like an unreadable file.
bool DecodeCurrentFile(RotateRequest& rotation);

// The orientation tag of the current file when it is a JPEG with a parsable EXIF block.
bool ReadOrientation(int32_t& exifOrientation);

// Turns currentImage for good (1 clockwise, 2 counter-clockwise, 3 half turn; anything else
// does nothing) and stores zoom 1.0. Pixels already premultiplied keep their alpha.
void RotateCurrentImage(RotateRequest request);

// Premultiplies a 32-bit DIB section's colours by alpha, once per decoded bitmap: marks
// alphaPrepared first, so a bitmap of another depth is never looked at again either.
void PremultiplyAlpha(HBITMAP bitmap);

// The same steps on any image, for any thread (the worker prepares pictures ahead with them);
// they touch neither currentImage nor the view state.
// Decodes one file into image (released first). False leaves it empty. cancelled (may be null)
// lets a decode on the worker stop early when its picture is no longer wanted.
bool DecodeFileToImage(const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled = nullptr);
// The same through the imaging library alone, whatever the file (the route without fast paths).
bool DecodeWithImagingLibrary(const std::wstring& path, CImage& image);
bool ReadOrientationOf(const std::wstring& path, int32_t& exifOrientation);
// premultiplied: the pixels carry premultiplied alpha that the turn must keep.
void RotateImage(CImage& image, RotateRequest request, bool premultiplied);
// A 32-bit DIB section's colours multiplied by alpha; any other depth is left alone.
void PremultiplyBitmap(HBITMAP bitmap);
