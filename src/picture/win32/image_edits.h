// Turning and premultiplying a decoded picture in memory; the file is never read again. Any
// thread, on an image that thread owns: nothing here touches the current picture or the view.
#pragma once
#include <windows.h>

#include "picture/rotate_request.h"
#include "picture/win32/dib_image.h"

// premultiplied: the pixels carry premultiplied alpha that the turn must keep.
void RotateImage(CImage& image, RotateRequest request, bool premultiplied);
// The same through the imaging library alone: the route for depths under 8 bits, and the
// baseline the turn benchmark measures ours against.
void RotateWithImagingLibrary(CImage& image, RotateRequest request, bool premultiplied);
// A 32-bit DIB section's colours multiplied by alpha; any other depth is left alone.
void PremultiplyBitmap(HBITMAP bitmap);
