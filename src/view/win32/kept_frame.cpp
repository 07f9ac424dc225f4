#include "view/win32/kept_frame.h"

HBITMAP KeptFrame::Ensure(HDC dc, int32_t width, int32_t height) {
  if (bitmap_ && width == width_ && height == height_) return bitmap_.Get();
  Bitmap fresh(CreateCompatibleBitmap(dc, width, height));
  if (!fresh) return nullptr;
  bitmap_ = std::move(fresh);
  width_ = width;
  height_ = height;
  return bitmap_.Get();
}

bool ReadKeptFrame(const KeptFrame& frame, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
  if (frame.Handle() == nullptr) return false;
  width = frame.Width();
  height = frame.Height();
  pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  WindowDc screen(nullptr);
  const int rows = GetDIBits(screen.Get(), frame.Handle(), 0, static_cast<UINT>(height), pixels.data(),
                             &info, DIB_RGB_COLORS);
  for (uint32_t& p : pixels) p &= 0x00FFFFFF;
  return rows == height;
}
