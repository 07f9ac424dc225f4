#include "decode/gif/gif_frames.h"

#include <gif_lib.h>

#include <algorithm>
#include <cstring>

namespace {

// Decoding a frame costs at most this many indices beyond the canvas's own pixel count, times
// kWorkPerCanvas: generous for frames a little larger than their canvas, and a stop for a tiny
// file whose frames declare themselves 65535 pixels square.
constexpr uint64_t kWorkPerCanvas = 4;
constexpr uint64_t kWorkSlack = uint64_t{1} << 22;

int ReadMemory(GifFileType* gif, GifByteType* into, int count) {
  auto* input = static_cast<GifMemory*>(gif->UserData);
  if (count <= 0 || input->at >= input->size) return 0;
  const size_t n = std::min(static_cast<size_t>(count), input->size - input->at);
  std::memcpy(into, input->data + input->at, n);
  input->at += n;
  return static_cast<int>(n);
}

// Skips what is left of the current image's data sub-blocks.
bool SkipImageData(GifFileType* gif) {
  GifByteType* block = nullptr;
  do {
    if (DGifGetCodeNext(gif, &block) == GIF_ERROR) return false;
  } while (block != nullptr);
  return true;
}

// Skips an extension's remaining sub-blocks.
bool SkipExtension(GifFileType* gif, GifByteType* block) {
  while (block != nullptr) {
    if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) return false;
  }
  return true;
}

// giflib keeps every descriptor read (and its colour table) for the whole file: dropped at once,
// so that a file of a million frames costs nothing per frame.
void ForgetSavedImages(GifFileType* gif) {
  GifFreeSavedImages(gif);
  gif->SavedImages = nullptr;
  gif->ImageCount = 0;
}

GifFileType* OpenMemory(GifMemory& input) {
  int error = 0;
  return DGifOpen(&input, ReadMemory, &error);
}

}  // namespace

int32_t GifDelayMs(int32_t hundredths) { return PlayedDelayMs(hundredths * 10); }

int32_t GifPlays(int32_t loopCount) {
  if (loopCount < 0) return 1;
  if (loopCount == 0) return 0;
  return loopCount + 1;
}

int32_t CountGifFrames(const uint8_t* data, size_t size, int32_t most) {
  GifMemory input{data, size, 0};
  GifFileType* gif = OpenMemory(input);
  if (gif == nullptr) return 0;
  int32_t frames = 0;
  bool going = true;
  while (going && frames < most) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif, &record) == GIF_ERROR) break;
    switch (record) {
      case IMAGE_DESC_RECORD_TYPE:
        if (DGifGetImageDesc(gif) == GIF_ERROR) {
          going = false;
          break;
        }
        ForgetSavedImages(gif);
        ++frames;
        if (frames < most && !SkipImageData(gif)) going = false;
        break;
      case EXTENSION_RECORD_TYPE: {
        int code = 0;
        GifByteType* block = nullptr;
        going = DGifGetExtension(gif, &code, &block) != GIF_ERROR && SkipExtension(gif, block);
        break;
      }
      default:
        going = false;
    }
  }
  int error = 0;
  DGifCloseFile(gif, &error);
  return frames;
}

GifFrames::GifFrames() = default;
GifFrames::~GifFrames() { CloseFile(); }

void GifFrames::CloseFile() {
  if (gif_ == nullptr) return;
  int error = 0;
  DGifCloseFile(gif_, &error);
  gif_ = nullptr;
}

bool GifFrames::OpenFile() {
  CloseFile();
  reader_.at = 0;
  gif_ = OpenMemory(reader_);
  return gif_ != nullptr;
}

bool GifFrames::Open(const uint8_t* data, size_t size, uint64_t mostPixels) {
  reader_ = GifMemory{data, size, 0};
  loopCount_ = -1;
  mostPixels_ = std::min(mostPixels, kMaxDecodedPixels);
  broken_ = false;
  if (!OpenFile()) return false;
  width_ = gif_->SWidth;
  height_ = gif_->SHeight;
  const uint64_t pixels = static_cast<uint64_t>(width_) * static_cast<uint64_t>(height_);
  if (width_ <= 0 || height_ <= 0 || pixels > mostPixels_ || !SizeFitsDecoder(width_, height_, 4)) {
    CloseFile();
    return false;
  }
  canvas_.assign(static_cast<size_t>(pixels), 0);
  saved_.clear();
  saved_.shrink_to_fit();
  lastDisposal_ = 0;
  frameIndex_ = -1;
  delayMs_ = 0;
  return true;
}

bool GifFrames::Rewind() {
  if (canvas_.empty()) return false;
  broken_ = false;
  if (!OpenFile()) return false;
  std::fill(canvas_.begin(), canvas_.end(), 0u);
  lastDisposal_ = 0;
  frameIndex_ = -1;
  return true;
}

bool GifFrames::ReadExtension(Control& control) {
  int code = 0;
  GifByteType* block = nullptr;
  if (DGifGetExtension(gif_, &code, &block) == GIF_ERROR) return false;
  if (code == GRAPHICS_EXT_FUNC_CODE && block != nullptr && block[0] >= 4) {
    control.disposal = (block[1] >> 2) & 7;
    control.delayHundredths = block[2] | (block[3] << 8);
    control.transparent = (block[1] & 1) != 0 ? block[4] : -1;
  } else if (code == APPLICATION_EXT_FUNC_CODE && block != nullptr && block[0] == 11 &&
             (std::memcmp(block + 1, "NETSCAPE2.0", 11) == 0 || std::memcmp(block + 1, "ANIMEXTS1.0", 11) == 0)) {
    if (DGifGetExtensionNext(gif_, &block) == GIF_ERROR) return false;
    if (block != nullptr && block[0] >= 3 && (block[1] & 7) == 1) loopCount_ = block[2] | (block[3] << 8);
  }
  return SkipExtension(gif_, block);
}

