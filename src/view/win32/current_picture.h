// The steps of a render on the one current picture: decoding the shown entry into currentImage,
// turning it, premultiplying it. Window's thread only (checked; they read the list and the view
// state). Each keeps the shown picture's rules in step with its pixels.
#pragma once
#include <windows.h>
#include <cstdint>

#include "picture/rotate_request.h"

class PictureView;

// Decodes ImageList[currentIndex] into currentImage, as the shown picture with that path's
// rules and no copies yet. On success clears loadFailed and alphaPrepared and sets rotation from
// the file's EXIF orientation; on failure sets loadFailed and leaves currentImage empty. An index
// outside the list fails like an unreadable file.
bool DecodeCurrentFile(PictureView& view, RotateRequest& rotation);

// The orientation tag of the current file when it is a JPEG with a parsable EXIF block.
bool ReadOrientation(int32_t& exifOrientation);

// Turns currentImage for good (1 clockwise, 2 counter-clockwise, 3 half turn; anything else
// does nothing) and stores zoom 1.0. Pixels already premultiplied keep their alpha.
void RotateCurrentImage(PictureView& view, RotateRequest request);

// Premultiplies the shown picture's colours by alpha, once per decoded bitmap: marks it
// premultiplied (and alphaPrepared) first, so a bitmap of another depth is never looked at again
// either. Its revision changes, so nothing made from the pixels before is taken for them.
void PremultiplyAlpha(PictureView& view);
