// Decoded pictures shown in their true colours: the embedded ICC profile converted to the
// display's (display_profile.h), on the thread that decodes. display is the display profile's
// bytes (empty: sRGB).
#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/row_progress.h"
#include "picture/win32/dib_image.h"

// The profile the file at path embeds (read once, whole); empty when none or unreadable. For tests
// and benchmarks; the decode takes the profile from the bytes it decodes.
std::vector<uint8_t> ReadEmbeddedProfile(const std::wstring& path);

// Converts image's colours in place from embedded to display: the rows of 24- and 32-bit bitmaps
// (alpha untouched), the colour table of palette ones. Nothing happens without a profile, for an
// sRGB one, or for one that does not fit the pixels. The transforms are cached per pair of
// profiles for the whole process; any thread may call this.
void ConvertColours(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display);

// Converts a 24- or 32-bit image's rows to the display's colours on a thread of its own while a
// decoder writes them, top row first, and reports them through RowsWritten: the conversion then
// costs the decode next to nothing on a machine with a second core. Does nothing (Following()
// false) without a profile, for one that does not apply, or when no thread can start. The
// transform is taken once, under the converter's lock; the conversion runs without it.
class ColoursBehindDecode final : public RowProgress {
 public:
  // The image is the caller's and must outlive this object.
  ColoursBehindDecode(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display);
  // Finish(false) when not called before.
  ~ColoursBehindDecode();
  ColoursBehindDecode(const ColoursBehindDecode&) = delete;
  ColoursBehindDecode& operator=(const ColoursBehindDecode&) = delete;

  // True when rows are converted behind the decoder (whether or not Finish has run).
  bool Following() const { return following_; }
  // The decoding thread: rows 0 to rows - 1 are written.
  void RowsWritten(int32_t rows) noexcept override;
  // The decoding thread: waits for the converter, with `decoded` once every row has been
  // converted; otherwise it stops where it is (the picture is thrown away).
  void Finish(bool decoded);

 private:
  enum class State { kDecoding, kDecoded, kAbandoned };
  void Follow();

  CImage& image_;
  SharedTransform transform_;
  ColourPixels pixels_ = ColourPixels::kBgr24;
  std::mutex lock_;
  std::condition_variable changed_;
  int32_t written_ = 0;              // under lock_
  int32_t notified_ = 0;             // the decoding thread's: rows written at its last wake-up call
  State state_ = State::kDecoding;   // under lock_
  bool following_ = false;
  std::thread thread_;
};

// CMYK pixels: whether those described by embedded can be turned into the display's colours (the
// transform is made now and kept for the conversion). inverted: 255 means no ink.
bool CmykConverts(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display, bool inverted);

// Turns a 32-bit image of CMYK pixels into the display's colours in place, alpha 255. False when
// no transform applies: the pixels are then still CMYK and must not be shown.
bool ConvertCmykColours(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                        bool inverted);
