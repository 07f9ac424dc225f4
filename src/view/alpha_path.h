// Which files are drawn with per-pixel alpha.
#pragma once
#include <string>

#include "decode/image_header.h"

// True when the path contains ".png", ".PNG", ".gif" or ".GIF" anywhere, case-sensitively, so a
// folder name counts and mixed-case spellings do not.
bool TakesAlphaPath(const std::wstring& path);

// The rule for a decoded picture: the path's rule, or, for the kinds outside it (WebP, AVIF,
// HEIF, JPEG XL), whether the picture itself carries alpha, since their extensions were never
// part of the path's rule and their files may or may not have an alpha channel.
bool TakesAlphaPath(const std::wstring& path, PictureFormat format, bool pictureCarriesAlpha);
