// Decoded pictures shown in their true colours: the embedded ICC profile converted to the
// display's (see display_profile.h), on the thread that decodes.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
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

// Converts a 24- or 32-bit image's rows to the display's colours on a thread of its own while a
// decoder writes them, top row first, publishing how many it has written in RowsWritten(): the
// conversion then costs the decode next to nothing on a machine with a second core. Does nothing
// (Following() false) without a profile, for one that does not apply, or when no thread can start.
class ColoursBehindDecode {
 public:
  // Both are the caller's and must outlive this object.
  ColoursBehindDecode(CImage& image, const std::vector<uint8_t>& embedded);
  // Finish(false) when not called before.
  ~ColoursBehindDecode();
  ColoursBehindDecode(const ColoursBehindDecode&) = delete;
  ColoursBehindDecode& operator=(const ColoursBehindDecode&) = delete;

  // True when rows are converted behind the decoder (whether or not Finish has run).
  bool Following() const { return following_; }
  std::atomic<int32_t>& RowsWritten() { return written_; }
  // Waits for the thread: with `decoded`, once every row has been converted; otherwise it stops
  // where it is (the picture is thrown away).
  void Finish(bool decoded);

 private:
  void Follow();

  CImage& image_;
  const std::vector<uint8_t>& embedded_;
  std::shared_ptr<const std::vector<uint8_t>> display_;
  std::atomic<int32_t> written_{0};
  std::atomic<int> state_{0};  // 0 decoding, 1 decoded, 2 abandoned
  bool following_ = false;
  std::thread thread_;
};

// CMYK pixels: whether those described by embedded can be turned into the display's colours (the
// transform is made now and kept for the conversion). inverted: 255 means no ink.
bool CmykConvertsToDisplay(const std::vector<uint8_t>& embedded, bool inverted);

// Turns a 32-bit image of CMYK pixels into the display's colours in place, alpha 255. False when
// no transform applies: the pixels are then still CMYK and must not be shown.
bool ConvertCmykToDisplayColours(CImage& image, const std::vector<uint8_t>& embedded, bool inverted);
