#include "decode/win32/colour_managed.h"

#include <algorithm>
#include <system_error>

#include "decode/icc_profile_extract.h"
#include "decode/image_header.h"
#include "decode/win32/file_bytes.h"
#include "framework/gdi_handles.h"

namespace {

// Converted in bands of at least this many rows: the converter is woken once per band rather than
// once per batch of the decoder.
constexpr int32_t kBandRows = 32;

// The converter and its cache of transforms, made on first use and never destroyed: a worker may
// still be decoding when the process exits, and must not find them gone under it.
struct SharedConverter {
  std::mutex lock;  // held only to find or make a transform, never while pixels are converted
  ColourConverter converter;
};

SharedConverter& Shared() {
  static SharedConverter* shared = new SharedConverter;
  return *shared;
}

SharedTransform TakeTransform(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                              ColourPixels pixels) {
  if (embedded.empty()) return nullptr;
  SharedConverter& shared = Shared();
  std::lock_guard<std::mutex> hold(shared.lock);
  return shared.converter.Take(embedded, display, pixels);
}

// The worker converts while the window's thread mostly waits: both cores share the rows.
int ConvertThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

void ConvertColourTable(CImage& image, const SharedTransform& transform) {
  MemoryDc dc(nullptr, image.Handle());
  if (!dc.Ok()) return;
  RGBQUAD table[256];
  const UINT count = GetDIBColorTable(dc.Get(), 0, 256, table);
  if (count == 0) return;
  // The table's entries are blue, green, red and a spare byte: 32-bit pixels of one row.
  if (ApplyTransform(transform, reinterpret_cast<uint8_t*>(table), 0, static_cast<int32_t>(count), 1,
                     ColourPixels::kBgra32) == ColourOutcome::kConverted) {
    SetDIBColorTable(dc.Get(), 0, count, table);
  }
}

}  // namespace

std::vector<uint8_t> ReadEmbeddedProfile(const std::wstring& path) {
  FileBytes file;
  if (!ReadWholeFile(path, file)) return {};
  MemoryByteSource source(file.bytes.get(), file.size);
  return EmbeddedIccProfile(source);
}

void ConvertColours(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display) {
  if (embedded.empty() || image.IsNull()) return;
  switch (image.BitsPerPixel()) {
    case 24:
    case 32: {
      const ColourPixels pixels = image.BitsPerPixel() == 24 ? ColourPixels::kBgr24 : ColourPixels::kBgra32;
      ApplyTransform(TakeTransform(embedded, display, pixels), image.TopRow(), image.Pitch(), image.Width(),
                     image.Height(), pixels, ConvertThreads());
      break;
    }
    case 1:
    case 4:
    case 8: ConvertColourTable(image, TakeTransform(embedded, display, ColourPixels::kBgra32)); break;
    default: break;  // 16-bit: no such picture comes with a profile
  }
}

ColoursBehindDecode::ColoursBehindDecode(CImage& image, const std::vector<uint8_t>& embedded,
                                         const std::vector<uint8_t>& display)
    : image_(image) {
  if (embedded.empty() || image.IsNull() || (image.BitsPerPixel() != 24 && image.BitsPerPixel() != 32)) return;
  pixels_ = image.BitsPerPixel() == 24 ? ColourPixels::kBgr24 : ColourPixels::kBgra32;
  transform_ = TakeTransform(embedded, display, pixels_);
  if (!TransformApplies(transform_)) return;
  try {
    thread_ = std::thread([this] { Follow(); });
    following_ = true;
  } catch (const std::system_error&) {
    // No second thread: the caller converts once the rows are all there.
  }
}

ColoursBehindDecode::~ColoursBehindDecode() { Finish(false); }

void ColoursBehindDecode::RowsWritten(int32_t rows) noexcept {
  {
    std::lock_guard<std::mutex> hold(lock_);
    written_ = rows;
  }
  if (rows - notified_ < kBandRows) return;
  notified_ = rows;
  changed_.notify_one();
}

void ColoursBehindDecode::Finish(bool decoded) {
  if (!thread_.joinable()) return;
  {
    std::lock_guard<std::mutex> hold(lock_);
    state_ = decoded ? State::kDecoded : State::kAbandoned;
  }
  changed_.notify_one();
  thread_.join();
}

void ColoursBehindDecode::Follow() {
  int32_t converted = 0;
  for (;;) {
    int32_t written = 0;
    {
      std::unique_lock<std::mutex> hold(lock_);
      changed_.wait(hold, [&] { return state_ != State::kDecoding || written_ - converted >= kBandRows; });
      if (state_ == State::kAbandoned) return;
      written = written_;
      if (written <= converted) return;  // decoded, and every row converted
    }
    ApplyTransform(transform_, image_.TopRow() + static_cast<ptrdiff_t>(converted) * image_.Pitch(), image_.Pitch(),
                   image_.Width(), written - converted, pixels_, 1);
    converted = written;
  }
}

bool CmykConverts(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display, bool inverted) {
  return TransformApplies(
      TakeTransform(embedded, display, inverted ? ColourPixels::kInvertedCmyk32 : ColourPixels::kCmyk32));
}

bool ConvertCmykColours(CImage& image, const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                        bool inverted) {
  if (image.IsNull() || image.BitsPerPixel() != 32) return false;
  const ColourPixels pixels = inverted ? ColourPixels::kInvertedCmyk32 : ColourPixels::kCmyk32;
  return ApplyTransform(TakeTransform(embedded, display, pixels), image.TopRow(), image.Pitch(), image.Width(),
                        image.Height(), pixels, ConvertThreads()) == ColourOutcome::kConverted;
}