void GifFrames::DisposePrevious() {
  if (frameIndex_ < 0) return;
  if (lastDisposal_ == DISPOSE_BACKGROUND) {
    // Browsers restore to transparent, not to the screen's background colour.
    for (int32_t y = lastTop_; y < lastBottom_; ++y) {
      uint32_t* row = canvas_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
      std::fill(row + lastLeft_, row + lastRight_, 0u);
    }
  } else if (lastDisposal_ == DISPOSE_PREVIOUS && saved_.size() == canvas_.size()) {
    canvas_.swap(saved_);
  }
}

bool GifFrames::ComposeImage(const Control& control) {
  if (DGifGetImageDesc(gif_) == GIF_ERROR) return false;
  const GifImageDesc& image = gif_->Image;
  // The colours, decided before the descriptors giflib keeps are dropped.
  uint32_t colours[256];
  std::fill(std::begin(colours), std::end(colours), 0xFF000000u);  // indices past the table: black
  const ColorMapObject* map = image.ColorMap != nullptr ? image.ColorMap : gif_->SColorMap;
  if (map != nullptr) {
    const int n = std::min(map->ColorCount, 256);
    for (int i = 0; i < n; ++i) {
      const GifColorType& c = map->Colors[i];
      colours[i] = 0xFF000000u | (uint32_t{c.Red} << 16) | (uint32_t{c.Green} << 8) | c.Blue;
    }
  }
  const int32_t frameWidth = std::max(image.Width, 0);
  const int32_t frameHeight = std::max(image.Height, 0);
  const int32_t left = image.Left, top = image.Top;
  const bool interlaced = image.Interlace;
  // giflib keeps the local table in gif_->Image until the next descriptor; the copy is not needed.
  ForgetSavedImages(gif_);

  const int32_t x0 = std::clamp(left, 0, width_), x1 = std::clamp(left + frameWidth, 0, width_);
  const int32_t y0 = std::clamp(top, 0, height_), y1 = std::clamp(top + frameHeight, 0, height_);
  // Rows below the canvas need no decoding unless the rows come interlaced.
  const int32_t rowsNeeded = frameWidth == 0 ? 0 : interlaced ? frameHeight : std::max(0, y1 - top);
  const uint64_t work = static_cast<uint64_t>(frameWidth) * static_cast<uint64_t>(rowsNeeded);
  if (work > kWorkPerCanvas * canvas_.size() + kWorkSlack) return false;

  DisposePrevious();
  if (control.disposal == DISPOSE_PREVIOUS) {
    saved_ = canvas_;
  } else if (!saved_.empty()) {
    saved_.clear();
    saved_.shrink_to_fit();
  }
  row_.resize(static_cast<size_t>(frameWidth) + 1);
  static constexpr int32_t kPassStart[4] = {0, 4, 2, 1};
  static constexpr int32_t kPassStep[4] = {8, 8, 4, 2};
  int32_t decoded = 0;
  for (int32_t pass = interlaced ? 0 : 3; pass < 4 && decoded < rowsNeeded; ++pass) {
    const int32_t start = interlaced ? kPassStart[pass] : 0;
    const int32_t step = interlaced ? kPassStep[pass] : 1;
    for (int32_t r = start; r < frameHeight && decoded < rowsNeeded; r += step, ++decoded) {
      if (DGifGetLine(gif_, row_.data(), frameWidth) == GIF_ERROR) return false;
      const int32_t y = top + r;
      if (y < y0 || y >= y1) continue;
      uint32_t* out = canvas_.data() + static_cast<size_t>(y) * static_cast<size_t>(width_);
      for (int32_t x = x0; x < x1; ++x) {
        const uint8_t index = row_[static_cast<size_t>(x - left)];
        if (index != control.transparent) out[x] = colours[index];
      }
    }
  }
  // What the loop did not read (rows past the canvas, an empty frame) is skipped undecoded;
  // giflib skips the rest itself after the last row.
  if ((decoded < frameHeight || frameWidth == 0 || frameHeight == 0) && !SkipImageData(gif_)) return false;

  lastDisposal_ = control.disposal;
  lastLeft_ = x0, lastRight_ = x1, lastTop_ = y0, lastBottom_ = y1;
  delayMs_ = GifDelayMs(control.delayHundredths);
  ++frameIndex_;
  return true;
}

bool GifFrames::Next() {
  if (gif_ == nullptr || broken_) return false;
  Control control;
  for (;;) {
    GifRecordType record = UNDEFINED_RECORD_TYPE;
    if (DGifGetRecordType(gif_, &record) == GIF_ERROR) {
      broken_ = true;
      return false;
    }
    if (record == TERMINATE_RECORD_TYPE) return false;
    if (record == EXTENSION_RECORD_TYPE) {
      if (!ReadExtension(control)) {
        broken_ = true;
        return false;
      }
    } else if (record == IMAGE_DESC_RECORD_TYPE) {
      if (ComposeImage(control)) return true;
      broken_ = true;
      return false;
    } else {
      broken_ = true;
      return false;
    }
  }
}
