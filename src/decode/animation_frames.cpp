#include "decode/animation_frames.h"

#include <algorithm>

#include "decode/format_table.h"
#include "decode/gif/gif_frames.h"
#include "decode/png/apng_frames.h"
#include "decode/jxl/jxl_frames.h"
#include "decode/webp/webp_frames.h"

namespace {

PictureFormat FormatOf(const uint8_t* data, size_t size) {
  const FormatRow* row = ChooseFormat(data, std::min(size, kSignatureBytes));
  return row != nullptr ? row->format : PictureFormat::kUnknown;
}

}  // namespace

std::unique_ptr<AnimationFrames> OpenAnimationFrames(const uint8_t* data, size_t size) {
  switch (FormatOf(data, size)) {
    case PictureFormat::kGif: {
      auto frames = std::make_unique<GifFrames>();
      if (!frames->Open(data, size)) return nullptr;
      return frames;
    }
    case PictureFormat::kPng: {
      auto frames = std::make_unique<ApngFrames>();
      if (!frames->Open(data, size)) return nullptr;
      return frames;
    }
    case PictureFormat::kWebp: {
      auto frames = std::make_unique<WebpFrames>();
      if (!frames->Open(data, size)) return nullptr;
      return frames;
    }
    case PictureFormat::kJxl: {
      auto frames = std::make_unique<JxlFrames>();
      if (!frames->Open(data, size)) return nullptr;
      return frames;
    }
    default:
      return nullptr;
  }
}

bool IsAnimation(const uint8_t* data, size_t size) {
  switch (FormatOf(data, size)) {
    case PictureFormat::kGif:
      return IsAnimatedGif(data, size);
    case PictureFormat::kPng:
      return IsAnimatedPng(data, size);
    case PictureFormat::kWebp:
      return IsAnimatedWebp(data, size);
    case PictureFormat::kJxl:
      return IsAnimatedJxl(data, size);
    default:
      return false;
  }
}
