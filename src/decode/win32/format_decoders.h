// The decoders of the format table (../format_table.h), one row per format. Any thread, each
// into an image of its own.
#pragma once
#include "decode/win32/encoded_picture.h"
#include "picture/win32/dib_image.h"

// Decodes the picture with the decoder its format's row names (its facts say which); what that
// decoder does not take, and bytes of no known format, go to the imaging library. True when
// image holds the picture in the display's colours; false leaves it empty.
bool DecodeByFormat(const EncodedPicture& picture, CImage& image);
