// Photo-like JPEG files made at run time for the benchmarks: smooth light with structure,
// hard edges and grain, so the files are about as large as a camera's and each seed looks
// plainly different from the others. The imaging library must have been started.
#pragma once
#include <cstdint>
#include <string>

// Writes a width x height JPEG at `path` (through a temporary file, so a file at `path` is
// always whole); false when encoding or writing fails.
bool WritePhotoJpeg(const std::wstring& path, int width, int height, uint32_t seed);
