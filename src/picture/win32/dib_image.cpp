#include "picture/win32/dib_image.h"

#include <gdiplus.h>

#include <atomic>
#include <cstdlib>
#include <utility>

#include "framework/gdi_handles.h"
#include "framework/start_profile.h"
#include "picture/pixel_layout.h"

namespace {

// The imaging library's start-up token and the count of live images, guarded by one critical
// section. A function-local static, so it exists before the first CImage is constructed and is
// torn down after the last one is destroyed, whatever the order of the files' static objects.
class ImagingLifetime {
 public:
  ImagingLifetime() { InitializeCriticalSection(&lock_); }
  ~ImagingLifetime() {
    ShutdownIfStarted();
    DeleteCriticalSection(&lock_);
  }
  ImagingLifetime(const ImagingLifetime&) = delete;
  ImagingLifetime& operator=(const ImagingLifetime&) = delete;

  void AddUser() {
    EnterCriticalSection(&lock_);
    ++liveImages_;
    LeaveCriticalSection(&lock_);
  }
  void RemoveUser() {
    EnterCriticalSection(&lock_);
    if (liveImages_ > 0 && --liveImages_ == 0) ShutdownLocked();
    LeaveCriticalSection(&lock_);
  }
  bool EnsureStarted() {
    EnterCriticalSection(&lock_);
    if (token_ == 0) {
      Gdiplus::GdiplusStartupInput input;  // version 1, no debug callback, nothing suppressed
      ULONG_PTR token = 0;
      if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) token_ = token;
      MarkStartPhase(StartPhase::kImagingStarted);
    }
    const bool started = token_ != 0;
    LeaveCriticalSection(&lock_);
    return started;
  }

 private:
  void ShutdownIfStarted() {
    EnterCriticalSection(&lock_);
    ShutdownLocked();
    LeaveCriticalSection(&lock_);
  }
  void ShutdownLocked() {
    if (token_ == 0) return;
    Gdiplus::GdiplusShutdown(token_);
    token_ = 0;
  }

  CRITICAL_SECTION lock_;
  ULONG_PTR token_ = 0;
  int32_t liveImages_ = 0;
};

ImagingLifetime& Imaging() {
  static ImagingLifetime lifetime;
  return lifetime;
}

}  // namespace

bool EnsureImagingStarted() { return Imaging().EnsureStarted(); }

CImage::CImage() { Imaging().AddUser(); }

CImage::~CImage() {
  Destroy();
  Imaging().RemoveUser();
}

bool CImage::Create(int32_t width, int32_t height, int32_t bitsPerPixel, bool hasAlpha) {
  Destroy();
  if (width <= 0 || height <= 0 || !IsDibDepth(bitsPerPixel)) return false;
  if (DibImageBytes(width, height, bitsPerPixel) < 0) return false;

  // The header is followed by room for a full colour table; depths above 8 simply ignore it.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } info = {};
  info.header.biSize = sizeof(BITMAPINFOHEADER);
  info.header.biWidth = width;
  info.header.biHeight = height;  // positive: rows stored bottom-up
  info.header.biPlanes = 1;
  info.header.biBitCount = static_cast<WORD>(bitsPerPixel);
  info.header.biCompression = BI_RGB;
  if (bitsPerPixel <= 8) info.header.biClrUsed = 256;

  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  if (bitmap == nullptr || bits == nullptr) {
    if (bitmap != nullptr) DeleteObject(bitmap);
    return false;
  }
  Attach(bitmap);
  hasAlpha_ = hasAlpha;
  return true;
}

namespace {

// Process-wide and never reset, so no two bitmaps, nor two states of one, share a revision;
// images are made on the worker too.
std::atomic<uint64_t> revisions{0};

}  // namespace

// The one process-wide decoded picture. Defined after the imaging library's lifetime record
// above, in the same file, so that it is destroyed before that record.
CImage currentImage;

void CImage::MarkPixelsChanged() {
  if (bitmap_ != nullptr) revision_ = ++revisions;
}

void CImage::Attach(HBITMAP bitmap) {
  Destroy();
  if (bitmap == nullptr) return;
  revision_ = ++revisions;
  // Should the count's allocation fail, the shared pointer deletes the bitmap before throwing.
  keeper_ = std::shared_ptr<void>(bitmap, [](void* handle) { DeleteObject(static_cast<HBITMAP>(handle)); });
  DIBSECTION section = {};
  const int got = GetObjectW(bitmap, sizeof(section), &section);
  bitmap_ = bitmap;
  if (got < static_cast<int>(sizeof(BITMAP))) return;  // not a bitmap we can describe
  width_ = section.dsBm.bmWidth;
  height_ = std::abs(section.dsBm.bmHeight);
  bitsPerPixel_ = section.dsBm.bmBitsPixel;
  const int32_t rowBytes = DibRowBytes(width_, bitsPerPixel_);
  uint8_t* bits = static_cast<uint8_t*>(section.dsBm.bmBits);
  // Only a DIB section tells its stored row order; a plain bitmap has no pixel address.
  const bool bottomUp = got == static_cast<int>(sizeof(DIBSECTION)) && section.dsBmih.biHeight > 0;
  if (bottomUp) {
    pitch_ = -rowBytes;
    topRow_ = bits == nullptr ? nullptr : bits + static_cast<ptrdiff_t>(height_ - 1) * rowBytes;
  } else {
    pitch_ = rowBytes;
    topRow_ = bits;
  }
}

void CImage::Destroy() {
  bitmap_ = nullptr;
  keeper_.reset();
  width_ = height_ = bitsPerPixel_ = pitch_ = 0;
  topRow_ = nullptr;
  hasAlpha_ = false;
}

PixelHold CImage::Hold() const {
  if (bitmap_ == nullptr || topRow_ == nullptr) return PixelHold{};
  PixelHold hold{keeper_, topRow_, width_, height_, pitch_, bitsPerPixel_, hasAlpha_, revision_, {}};
  if (bitsPerPixel_ <= 8) {
    RGBQUAD colours[256] = {};
    MemoryDc dc(nullptr, bitmap_);
    if (!dc.Ok() || GetDIBColorTable(dc.Get(), 0, 256, colours) == 0) return PixelHold{};
    const auto* bytes = reinterpret_cast<const uint8_t*>(colours);
    hold.colourTable.assign(bytes, bytes + sizeof(colours));
  }
  GdiFlush();  // the holder reads the pixels directly: drawing into them must have landed
  return hold;
}

void CImage::Swap(CImage& other) {
  std::swap(bitmap_, other.bitmap_);
  std::swap(keeper_, other.keeper_);
  std::swap(width_, other.width_);
  std::swap(height_, other.height_);
  std::swap(bitsPerPixel_, other.bitsPerPixel_);
  std::swap(pitch_, other.pitch_);
  std::swap(topRow_, other.topRow_);
  std::swap(hasAlpha_, other.hasAlpha_);
  std::swap(revision_, other.revision_);
}
