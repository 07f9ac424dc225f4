// What every decoder of the format table is handed, and what it makes of it. Any thread may
// decode, each into an image of its own.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/format_table.h"
#include "picture/win32/dib_image.h"

// A file's bytes, in memory, with what the format table read from them. Everything is borrowed
// from the caller for the length of the decode.
struct EncodedPicture {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  const PictureFacts* facts = nullptr;
  const std::vector<uint8_t>* display = nullptr;  // the display profile's bytes; empty: sRGB
  const std::atomic<bool>* cancelled = nullptr;   // may be null
};

enum class FileDecodeOutcome {
  kDecoded,    // the image holds the picture, in the display's colours
  kNotTaken,   // the image is empty; the imaging library should decode the bytes instead
  kCancelled,  // the image is empty; cancel was seen set
  kRefused,    // the image is empty; the picture is too large, or not decodable by anyone
};
