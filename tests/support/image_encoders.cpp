#include "support/image_encoders.h"

#include <gdiplus.h>

#include <cstdint>
#include <cwchar>
#include <vector>

#include "framework/gdiplus_handles.h"
#include "picture/win32/dib_image.h"

using namespace Gdiplus::DllExports;

bool FindImageEncoder(const wchar_t* mime, CLSID& clsid) {
  UINT count = 0, bytes = 0;
  if (GdipGetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0) return false;
  std::vector<uint8_t> buffer(bytes);
  auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
  if (GdipGetImageEncoders(count, bytes, codecs) != Gdiplus::Ok) return false;
  for (UINT i = 0; i < count; ++i) {
    if (wcscmp(codecs[i].MimeType, mime) == 0) {
      clsid = codecs[i].Clsid;
      return true;
    }
  }
  return false;
}

bool SaveTestImage(const std::wstring& path, int32_t width, int32_t height, const wchar_t* mime,
                   const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  if (!EnsureImagingStarted()) return false;
  CLSID clsid;
  if (!FindImageEncoder(mime, clsid)) return false;
  std::vector<uint32_t> pixels(static_cast<size_t>(width) * height);
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) pixels[static_cast<size_t>(y) * width + x] = pixel(x, y);
  // The bitmap only borrows the pixels, which outlive it.
  GpBitmapOwner bitmap;
  if (GdipCreateBitmapFromScan0(width, height, width * 4, PixelFormat32bppARGB,
                                reinterpret_cast<BYTE*>(pixels.data()), bitmap.Out()) != Gdiplus::Ok) {
    return false;
  }
  return GdipSaveImageToFile(bitmap.Get(), path.c_str(), &clsid, nullptr) == Gdiplus::Ok;
}
