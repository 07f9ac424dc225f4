// Owners for the imaging library's objects, released on every path; none can be copied.
#pragma once
#include <windows.h>
#include <gdiplus.h>

class GpBitmapOwner {
 public:
  GpBitmapOwner() = default;
  explicit GpBitmapOwner(Gdiplus::GpBitmap* bitmap) : bitmap_(bitmap) {}
  ~GpBitmapOwner() { Reset(); }
  GpBitmapOwner(const GpBitmapOwner&) = delete;
  GpBitmapOwner& operator=(const GpBitmapOwner&) = delete;

  Gdiplus::GpBitmap* Get() const { return bitmap_; }
  // For the creating calls' out parameter; disposes what was held first.
  Gdiplus::GpBitmap** Out() {
    Reset();
    return &bitmap_;
  }
  void Reset() {
    if (bitmap_ != nullptr) Gdiplus::DllExports::GdipDisposeImage(bitmap_);
    bitmap_ = nullptr;
  }

 private:
  Gdiplus::GpBitmap* bitmap_ = nullptr;
};

// Pixels of a bitmap locked for reading or writing, unlocked on destruction.
class LockedBits {
 public:
  LockedBits(Gdiplus::GpBitmap* bitmap, Gdiplus::PixelFormat format, UINT mode) : bitmap_(bitmap) {
    UINT width = 0, height = 0;
    Gdiplus::DllExports::GdipGetImageWidth(bitmap, &width);
    Gdiplus::DllExports::GdipGetImageHeight(bitmap, &height);
    const Gdiplus::GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    status_ = Gdiplus::DllExports::GdipBitmapLockBits(bitmap, &whole, mode, format, &data_);
  }
  ~LockedBits() {
    if (status_ == Gdiplus::Ok) Gdiplus::DllExports::GdipBitmapUnlockBits(bitmap_, &data_);
  }
  LockedBits(const LockedBits&) = delete;
  LockedBits& operator=(const LockedBits&) = delete;

  bool Ok() const { return status_ == Gdiplus::Ok && data_.Scan0 != nullptr; }
  const Gdiplus::BitmapData& Data() const { return data_; }

 private:
  Gdiplus::GpBitmap* bitmap_;
  Gdiplus::BitmapData data_{};
  Gdiplus::GpStatus status_ = Gdiplus::GenericError;
};

class GpGraphicsOwner {
 public:
  explicit GpGraphicsOwner(Gdiplus::GpImage* target) {
    Gdiplus::DllExports::GdipGetImageGraphicsContext(target, &graphics_);
  }
  ~GpGraphicsOwner() {
    if (graphics_ != nullptr) Gdiplus::DllExports::GdipDeleteGraphics(graphics_);
  }
  GpGraphicsOwner(const GpGraphicsOwner&) = delete;
  GpGraphicsOwner& operator=(const GpGraphicsOwner&) = delete;

  Gdiplus::GpGraphics* Get() const { return graphics_; }

 private:
  Gdiplus::GpGraphics* graphics_ = nullptr;
};
