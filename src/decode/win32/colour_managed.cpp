#include "decode/win32/colour_managed.h"

#include <algorithm>
#include <mutex>
#include <chrono>
#include <system_error>
#include <thread>

#include "decode/colour_transform.h"
#include "decode/icc_profile_extract.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/file_byte_source.h"
#include "framework/gdi_handles.h"

namespace {

std::mutex converterLock;
// Made on first use, kept until exit with its cached transforms.
ColourConverter& Converter() {
  static ColourConverter converter;
  return converter;
}

// The worker converts while the window's thread mostly waits: both cores share the rows.
int ConvertThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

void ConvertColourTable(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display) {
  MemoryDc dc(nullptr, image.Handle());
  if (!dc.Ok()) return;
  RGBQUAD table[256];
  const UINT count = GetDIBColorTable(dc.Get(), 0, 256, table);
  if (count == 0) return;
  // The table's entries are blue, green, red and a spare byte: 32-bit pixels of one row.
  if (Converter().Convert(embedded, display, reinterpret_cast<uint8_t*>(table), 0, static_cast<int32_t>(count), 1,
                          ColourPixels::kBgra32) == ColourOutcome::kConverted) {
    SetDIBColorTable(dc.Get(), 0, count, table);
  }
}

}  // namespace

std::vector<uint8_t> ReadEmbeddedProfile(const std::wstring& path) {
  FileByteSource file(path);
  if (!file.IsOpen()) return {};
  return EmbeddedIccProfile(file);
}

void ConvertToDisplayColours(CImage& image, const std::vector<uint8_t>& embedded) {
  if (embedded.empty() || image.IsNull()) return;
  const std::shared_ptr<const std::vector<uint8_t>> display = CurrentDisplayProfile();
  std::lock_guard<std::mutex> hold(converterLock);
  switch (image.BitsPerPixel()) {
    case 24:
    case 32:
      Converter().Convert(embedded, *display, image.TopRow(), image.Pitch(), image.Width(), image.Height(),
                          image.BitsPerPixel() == 24 ? ColourPixels::kBgr24 : ColourPixels::kBgra32, ConvertThreads());
      break;
    case 1:
    case 4:
    case 8: ConvertColourTable(image, embedded, *display); break;
    default: break;  // 16-bit: no such picture comes with a profile
  }
}

ColoursBehindDecode::ColoursBehindDecode(CImage& image, const std::vector<uint8_t>& embedded)
    : image_(image), embedded_(embedded), display_(CurrentDisplayProfile()) {
  if (embedded.empty() || image.IsNull() || (image.BitsPerPixel() != 24 && image.BitsPerPixel() != 32)) return;
  {
    std::lock_guard<std::mutex> hold(converterLock);
    const ColourPixels pixels = image.BitsPerPixel() == 24 ? ColourPixels::kBgr24 : ColourPixels::kBgra32;
    if (!Converter().Converts(embedded, *display_, pixels)) return;
  }
  try {
    thread_ = std::thread([this] { Follow(); });
    following_ = true;
  } catch (const std::system_error&) {
    // No second thread: the caller converts once the rows are all there.
  }
}

ColoursBehindDecode::~ColoursBehindDecode() { Finish(false); }

void ColoursBehindDecode::Finish(bool decoded) {
  if (!thread_.joinable()) return;
  state_.store(decoded ? 1 : 2, std::memory_order_release);
  thread_.join();
}

void ColoursBehindDecode::Follow() {
  const ColourPixels pixels = image_.BitsPerPixel() == 24 ? ColourPixels::kBgr24 : ColourPixels::kBgra32;
  // Converted in bands of at least this many rows, so each look-up of the cached transform is
  // spread over many pixels.
  constexpr int32_t kBandRows = 32;
  std::lock_guard<std::mutex> hold(converterLock);
  int32_t converted = 0;
  for (;;) {
    const int state = state_.load(std::memory_order_acquire);
    if (state == 2) return;
    const int32_t written = written_.load(std::memory_order_acquire);
    if (written - converted >= kBandRows || (state == 1 && written > converted)) {
      Converter().Convert(embedded_, *display_, image_.TopRow() + static_cast<ptrdiff_t>(converted) * image_.Pitch(),
                          image_.Pitch(), image_.Width(), written - converted, pixels, 1);
      converted = written;
    } else if (state == 1) {
      return;
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
}

bool CmykConvertsToDisplay(const std::vector<uint8_t>& embedded, bool inverted) {
  const std::shared_ptr<const std::vector<uint8_t>> display = CurrentDisplayProfile();
  std::lock_guard<std::mutex> hold(converterLock);
  return Converter().Converts(embedded, *display, inverted ? ColourPixels::kInvertedCmyk32 : ColourPixels::kCmyk32);
}

bool ConvertCmykToDisplayColours(CImage& image, const std::vector<uint8_t>& embedded, bool inverted) {
  if (image.IsNull() || image.BitsPerPixel() != 32) return false;
  const std::shared_ptr<const std::vector<uint8_t>> display = CurrentDisplayProfile();
  std::lock_guard<std::mutex> hold(converterLock);
  return Converter().Convert(embedded, *display, image.TopRow(), image.Pitch(), image.Width(), image.Height(),
                             inverted ? ColourPixels::kInvertedCmyk32 : ColourPixels::kCmyk32,
                             ConvertThreads()) == ColourOutcome::kConverted;
}
