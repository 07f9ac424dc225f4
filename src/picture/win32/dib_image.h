// The decoded current picture: one DIB section and what is known of it.
#pragma once
#include <windows.h>
#include <cstdint>
#include <memory>
#include <vector>

// A read-only hold on an image's pixels for another thread: the bitmap stays alive, unchanged,
// while the hold lasts, even after the image has let go of it (a step, a turn). The pixels are
// read through topRow only; the bitmap is never selected into a DC, which the window's thread
// may be doing with it at the same time.
struct PixelHold {
  std::shared_ptr<void> keeper;
  const uint8_t* topRow = nullptr;
  int32_t width = 0;
  int32_t height = 0;
  int32_t pitch = 0;  // negative for bottom-up rows
  int32_t bitsPerPixel = 0;
  bool hasAlpha = false;
  uint64_t revision = 0;
  std::vector<uint8_t> colourTable;  // depths of 8 or less: 256 entries of blue, green, red, 0
  bool Empty() const { return topRow == nullptr; }
};

class CImage {
 public:
  // Each object counts as one live user of the imaging library; the last one to go shuts the
  // library down if a decode started it.
  CImage();
  ~CImage();
  CImage(const CImage&) = delete;
  CImage& operator=(const CImage&) = delete;

  bool IsNull() const { return bitmap_ == nullptr; }
  // Creates a DIB section with rows stored bottom-up; depths of 8 or less get a 256-entry
  // colour table of zeros. Releases what was held first.
  bool Create(int32_t width, int32_t height, int32_t bitsPerPixel, bool hasAlpha);
  // Takes ownership of a bitmap handle; width, depth and row order come from the bitmap itself.
  void Attach(HBITMAP bitmap);
  // Lets go of the bitmap and empties the image; the bitmap is deleted once no PixelHold keeps it.
  void Destroy();
  // A hold on the pixels as they are now (empty for an empty image, or a palette image whose
  // colours cannot be read). The holder must not change them; the owner does not either while a
  // hold may be out (pixels are changed in place only before a picture is shown: colour
  // conversion, premultiplication). Called on the thread that owns the image.
  PixelHold Hold() const;
  // Exchanges the two images' bitmaps and properties (a picture prepared ahead becoming the
  // current one).
  void Swap(CImage& other);

  HBITMAP Handle() const { return bitmap_; }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  int32_t BitsPerPixel() const { return bitsPerPixel_; }
  int32_t Pitch() const { return pitch_; }           // negative for bottom-up rows
  uint8_t* TopRow() const { return topRow_; }
  bool HasAlpha() const { return hasAlpha_; }
  // Changes whenever the image takes another bitmap (a decode, a turn) and whenever its pixels
  // are changed in place (MarkPixelsChanged); anything made from the image remembers it to know
  // it still matches.
  uint64_t Revision() const { return revision_; }
  // The owner changed the pixels in place (premultiplied them): copies made before no longer match.
  void MarkPixelsChanged();

 private:
  HBITMAP bitmap_ = nullptr;
  std::shared_ptr<void> keeper_;  // owns bitmap_: deletes it when the last holder goes
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t bitsPerPixel_ = 0;
  int32_t pitch_ = 0;
  uint8_t* topRow_ = nullptr;
  bool hasAlpha_ = false;
  uint64_t revision_ = 0;
};

// The one process-wide decoded picture (defined in dib_image.cpp, beside the imaging library's
// lifetime record it must be destroyed before).
extern CImage currentImage;

// Starts the imaging library once, under its lock. False when start-up fails (retried later).
bool EnsureImagingStarted();
