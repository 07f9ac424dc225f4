#include "decode/jxl/jxl_rows.h"

#include <jxl/decode.h>
#include <jxl/decode_cxx.h>
#include <jxl/thread_parallel_runner.h>
#include <jxl/thread_parallel_runner_cxx.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

#include "decode/cicp_colour.h"
#include "decode/jxl/jxl_format.h"

// libjxl's decoder and thread pool for one picture, released together, and how much of the file
// it has been handed.
struct JxlSession {
  const uint8_t* bytes = nullptr;  // borrowed from the decoder's owner
  size_t size = 0;
  const std::atomic<bool>* cancel = nullptr;
  size_t fedEnd = 0;  // libjxl has been given bytes [.., fedEnd)
  size_t threads = 1;
  JxlThreadParallelRunnerPtr runner;
  JxlDecoderPtr decoder;  // destroyed first: it may still name the runner
};

namespace {

// How much of the file libjxl is handed at a time: it returns for more after each slice, which is
// when a cancel is seen. Large enough that every slice holds many groups for the pool to share.
constexpr size_t kSliceBytes = 1 << 20;

bool Cancelled(const JxlSession& session) {
  return session.cancel != nullptr && session.cancel->load(std::memory_order_relaxed);
}

// Hands libjxl the next slice after what it has not consumed yet; false when the whole file has
// been given already (the file is cut short).
bool FeedMore(JxlSession& session) {
  JxlDecoder* decoder = session.decoder.get();
  size_t unread = 0;
  if (session.fedEnd != 0) {
    unread = JxlDecoderReleaseInput(decoder);
    if (session.fedEnd == session.size) return false;
  }
  const size_t from = session.fedEnd - std::min(unread, session.fedEnd);
  session.fedEnd = session.size - session.fedEnd > kSliceBytes ? session.fedEnd + kSliceBytes : session.size;
  if (JxlDecoderSetInput(decoder, session.bytes + from, session.fedEnd - from) != JXL_DEC_SUCCESS) return false;
  if (session.fedEnd == session.size) JxlDecoderCloseInput(decoder);
  return true;
}

// Transfers whose 8-bit samples look right on an SDR display without a conversion of libjxl's.
bool DisplayReferred(const JxlColorEncoding& encoding) {
  if (encoding.color_space != JXL_COLOR_SPACE_RGB && encoding.color_space != JXL_COLOR_SPACE_GRAY) return false;
  switch (encoding.transfer_function) {
    case JXL_TRANSFER_FUNCTION_SRGB:
    case JXL_TRANSFER_FUNCTION_709:
    case JXL_TRANSFER_FUNCTION_DCI:
    case JXL_TRANSFER_FUNCTION_GAMMA: return true;
    default: return false;
  }
}

// H.273's number for the primaries (and white) of a described colour space; custom ones count as
// unspecified.
uint16_t PrimariesCode(const JxlColorEncoding& encoding) {
  switch (encoding.primaries) {
    case JXL_PRIMARIES_SRGB: return 1;
    case JXL_PRIMARIES_2100: return 9;
    case JXL_PRIMARIES_P3: return encoding.white_point == JXL_WHITE_POINT_DCI ? 11 : 12;
    default: return 2;
  }
}

bool IsSrgb(const JxlColorEncoding& encoding) {
  return (encoding.color_space == JXL_COLOR_SPACE_RGB || encoding.color_space == JXL_COLOR_SPACE_GRAY) &&
         encoding.white_point == JXL_WHITE_POINT_D65 && encoding.primaries == JXL_PRIMARIES_SRGB &&
         encoding.transfer_function == JXL_TRANSFER_FUNCTION_SRGB;
}

JxlColorEncoding Srgb(bool grey) {
  JxlColorEncoding srgb = {};
  srgb.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
  srgb.white_point = JXL_WHITE_POINT_D65;
  srgb.primaries = JXL_PRIMARIES_SRGB;
  srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
  srgb.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
  return srgb;
}

// Rows a and b exchanged, red and blue exchanged in each pixel, in one pass; with a == b the row
// is reordered in place (both writes of a pixel then agree).
void ExchangeRows(uint8_t* a, uint8_t* b, int32_t width, int pixelBytes) {
  if (pixelBytes == 4) {
    const auto swap = [](uint32_t v) { return (v & 0xFF00FF00u) | ((v >> 16) & 0xFFu) | ((v & 0xFFu) << 16); };
    for (int32_t x = 0; x < width; ++x, a += 4, b += 4) {
      uint32_t pa, pb;
      std::memcpy(&pa, a, 4);
      std::memcpy(&pb, b, 4);
      pa = swap(pa), pb = swap(pb);
      std::memcpy(a, &pb, 4);
      std::memcpy(b, &pa, 4);
    }
    return;
  }
  for (int32_t x = 0; x < width; ++x, a += 3, b += 3) {
    const uint8_t r1 = a[0], g1 = a[1], b1 = a[2], r2 = b[0], g2 = b[1], b2 = b[2];
    a[0] = b2, a[1] = g2, a[2] = r2;
    b[0] = b1, b[1] = g1, b[2] = r1;
  }
}

// libjxl writes red first and, into a bottom-up bitmap's memory, the top row at its lowest
// address: red and blue are exchanged in every pixel and, when flip is set, the rows reversed,
// the rows shared with a second thread for large pictures (a pass over the whole picture).
void SwapToBgr(uint8_t* block, size_t stride, int32_t width, int32_t height, int pixelBytes, bool flip, size_t threads) {
  const int32_t pairs = flip ? (height + 1) / 2 : height;  // row pairs to exchange, or rows to reorder
  const auto run = [=](int32_t first, int32_t end) {
    for (int32_t y = first; y < end; ++y) {
      uint8_t* row = block + static_cast<size_t>(y) * stride;
      ExchangeRows(row, flip ? block + static_cast<size_t>(height - 1 - y) * stride : row, width, pixelBytes);
    }
  };
  const int32_t half = pairs / 2;
  std::thread helper;
  if (threads > 1 && height >= 512) {
    try {
      helper = std::thread(run, half, pairs);
    } catch (const std::system_error&) {
    }
  }
  run(0, helper.joinable() ? half : pairs);
  if (helper.joinable()) helper.join();
}

}  // namespace

