// Which files are drawn with per-pixel alpha.
#pragma once
#include <string>

// True when the path contains ".png", ".PNG", ".gif" or ".GIF" anywhere, case-sensitively, so a
// folder name counts and mixed-case spellings do not.
bool TakesAlphaPath(const std::wstring& path);
