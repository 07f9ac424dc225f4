#include "decode/webp/webp_rows.h"

#include <webp/decode.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "decode/byte_cursor.h"
#include "decode/webp/webp_format.h"

namespace {

// A sixteenth of the file, and no less than 256 KiB: a cancel is seen within about a sixteenth
// of the decode, while the row block a short chunk leaves unfinished (libwebp decodes it again
// once more bytes come) is redone at most sixteen times.
constexpr size_t kMinChunkBytes = size_t{256} << 10;
constexpr size_t kChunksPerFile = 16;

struct DecoderDelete {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

}  // namespace

WebpRowsDecoder::WebpRowsDecoder(const uint8_t* bytes, size_t size, uint64_t maxDecodedBytes)
    : bytes_(bytes), size_(size), maxDecodedBytes_(maxDecodedBytes) {}

bool WebpRowsDecoder::ReadHeader(WebpRowsHeader& header) {
  if (headerRead_ || bytes_ == nullptr) return false;
  // Our own reader first: what it cannot size is refused, as the format table refuses it. The
  // bytes past the picture's bitstream chunk are not libwebp's to read: a damaged bitstream would
  // read on into them whole but not in pieces (so the outcome would hang on where the pieces fall),
  // and libwebp's demuxer hands a decoder the chunk alone too.
  MemoryByteSource source(bytes_, size_);
  ByteCursor cursor(source);
  WebpLayout layout;
  if (!ReadWebpLayout(cursor, layout)) return false;
  if (layout.bitstreamEnd != 0 && layout.bitstreamEnd < size_) size_ = static_cast<size_t>(layout.bitstreamEnd);
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(bytes_, size_, &features) != VP8_STATUS_OK) return false;
  // Animations are for the demuxer; a still picture is what this decoder writes.
  if (features.has_animation || features.width <= 0 || features.height <= 0) return false;
  const uint64_t width = static_cast<uint64_t>(features.width), height = static_cast<uint64_t>(features.height);
  if (width > maxDecodedBytes_ / 4 / height) return false;
  header_.width = features.width;
  header_.height = features.height;
  header_.layout = features.has_alpha ? WebpRowLayout::kBgra32 : WebpRowLayout::kBgr24;
  headerRead_ = true;
  header = header_;
  return true;
}

WebpRowsOutcome WebpRowsDecoder::DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel,
                                            size_t chunkBytes) {
  if (!headerRead_ || decodeStarted_ || topRow == nullptr) return WebpRowsOutcome::kFailed;
  decodeStarted_ = true;
  const uint64_t rowBytes = static_cast<uint64_t>(header_.width) * static_cast<uint64_t>(header_.BitsPerPixel() / 8);
  const uint64_t stride = pitch < 0 ? 0 - static_cast<uint64_t>(pitch) : static_cast<uint64_t>(pitch);
  if (stride < rowBytes || stride > INT_MAX) return WebpRowsOutcome::kFailed;

  // The rows are the caller's (external memory): libwebp checks they hold the picture it finds,
  // which is the header's, and writes nothing anywhere else.
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return WebpRowsOutcome::kFailed;
  config.options.use_threads = 1;
  config.output.colorspace = header_.HasAlpha() ? MODE_BGRA : MODE_BGR;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = topRow;
  config.output.u.RGBA.stride = static_cast<int>(pitch);
  config.output.u.RGBA.size = static_cast<size_t>(stride * static_cast<uint64_t>(header_.height - 1) + rowBytes);
  // Declared after the configuration it refers to, so it goes first.
  const std::unique_ptr<WebPIDecoder, DecoderDelete> decoder(WebPIDecode(nullptr, 0, &config));
  if (decoder == nullptr) return WebpRowsOutcome::kFailed;

  // The incremental decoder reads the bytes in place (WebPIUpdate), a longer prefix each time.
  const size_t chunk = chunkBytes != 0 ? chunkBytes : std::max(kMinChunkBytes, size_ / kChunksPerFile);
  size_t given = 0;
  for (;;) {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return WebpRowsOutcome::kCancelled;
    given = size_ - given <= chunk ? size_ : given + chunk;
    const VP8StatusCode status = WebPIUpdate(decoder.get(), bytes_, given);
    if (status == VP8_STATUS_OK) break;
    // Suspended with every byte given: the file is cut.
    if (status != VP8_STATUS_SUSPENDED || given == size_) return WebpRowsOutcome::kFailed;
  }
  int rows = 0, width = 0, height = 0;
  if (WebPIDecGetRGB(decoder.get(), &rows, &width, &height, nullptr) == nullptr || width != header_.width ||
      height != header_.height || rows != header_.height) {
    return WebpRowsOutcome::kFailed;
  }
  return WebpRowsOutcome::kDecoded;
}