JxlRowsDecoder::JxlRowsDecoder(const uint8_t* bytes, size_t size, const std::atomic<bool>* cancel,
                               uint64_t maxDecodedBytes, int threads)
    : session_(std::make_unique<JxlSession>()), maxDecodedBytes_(maxDecodedBytes), threads_(threads) {
  session_->bytes = bytes;
  session_->size = size;
  session_->cancel = cancel;
}

JxlRowsDecoder::~JxlRowsDecoder() = default;

JxlOutcome JxlRowsDecoder::ReadInfo(JxlPictureInfo& info) {
  if (infoRead_ || session_->decoder != nullptr) return JxlOutcome::kFailed;
  if (!IsJxlSignature(session_->bytes, std::min(session_->size, kSignatureBytes))) return JxlOutcome::kFailed;
  try {
    JxlSession& s = *session_;
    s.decoder = JxlDecoderMake(nullptr);
    if (s.decoder == nullptr) return JxlOutcome::kFailed;
    JxlDecoder* decoder = s.decoder.get();
    s.threads = threads_ > 0 ? static_cast<size_t>(threads_) : JxlThreadParallelRunnerDefaultNumWorkerThreads();
    if (s.threads > 1) {
      s.runner = JxlThreadParallelRunnerMake(nullptr, s.threads);
      if (s.runner == nullptr ||
          JxlDecoderSetParallelRunner(decoder, JxlThreadParallelRunner, s.runner.get()) != JXL_DEC_SUCCESS) {
        return JxlOutcome::kFailed;
      }
    }
    // Straight alpha, as the bitmaps hold it; the codestream's orientation applied (the default).
    if (JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE) !=
            JXL_DEC_SUCCESS ||
        JxlDecoderSetUnpremultiplyAlpha(decoder, JXL_TRUE) != JXL_DEC_SUCCESS || !FeedMore(s)) {
      return JxlOutcome::kFailed;
    }
    JxlBasicInfo basic = {};
    bool haveBasic = false;
    for (;;) {
      if (Cancelled(s)) return JxlOutcome::kCancelled;
      const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
      if (status == JXL_DEC_NEED_MORE_INPUT) {
        if (!FeedMore(s)) return JxlOutcome::kFailed;
      } else if (status == JXL_DEC_BASIC_INFO) {
        if (JxlDecoderGetBasicInfo(decoder, &basic) != JXL_DEC_SUCCESS) return JxlOutcome::kFailed;
        const uint64_t width = basic.xsize, height = basic.ysize;
        // The whole picture at libjxl's widest, and the caller's 32-bit rows, within the limit.
        if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
            width > maxDecodedBytes_ / kJxlDecodedBytesPerPixel / height) {
          return JxlOutcome::kFailed;
        }
        haveBasic = true;
      } else if (status == JXL_DEC_COLOR_ENCODING && haveBasic) {
        break;
      } else {
        return JxlOutcome::kFailed;
      }
    }

    // The original's colour space when the file describes it; an embedded ICC profile gives none.
    JxlColorEncoding original = {};
    const bool described = JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_ORIGINAL,
                                                              &original) == JXL_DEC_SUCCESS;
    const bool hdr = described && (original.transfer_function == JXL_TRANSFER_FUNCTION_PQ ||
                                   original.transfer_function == JXL_TRANSFER_FUNCTION_HLG);
    info_.deep = basic.bits_per_sample > 8 || hdr;
    // A lossy (XYB) picture is rendered by libjxl into a space of its choosing: its original one
    // when that suits the display or is PQ or HLG (tone-mapped here), otherwise sRGB rather than
    // its default, linear light, which 8-bit samples band.
    if (!basic.uses_original_profile && !hdr && (!described || !DisplayReferred(original))) {
      const JxlColorEncoding srgb = Srgb(basic.num_color_channels == 1);
      JxlDecoderSetPreferredColorProfile(decoder, &srgb);
    }
    // The pixels' own colour space: sRGB needs no profile (its numbers are shown as they are).
    JxlColorEncoding data = {};
    const bool srgbData = JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &data) ==
                              JXL_DEC_SUCCESS &&
                          IsSrgb(data);
    size_t profileBytes = 0;
    if (srgbData) {
      profile_.clear();
    } else if (hdr) {
      profile_ = ProfileForCicp(PrimariesCode(original), static_cast<uint16_t>(original.transfer_function));
    } else if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &profileBytes) ==
                   JXL_DEC_SUCCESS &&
               profileBytes > 0) {
      profile_.resize(profileBytes);
      if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, profile_.data(),
                                         profile_.size()) != JXL_DEC_SUCCESS) {
        profile_.clear();
      }
    }
    info_.width = static_cast<int32_t>(basic.xsize);
    info_.height = static_cast<int32_t>(basic.ysize);
    info_.alpha = basic.alpha_bits > 0;
    info_.bitsPerSample = basic.bits_per_sample;
    info_.transfer = described ? static_cast<uint16_t>(original.transfer_function) : 0;
    if (info_.transfer == JXL_TRANSFER_FUNCTION_UNKNOWN || info_.transfer == JXL_TRANSFER_FUNCTION_GAMMA) info_.transfer = 0;
    info = info_;
    infoRead_ = true;
    return JxlOutcome::kDecoded;
  } catch (const std::bad_alloc&) {
    return JxlOutcome::kFailed;
  }
}

