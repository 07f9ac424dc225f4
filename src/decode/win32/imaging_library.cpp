#include "decode/win32/imaging_library.h"

#include <gdiplus.h>
#include <objidl.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstddef>
#include <cstring>
#include <new>
#include <vector>

#include "decode/win32/colour_managed.h"
#include "framework/gdi_handles.h"
#include "framework/gdiplus_handles.h"
#include "framework/unique_handle.h"
#include "picture/pixel_layout.h"

using namespace Gdiplus::DllExports;

namespace {

// Copies the source palette into the DIB's colour table; the palette's alpha is dropped.
bool CopyPalette(Gdiplus::GpBitmap* source, CImage& image) {
  INT bytes = 0;
  if (GdipGetImagePaletteSize(source, &bytes) != Gdiplus::Ok ||
      bytes < static_cast<INT>(sizeof(Gdiplus::ColorPalette))) {
    return false;
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(bytes));
  auto* palette = reinterpret_cast<Gdiplus::ColorPalette*>(buffer.data());
  if (GdipGetImagePalette(source, palette, bytes) != Gdiplus::Ok) return false;
  const UINT count = palette->Count;
  const size_t room = (static_cast<size_t>(bytes) - offsetof(Gdiplus::ColorPalette, Entries)) / sizeof(Gdiplus::ARGB);
  if (count == 0 || count > 256 || count > room) return false;

  RGBQUAD table[256] = {};
  for (UINT i = 0; i < count; ++i) {
    const Gdiplus::ARGB entry = palette->Entries[i];
    table[i].rgbBlue = static_cast<BYTE>(entry & 0xFF);
    table[i].rgbGreen = static_cast<BYTE>((entry >> 8) & 0xFF);
    table[i].rgbRed = static_cast<BYTE>((entry >> 16) & 0xFF);
  }
  MemoryDc dc(nullptr, image.Handle());
  return dc.Ok() && SetDIBColorTable(dc.Get(), 0, count, table) == count;
}

// Same format on both sides: the rows are copied as they are, top row first. The library is
// asked to write them into the DIB itself, so no copy of the whole picture of its own is made
// on the way (a large picture would otherwise be held three times at once); where it cannot,
// its locked rows are copied.
bool CopyRows(Gdiplus::GpBitmap* source, Gdiplus::PixelFormat format, CImage& image) {
  Gdiplus::BitmapData into{};
  into.Width = static_cast<UINT>(image.Width());
  into.Height = static_cast<UINT>(image.Height());
  into.Stride = image.Pitch();
  into.PixelFormat = format;
  into.Scan0 = image.TopRow();
  const Gdiplus::GpRect whole(0, 0, image.Width(), image.Height());
  if (GdipBitmapLockBits(source, &whole, Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf, format,
                         &into) == Gdiplus::Ok) {
    GdipBitmapUnlockBits(source, &into);
    return true;
  }
  LockedBits locked(source, format, Gdiplus::ImageLockModeRead);
  if (!locked.Ok()) return false;
  const Gdiplus::BitmapData& data = locked.Data();
  const int32_t rowBytes = PackedRowBytes(image.Width(), image.BitsPerPixel());
  if (rowBytes < 0 || static_cast<UINT>(image.Width()) != data.Width ||
      static_cast<UINT>(image.Height()) != data.Height) {
    return false;
  }
  const auto* from = static_cast<const uint8_t*>(data.Scan0);
  uint8_t* to = image.TopRow();
  for (int32_t y = 0; y < image.Height(); ++y) {
    std::memcpy(to + static_cast<ptrdiff_t>(y) * image.Pitch(),
                from + static_cast<ptrdiff_t>(y) * data.Stride, static_cast<size_t>(rowBytes));
  }
  return true;
}

// Any other format: the imaging library converts while drawing into the DIB's own pixels.
// Drawn pixel for pixel (source copy, no resampling) whatever resolution the file states.
bool DrawInto(Gdiplus::GpBitmap* source, Gdiplus::PixelFormat format, CImage& image) {
  GpBitmapOwner target;
  if (GdipCreateBitmapFromScan0(image.Width(), image.Height(), image.Pitch(), format,
                                image.TopRow(), target.Out()) != Gdiplus::Ok) {
    return false;
  }
  GpGraphicsOwner graphics;
  if (GdipGetImageGraphicsContext(target.Get(), graphics.Out()) != Gdiplus::Ok || !graphics) return false;
  GdipSetCompositingMode(graphics.Get(), Gdiplus::CompositingModeSourceCopy);
  GdipSetInterpolationMode(graphics.Get(), Gdiplus::InterpolationModeNearestNeighbor);
  GdipSetPixelOffsetMode(graphics.Get(), Gdiplus::PixelOffsetModeHalf);
  const Gdiplus::GpStatus status =
      GdipDrawImageRectRectI(graphics.Get(), source, 0, 0, image.Width(), image.Height(), 0, 0,
                             image.Width(), image.Height(), Gdiplus::UnitPixel, nullptr, nullptr,
                             nullptr);
  return status == Gdiplus::Ok;
}

bool ConvertToDib(Gdiplus::GpBitmap* source, CImage& image) {
  Gdiplus::PixelFormat format = 0;
  UINT width = 0, height = 0;
  if (GdipGetImagePixelFormat(source, &format) != Gdiplus::Ok ||
      GdipGetImageWidth(source, &width) != Gdiplus::Ok ||
      GdipGetImageHeight(source, &height) != Gdiplus::Ok || width == 0 || height == 0 ||
      width > INT32_MAX || height > INT32_MAX) {
    return false;
  }
  const DibChoice choice = ChooseDibFormat(format);
  if (!image.Create(static_cast<int32_t>(width), static_cast<int32_t>(height), choice.bitsPerPixel,
                    choice.hasAlpha)) {
    return false;
  }
  bool ok = true;
  if ((format & kPixelFormatIndexed) != 0 && choice.bitsPerPixel <= 8) ok = CopyPalette(source, image);
  if (ok) ok = choice.format == static_cast<uint32_t>(format) ? CopyRows(source, format, image) : DrawInto(source, choice.format, image);
  if (!ok) image.Destroy();
  return ok;
}

}  // namespace

