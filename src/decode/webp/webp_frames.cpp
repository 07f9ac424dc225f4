#include "decode/webp/webp_frames.h"

#include <webp/demux.h>
#include <webp/mux_types.h>

#include <algorithm>
#include <climits>

#include "decode/byte_cursor.h"
#include "decode/webp/webp_format.h"

namespace {

// libwebp keeps two canvases of 32-bit pixels: the one composed and the previous one disposed.
constexpr uint32_t kCanvasBytesPerPixel = 8;

}  // namespace

bool IsAnimatedWebp(const uint8_t* data, size_t size) {
  if (data == nullptr || !IsWebpSignature(data, size)) return false;
  // The demuxer's own walk over the chunk headers (no pixels decoded): it steps out of an ANMF
  // chunk where the frame's bitstream ends, not where the chunk says it ends, so only its count
  // agrees with the frames the animation decoder plays.
  const WebPData whole{data, size};
  const std::unique_ptr<WebPDemuxer, void (*)(WebPDemuxer*)> demux(WebPDemux(&whole), WebPDemuxDelete);
  return demux != nullptr && (WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS) & ANIMATION_FLAG) != 0 &&
         WebPDemuxGetI(demux.get(), WEBP_FF_FRAME_COUNT) >= 2;
}

void WebpFrames::DecoderDelete::operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }

WebpFrames::WebpFrames() = default;
WebpFrames::~WebpFrames() = default;

bool WebpFrames::Open(const uint8_t* data, size_t size, uint64_t mostPixels) {
  decoder_.reset();
  profile_.clear();
  pixels_ = nullptr;
  frameIndex_ = -1;
  playedMs_ = 0;
  broken_ = false;
  if (data == nullptr) return false;
  // Our reader sizes the canvas before libwebp allocates its two.
  MemoryByteSource source(data, size);
  ByteCursor cursor(source);
  WebpLayout layout;
  if (!ReadWebpLayout(cursor, layout) || !layout.animated) return false;
  if (uint64_t{layout.width} * layout.height > std::min(mostPixels, kMaxDecodedPixels) ||
      !SizeFitsDecoder(layout.width, layout.height, kCanvasBytesPerPixel)) {
    return false;
  }
  WebPAnimDecoderOptions options;
  if (!WebPAnimDecoderOptionsInit(&options)) return false;
  options.color_mode = MODE_BGRA;  // 0xAARRGGBB in memory, straight alpha
  options.use_threads = 0;         // the worker composes ahead; one thread is enough
  const WebPData whole{data, size};
  decoder_.reset(WebPAnimDecoderNew(&whole, &options));
  WebPAnimInfo info;
  if (!decoder_ || !WebPAnimDecoderGetInfo(decoder_.get(), &info) || info.canvas_width != layout.width ||
      info.canvas_height != layout.height || info.frame_count == 0) {
    decoder_.reset();
    return false;
  }
  width_ = static_cast<int32_t>(info.canvas_width);
  height_ = static_cast<int32_t>(info.canvas_height);
  loopCount_ = static_cast<int32_t>(std::min<uint32_t>(info.loop_count, INT32_MAX));
  frameCount_ = static_cast<int32_t>(std::min<uint32_t>(info.frame_count, INT32_MAX));
  const WebPDemuxer* demux = WebPAnimDecoderGetDemuxer(decoder_.get());
  WebPChunkIterator chunk;
  if ((WebPDemuxGetI(demux, WEBP_FF_FORMAT_FLAGS) & ICCP_FLAG) != 0 && WebPDemuxGetChunk(demux, "ICCP", 1, &chunk)) {
    profile_.assign(chunk.chunk.bytes, chunk.chunk.bytes + chunk.chunk.size);
    WebPDemuxReleaseChunkIterator(&chunk);
  }
  return true;
}

bool WebpFrames::Next() {
  if (!decoder_ || broken_ || !WebPAnimDecoderHasMoreFrames(decoder_.get())) return false;
  // The frame's own duration, from the demuxer: libwebp adds it to a plain int clock, which a
  // file of long frames would overflow, so the play ends before that.
  WebPIterator frame;
  if (!WebPDemuxGetFrame(WebPAnimDecoderGetDemuxer(decoder_.get()), frameIndex_ + 2, &frame)) {
    broken_ = true;
    return false;
  }
  const int32_t duration = std::max(frame.duration, 0);
  WebPDemuxReleaseIterator(&frame);
  if (playedMs_ + duration > INT_MAX) return false;
  uint8_t* canvas = nullptr;
  int timestamp = 0;
  pixels_ = nullptr;
  if (!WebPAnimDecoderGetNext(decoder_.get(), &canvas, &timestamp) || canvas == nullptr) {
    broken_ = true;
    return false;
  }
  // libwebp's canvas is its own allocation of 32-bit pixels, which it reads as such itself.
  pixels_ = reinterpret_cast<const uint32_t*>(canvas);
  playedMs_ += duration;
  delayMs_ = PlayedDelayMs(duration);
  ++frameIndex_;
  return true;
}

bool WebpFrames::Rewind() {
  if (!decoder_) return false;
  WebPAnimDecoderReset(decoder_.get());  // the next frame is the first, a key frame over a clear canvas
  pixels_ = nullptr;
  frameIndex_ = -1;
  playedMs_ = 0;
  broken_ = false;
  return true;
}
