#include "picture/win32/image_edits.h"

#include <windows.h>
#include <gdiplus.h>

#include <cstring>

#include "framework/gdi_handles.h"
#include "framework/gdiplus_handles.h"
#include "picture/orientation.h"
#include "picture/pixel_layout.h"
#include "picture/premultiply.h"
#include "picture/win32/dib_turn.h"

using namespace Gdiplus::DllExports;

namespace {

// The format the DIB's own pixels are read in when they are wrapped for turning.
Gdiplus::PixelFormat WrapperFormat(int32_t bitsPerPixel) {
  switch (bitsPerPixel) {
    case 1: return PixelFormat1bppIndexed;
    case 4: return PixelFormat4bppIndexed;
    case 8: return PixelFormat8bppIndexed;
    case 16: return PixelFormat16bppRGB555;
    case 24: return PixelFormat24bppRGB;
    default: return PixelFormat32bppARGB;
  }
}

// Gives a wrapper of palette pixels the DIB's colour table, opaque, so the turned copy keeps the
// picture's colours instead of whatever a bare wrapper would assume.
void GiveWrapperColourTable(Gdiplus::GpBitmap* wrapper, const CImage& image) {
  RGBQUAD table[256] = {};
  UINT count = 0;
  {
    MemoryDc dc(nullptr, image.Handle());
    if (dc.Ok()) count = GetDIBColorTable(dc.Get(), 0, 256, table);
  }
  if (count == 0) return;
  struct {
    UINT Flags;
    UINT Count;
    Gdiplus::ARGB Entries[256];
  } palette = {};
  palette.Count = count;
  for (UINT i = 0; i < count; ++i) {
    palette.Entries[i] = 0xFF000000u | (static_cast<Gdiplus::ARGB>(table[i].rgbRed) << 16) |
                         (static_cast<Gdiplus::ARGB>(table[i].rgbGreen) << 8) | table[i].rgbBlue;
  }
  GdipSetImagePalette(wrapper, reinterpret_cast<Gdiplus::ColorPalette*>(&palette));
}

// Pixels as decoded: through a bitmap handle, which drops any alpha.
void RotateThroughHandle(CImage& image, Gdiplus::RotateFlipType code) {
  GpBitmapOwner turned;
  const bool copied = GdipCreateBitmapFromHBITMAP(image.Handle(), nullptr, turned.Out()) == Gdiplus::Ok;
  image.Destroy();  // the imaging library holds its own copy of the pixels now
  if (!copied) return;
  GdipImageRotateFlip(turned.Get(), code);
  HBITMAP result = nullptr;
  if (GdipCreateHBITMAPFromBitmap(turned.Get(), &result, 0) == Gdiplus::Ok) image.Attach(result);
}

// Premultiplied pixels: copied, turned and written into a new 32-bit DIB with alpha, byte for
// byte, so they are neither premultiplied again nor lose their alpha.
void RotatePremultiplied(CImage& image, Gdiplus::RotateFlipType code) {
  const Gdiplus::PixelFormat format = WrapperFormat(image.BitsPerPixel());
  GpBitmapOwner turned;
  {
    GpBitmapOwner wrapper;
    if (GdipCreateBitmapFromScan0(image.Width(), image.Height(), image.Pitch(),
                                  format, image.TopRow(), wrapper.Out()) != Gdiplus::Ok) {
      image.Destroy();
      return;
    }
    if (format & PixelFormatIndexed) GiveWrapperColourTable(wrapper.Get(), image);
    // The copy owns its pixels, so nothing depends on the old DIB once it is deleted.
    GdipCloneBitmapAreaI(0, 0, image.Width(), image.Height(), PixelFormat32bppARGB,
                         wrapper.Get(), turned.Out());
  }
  image.Destroy();
  if (turned.Get() == nullptr) return;
  GdipImageRotateFlip(turned.Get(), code);

  UINT width = 0, height = 0;
  GdipGetImageWidth(turned.Get(), &width);
  GdipGetImageHeight(turned.Get(), &height);
  if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(height), 32, true)) return;
  LockedBits locked(turned.Get(), PixelFormat32bppARGB, Gdiplus::ImageLockModeRead);
  if (!locked.Ok()) {
    image.Destroy();
    return;
  }
  const auto* from = static_cast<const uint8_t*>(locked.Data().Scan0);
  for (int32_t y = 0; y < image.Height(); ++y) {
    std::memcpy(image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch(),
                from + static_cast<ptrdiff_t>(y) * locked.Data().Stride,
                static_cast<size_t>(image.Width()) * 4);
  }
}

}  // namespace

void RotateImage(CImage& image, RotateRequest request, bool premultiplied) {
  const int32_t code = RotateFlipCodeForTurn(request);
  if (code < 0 || image.IsNull()) return;
  // Whole-byte depths: our tiled turn, byte for byte, so premultiplied pixels keep their alpha.
  CImage turned;
  if (TurnDib(image, request, turned)) {
    image.Swap(turned);
    return;
  }
  RotateWithImagingLibrary(image, request, premultiplied);
}

void RotateWithImagingLibrary(CImage& image, RotateRequest request, bool premultiplied) {
  const int32_t code = RotateFlipCodeForTurn(request);
  if (code < 0 || image.IsNull()) return;
  const auto rotateFlip = static_cast<Gdiplus::RotateFlipType>(code);
  if (premultiplied) {
    RotatePremultiplied(image, rotateFlip);
  } else {
    RotateThroughHandle(image, rotateFlip);
  }
}

void PremultiplyBitmap(HBITMAP bitmap) {
  DIBSECTION section = {};
  if (GetObjectW(bitmap, sizeof(section), &section) != static_cast<int>(sizeof(section)) ||
      section.dsBm.bmBitsPixel != 32 || section.dsBm.bmBits == nullptr) {
    return;
  }
  GdiFlush();  // the pixels are changed directly; pending drawing into them must land first
  auto* rows = static_cast<uint8_t*>(section.dsBm.bmBits);
  const int32_t height = section.dsBm.bmHeight < 0 ? -section.dsBm.bmHeight : section.dsBm.bmHeight;
  for (int32_t y = 0; y < height; ++y) {
    PremultiplyPixels(rows + static_cast<ptrdiff_t>(y) * section.dsBm.bmWidthBytes,
                      static_cast<size_t>(section.dsBm.bmWidth));
  }
}
