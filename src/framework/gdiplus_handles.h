// Owners for the imaging library's objects, released on every path; none can be copied.
#pragma once
#include <windows.h>
#include <gdiplus.h>

#include "framework/unique_handle.h"

struct GpBitmapTraits {
  using Type = Gdiplus::GpBitmap*;
  static Type None() { return nullptr; }
  static bool IsValid(Type b) { return b != nullptr; }
  static bool Free(Type b) { return Gdiplus::DllExports::GdipDisposeImage(b) == Gdiplus::Ok; }
};
using GpBitmapOwner = UniqueHandle<GpBitmapTraits>;

struct GpGraphicsTraits {
  using Type = Gdiplus::GpGraphics*;
  static Type None() { return nullptr; }
  static bool IsValid(Type g) { return g != nullptr; }
  static bool Free(Type g) { return Gdiplus::DllExports::GdipDeleteGraphics(g) == Gdiplus::Ok; }
};
using GpGraphicsOwner = UniqueHandle<GpGraphicsTraits>;

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
