// Decoded pictures shown in their true colours: the embedded ICC profile converted to the
// display's (see display_profile.h), on the thread that decodes.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "picture/win32/dib_image.h"

// The profile a JPEG (APP2 segments), TIFF or PNG (iCCP) file at path embeds; empty when none or
// unreadable.
std::vector<uint8_t> ReadEmbeddedProfile(const std::wstring& path);

// Converts image's colours in place from embedded to the display's profile: the rows of 24- and
// 32-bit bitmaps (alpha untouched), the colour table of palette ones. Nothing happens without a
// profile, for an sRGB one, or for one that does not fit the pixels. The transforms are cached
// per pair of profiles for the whole process; any thread may call this (one at a time is served).
void ConvertToDisplayColours(CImage& image, const std::vector<uint8_t>& embedded);

// CMYK pixels: whether those described by embedded can be turned into the display's colours (the
// transform is made now and kept for the conversion). inverted: 255 means no ink.
bool CmykConvertsToDisplay(const std::vector<uint8_t>& embedded, bool inverted);

// Turns a 32-bit image of CMYK pixels into the display's colours in place, alpha 255. False when
// no transform applies: the pixels are then still CMYK and must not be shown.
bool ConvertCmykToDisplayColours(CImage& image, const std::vector<uint8_t>& embedded, bool inverted);