JxlOutcome JxlRowsDecoder::DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::vector<uint8_t>& display) {
  if (!infoRead_ || rowsDone_ || topRow == nullptr) return JxlOutcome::kFailed;
  rowsDone_ = true;
  const int pixelBytes = info_.BitsPerPixel() / 8;
  const size_t stride = static_cast<size_t>(pitch < 0 ? -pitch : pitch);
  const size_t width = static_cast<size_t>(info_.width), height = static_cast<size_t>(info_.height);
  if (stride < width * static_cast<size_t>(pixelBytes)) return JxlOutcome::kFailed;
  try {
    // 8-bit pictures: libjxl writes top-down rows of exactly this stride (its alignment is a whole
    // row here) into the block the rows occupy, which for a bottom-up bitmap starts at its bottom
    // row. Deep ones: 16-bit samples into a buffer of their own, converted into the rows after.
    std::vector<uint16_t> deep;
    uint8_t* out = pitch < 0 ? topRow + static_cast<ptrdiff_t>(info_.height - 1) * pitch : topRow;
    size_t outBytes = stride * height;
    JxlPixelFormat format = {static_cast<uint32_t>(pixelBytes), JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, stride};
    if (info_.deep) {
      deep.resize(width * height * static_cast<size_t>(pixelBytes));
      out = reinterpret_cast<uint8_t*>(deep.data());
      outBytes = deep.size() * sizeof(uint16_t);
      format = {static_cast<uint32_t>(pixelBytes), JXL_TYPE_UINT16, JXL_NATIVE_ENDIAN, 0};
    }
    JxlSession& s = *session_;
    JxlDecoder* decoder = s.decoder.get();
    for (;;) {
      if (Cancelled(s)) return JxlOutcome::kCancelled;
      const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
      if (status == JXL_DEC_NEED_MORE_INPUT) {
        if (!FeedMore(s)) return JxlOutcome::kFailed;
      } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
        size_t needed = 0;
        if (JxlDecoderImageOutBufferSize(decoder, &format, &needed) != JXL_DEC_SUCCESS || needed != outBytes ||
            JxlDecoderSetImageOutBuffer(decoder, &format, out, outBytes) != JXL_DEC_SUCCESS) {
          return JxlOutcome::kFailed;
        }
      } else if (status == JXL_DEC_FULL_IMAGE) {
        break;  // the first frame: an animation shows it alone
      } else {
        return JxlOutcome::kFailed;
      }
    }
    if (info_.deep) {
      DeepPixels samples;
      samples.top = deep.data();
      samples.pitchBytes = static_cast<ptrdiff_t>(width * static_cast<size_t>(pixelBytes) * sizeof(uint16_t));
      samples.width = info_.width;
      samples.height = info_.height;
      samples.bitDepth = 16;  // libjxl scales every precision to the whole 16 bits
      samples.hasAlpha = info_.alpha;
      return WriteDeepRowsAsDisplay(samples, info_.transfer, profile_, display, topRow, pitch, info_.alpha,
                                    static_cast<int>(session_->threads))
                 ? JxlOutcome::kDecoded
                 : JxlOutcome::kFailed;
    }
    SwapToBgr(out, stride, info_.width, info_.height, pixelBytes, pitch < 0, session_->threads);
    return JxlOutcome::kDecoded;
  } catch (const std::bad_alloc&) {
    return JxlOutcome::kFailed;
  }
}
