#include "view/win32/kept_frame.h"

namespace {

// Created on first use, so a render from any static initialiser or thread finds it ready.
CRITICAL_SECTION& RenderSection() {
  struct Section {
    Section() { InitializeCriticalSection(&cs); }
    ~Section() { DeleteCriticalSection(&cs); }
    CRITICAL_SECTION cs;
  };
  static Section section;
  return section.cs;
}

}  // namespace

RenderLock::RenderLock() { EnterCriticalSection(&RenderSection()); }
RenderLock::~RenderLock() { LeaveCriticalSection(&RenderSection()); }

KeptFrame::~KeptFrame() {
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
}

HBITMAP KeptFrame::Ensure(HDC dc, int32_t width, int32_t height) {
  if (bitmap_ != nullptr && width == width_ && height == height_) return bitmap_;
  HBITMAP fresh = CreateCompatibleBitmap(dc, width, height);
  if (fresh == nullptr) return nullptr;
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  bitmap_ = fresh;
  width_ = width;
  height_ = height;
  return bitmap_;
}

KeptFrame& TheKeptFrame() {
  static KeptFrame frame;
  return frame;
}

bool ReadKeptFrame(std::vector<uint32_t>& pixels, int32_t& width, int32_t& height) {
  RenderLock lock;
  const KeptFrame& frame = TheKeptFrame();
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
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, frame.Handle(), 0, static_cast<UINT>(height), pixels.data(),
                             &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  for (uint32_t& p : pixels) p &= 0x00FFFFFF;
  return rows == height;
}
