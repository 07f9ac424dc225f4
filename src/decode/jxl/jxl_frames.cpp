#include "decode/jxl/jxl_frames.h"

#include <jxl/decode.h>

#include <algorithm>
#include <climits>
#include <new>

#include "decode/format_table.h"
#include "decode/jxl/jxl_format.h"

namespace {

JxlColorEncoding Srgb() {
  JxlColorEncoding srgb = {};
  srgb.color_space = JXL_COLOR_SPACE_RGB;
  srgb.white_point = JXL_WHITE_POINT_D65;
  srgb.primaries = JXL_PRIMARIES_SRGB;
  srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
  srgb.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
  return srgb;
}

bool IsSrgb(const JxlColorEncoding& e) {
  return (e.color_space == JXL_COLOR_SPACE_RGB || e.color_space == JXL_COLOR_SPACE_GRAY) &&
         e.white_point == JXL_WHITE_POINT_D65 && e.primaries == JXL_PRIMARIES_SRGB &&
         e.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

// A decoder over the whole file (in memory: nothing is ever missing but what the file lacks).
JxlDecoderPtr DecoderFor(const uint8_t* data, size_t size, int events) {
  JxlDecoderPtr decoder = JxlDecoderMake(nullptr);
  if (decoder == nullptr || JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS ||
      JxlDecoderSetInput(decoder.get(), data, size) != JXL_DEC_SUCCESS) {
    return nullptr;
  }
  JxlDecoderCloseInput(decoder.get());
  return decoder;
}

}  // namespace

int32_t JxlDurationMs(uint32_t ticks, uint32_t tpsNumerator, uint32_t tpsDenominator) {
  if (tpsNumerator == 0) return 0;
  const double ms = 1000.0 * ticks * tpsDenominator / tpsNumerator;
  return ms >= INT32_MAX ? INT32_MAX : static_cast<int32_t>(ms + 0.5);
}

bool IsAnimatedJxl(const uint8_t* data, size_t size) {
  if (data == nullptr || !IsJxlSignature(data, std::min(size, kSignatureBytes))) return false;
  try {
    // Without the full-image event libjxl reads each frame's header and skips its pixels.
    const JxlDecoderPtr decoder = DecoderFor(data, size, JXL_DEC_BASIC_INFO | JXL_DEC_FRAME);
    if (decoder == nullptr) return false;
    int frames = 0;
    for (;;) {
      switch (JxlDecoderProcessInput(decoder.get())) {
        case JXL_DEC_BASIC_INFO: {
          JxlBasicInfo basic = {};
          if (JxlDecoderGetBasicInfo(decoder.get(), &basic) != JXL_DEC_SUCCESS || !basic.have_animation) return false;
          break;
        }
        case JXL_DEC_FRAME:
          if (++frames >= 2) return true;
          break;
        default:
          return false;
      }
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
}

bool JxlFrames::Open(const uint8_t* data, size_t size, uint64_t mostPixels) {
  data_ = data;
  size_ = size;
  decoder_.reset();
  canvas_.clear();
  if (data == nullptr) return false;
  // Our reader sizes it before libjxl sees it.
  MemoryByteSource source(data, size);
  const PictureHeader header = ReadPictureFacts(source).header;
  const uint64_t pixels = uint64_t{header.width} * header.height;
  if (header.format != PictureFormat::kJxl || pixels == 0 || pixels > std::min(mostPixels, kMaxDecodedPixels) ||
      !HeaderFitsDecoder(header)) {
    return false;
  }
  width_ = static_cast<int32_t>(header.width);
  height_ = static_cast<int32_t>(header.height);
  try {
    canvas_.assign(static_cast<size_t>(pixels), 0);
    return Start();
  } catch (const std::bad_alloc&) {
    canvas_.clear();
    return false;
  }
}

bool JxlFrames::Start() {
  frameIndex_ = -1;
  broken_ = false;
  decoder_ = DecoderFor(data_, size_, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FRAME | JXL_DEC_FULL_IMAGE);
  // Straight alpha, the orientation applied and the frames coalesced: libjxl's defaults but one.
  if (decoder_ == nullptr || JxlDecoderSetUnpremultiplyAlpha(decoder_.get(), JXL_TRUE) != JXL_DEC_SUCCESS) {
    decoder_.reset();
    return false;
  }
  JxlBasicInfo basic = {};
  bool haveBasic = false;
  for (;;) {
    const JxlDecoderStatus status = JxlDecoderProcessInput(decoder_.get());
    if (status == JXL_DEC_BASIC_INFO) {
      if (JxlDecoderGetBasicInfo(decoder_.get(), &basic) != JXL_DEC_SUCCESS || !basic.have_animation ||
          basic.xsize != static_cast<uint32_t>(width_) || basic.ysize != static_cast<uint32_t>(height_)) {
        break;
      }
      haveBasic = true;
    } else if (status == JXL_DEC_COLOR_ENCODING && haveBasic) {
      // A lossy picture's pixels in sRGB rather than libjxl's linear default, which 8 bits band;
      // a lossless one's in its own colours, its profile given for the conversion.
      if (!basic.uses_original_profile) {
        const JxlColorEncoding srgb = Srgb();
        JxlDecoderSetPreferredColorProfile(decoder_.get(), &srgb);
      }
      JxlColorEncoding data = {};
      size_t bytes = 0;
      profile_.clear();
      if ((JxlDecoderGetColorAsEncodedProfile(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &data) !=
               JXL_DEC_SUCCESS ||
           !IsSrgb(data)) &&
          JxlDecoderGetICCProfileSize(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &bytes) ==
              JXL_DEC_SUCCESS &&
          bytes > 0) {
        profile_.resize(bytes);
        if (JxlDecoderGetColorAsICCProfile(decoder_.get(), nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile_.data(),
                                           bytes) != JXL_DEC_SUCCESS) {
          profile_.clear();
        }
      }
      tpsNumerator_ = basic.animation.tps_numerator;
      tpsDenominator_ = basic.animation.tps_denominator;
      plays_ = static_cast<int32_t>(std::min<uint32_t>(basic.animation.num_loops, INT32_MAX));
      return true;
    } else {
      break;
    }
  }
  decoder_.reset();
  return false;
}

bool JxlFrames::Next() {
  if (decoder_ == nullptr || broken_) return false;
  const size_t canvasBytes = canvas_.size() * sizeof(uint32_t);
  const JxlPixelFormat format = {4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
  try {
    for (;;) {
      switch (JxlDecoderProcessInput(decoder_.get())) {
        case JXL_DEC_FRAME: {
          JxlFrameHeader frame = {};
          if (JxlDecoderGetFrameHeader(decoder_.get(), &frame) != JXL_DEC_SUCCESS) {
            broken_ = true;
            return false;
          }
          delayMs_ = PlayedDelayMs(JxlDurationMs(frame.duration, tpsNumerator_, tpsDenominator_));
          break;
        }
        case JXL_DEC_NEED_IMAGE_OUT_BUFFER: {
          size_t needed = 0;
          if (JxlDecoderImageOutBufferSize(decoder_.get(), &format, &needed) != JXL_DEC_SUCCESS ||
              needed != canvasBytes ||
              JxlDecoderSetImageOutBuffer(decoder_.get(), &format, canvas_.data(), canvasBytes) != JXL_DEC_SUCCESS) {
            broken_ = true;
            return false;
          }
          break;
        }
        case JXL_DEC_FULL_IMAGE:
          // Red first in memory from libjxl: red and blue exchanged for 0xAARRGGBB.
          for (uint32_t& p : canvas_) p = (p & 0xFF00FF00u) | ((p >> 16) & 0xFFu) | ((p & 0xFFu) << 16);
          ++frameIndex_;
          return true;
        case JXL_DEC_SUCCESS:
          return false;  // the last frame was shown
        default:
          broken_ = true;  // cut short or damaged
          return false;
      }
    }
  } catch (const std::bad_alloc&) {
    broken_ = true;
    return false;
  }
}

bool JxlFrames::Rewind() {
  if (canvas_.empty()) return false;
  std::fill(canvas_.begin(), canvas_.end(), 0u);
  try {
    return Start();
  } catch (const std::bad_alloc&) {
    return false;
  }
}