namespace {

// A COM stream, released with Release.
struct StreamTraits {
  using Type = IStream*;
  static Type None() { return nullptr; }
  static bool IsValid(Type s) { return s != nullptr; }
  static bool Free(Type s) {
    s->Release();
    return true;
  }
};
using StreamOwner = UniqueHandle<StreamTraits>;

// A read-only stream over bytes it borrows. The library's own memory stream copies them, which
// for a large file (a 24 MP TIFF of 180 MB) held the file twice while it decoded. The bytes must
// outlive every reference the library takes; the library gives them back when its bitmap goes.
// Any one thread at a time, as the library uses it.
class BorrowedBytesStream final : public IStream {
 public:
  BorrowedBytesStream(const uint8_t* bytes, size_t size) : bytes_(bytes), size_(size) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID id, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(id, IID_IUnknown) || IsEqualIID(id, IID_IStream) || IsEqualIID(id, IID_ISequentialStream)) {
      *out = static_cast<IStream*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --references_;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE Read(void* into, ULONG count, ULONG* read) override {
    if (into == nullptr) return STG_E_INVALIDPOINTER;
    const size_t n = at_ < size_ ? std::min<size_t>(count, size_ - at_) : 0;
    if (n > 0) std::memcpy(into, bytes_ + at_, n);
    at_ += n;
    if (read != nullptr) *read = static_cast<ULONG>(n);
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE Seek(LARGE_INTEGER move, DWORD origin, ULARGE_INTEGER* now) override {
    int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<int64_t>(at_); break;
      case STREAM_SEEK_END: base = static_cast<int64_t>(size_); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    const int64_t to = base + move.QuadPart;
    if (to < 0) return STG_E_INVALIDFUNCTION;
    at_ = static_cast<size_t>(to);  // past the end is allowed; reads there give nothing
    if (now != nullptr) now->QuadPart = static_cast<ULONGLONG>(to);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSize(ULARGE_INTEGER) override { return STG_E_ACCESSDENIED; }
  HRESULT STDMETHODCALLTYPE CopyTo(IStream*, ULARGE_INTEGER, ULARGE_INTEGER*, ULARGE_INTEGER*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Commit(DWORD) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Revert() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE LockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE UnlockRegion(ULARGE_INTEGER, ULARGE_INTEGER, DWORD) override {
    return STG_E_INVALIDFUNCTION;
  }
  HRESULT STDMETHODCALLTYPE Stat(STATSTG* stat, DWORD) override {
    if (stat == nullptr) return STG_E_INVALIDPOINTER;
    std::memset(stat, 0, sizeof *stat);  // no name, whatever the flag asks
    stat->type = STGTY_STREAM;
    stat->cbSize.QuadPart = size_;
    stat->grfMode = STGM_READ;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IStream** out) override {
    if (out == nullptr) return STG_E_INVALIDPOINTER;
    auto* copy = new (std::nothrow) BorrowedBytesStream(bytes_, size_);
    if (copy == nullptr) return E_OUTOFMEMORY;
    copy->at_ = at_;
    *out = copy;
    return S_OK;
  }

 private:
  ~BorrowedBytesStream() = default;  // through Release only

  const uint8_t* bytes_;
  size_t size_;
  size_t at_ = 0;
  ULONG references_ = 1;
};

}  // namespace

bool DecodeBytesWithImagingLibrary(const uint8_t* bytes, size_t size, CImage& image) {
  image.Destroy();
  if (bytes == nullptr || size == 0 || size > UINT_MAX || !EnsureImagingStarted()) return false;
  // The library reads a stream over the bytes, never the file: it holds no handle of it, not
  // even after a failed decode.
  StreamOwner stream(new (std::nothrow) BorrowedBytesStream(bytes, size));
  if (!stream) return false;
  // Declared after the stream, so it goes first: the bitmap reads its stream until disposed.
  GpBitmapOwner decoded;
  if (GdipCreateBitmapFromStream(stream.Get(), decoded.Out()) != Gdiplus::Ok || decoded.Get() == nullptr) return false;
  return ConvertToDib(decoded.Get(), image);
}

FileDecodeOutcome DecodeWithImagingLibrary(const EncodedPicture& picture, CImage& image) {
  if (!DecodeBytesWithImagingLibrary(picture.bytes, picture.size, image)) return FileDecodeOutcome::kRefused;
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}
