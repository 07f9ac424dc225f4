// libFuzzer target: any bytes through our WebP header reader (over a source that aborts on any read
// outside it), then libwebp's own look at the headers and the rows decoder into bottom-up rows,
// whole and in chunks of a size the input picks, with a small decode limit so a header promising
// a huge picture is refused rather than allocated. What must hold: a size we read is the one
// libwebp reads, a lossless picture decodes the same in any chunks, and a picture libwebp
// decodes from its chunks is one we sized, at the size decoded.
// Seeds (fuzz/corpus/webp/) are 16 x 12 pictures written as PAM and encoded by cwebp (lossy,
// lossless, each with and without alpha), one given a 132-byte stand-in profile by webpmux and a
// two-frame animation by img2webp, e.g.
//   cwebp -q 50 rgba.pam -o lossy-alpha.webp; webpmux -set icc tiny.icc lossy.webp -o icc.webp
#include <webp/decode.h>

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "checks.h"
#include "decode/webp/webp_format.h"
#include "decode/webp/webp_rows.h"

namespace {

// 4 MiB at 4 bytes a pixel: a megapixel.
constexpr uint64_t kFuzzDecodeLimit = 4u << 20;

// The rows decoder into bottom-up rows; kFailed too when the header is not taken.
WebpRowsOutcome Decode(const uint8_t* data, size_t size, size_t chunk, WebpRowsHeader& header,
                       std::vector<uint8_t>& rows, const std::atomic<bool>* cancel = nullptr) {
  WebpRowsDecoder decoder(data, size, kFuzzDecodeLimit);
  if (!decoder.ReadHeader(header)) return WebpRowsOutcome::kFailed;
  Require(header.width > 0 && header.height > 0 &&
              static_cast<uint64_t>(header.width) * static_cast<uint64_t>(header.height) * 4 <= kFuzzDecodeLimit,
          "a header taken is within the limit");
  const uint64_t pixelBytes = static_cast<uint64_t>(header.BitsPerPixel() / 8);
  const ptrdiff_t pitch = static_cast<ptrdiff_t>((static_cast<uint64_t>(header.width) * pixelBytes + 3) & ~uint64_t{3});
  rows.assign(static_cast<size_t>(pitch) * static_cast<size_t>(header.height), 0);
  return decoder.DecodeRows(rows.data() + rows.size() - static_cast<size_t>(pitch), -pitch, cancel, chunk);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckedSource source(data, size);
  PictureFacts facts;
  if (IsWebpSignature(data, size)) {
    ByteCursor cursor(source);
    ReadWebpFacts(cursor, FactsWanted::kAll, facts);
  }
  const bool sized = facts.header.format == PictureFormat::kWebp;
  WebPBitstreamFeatures features;
  const bool libwebpSized = WebPGetFeatures(data, size, &features) == VP8_STATUS_OK;
  if (sized) {
    Require(facts.header.width > 0 && facts.header.height > 0 &&
                uint64_t{facts.header.width} * facts.header.height < (uint64_t{1} << 32),
            "a size read is whole and below libwebp's area");
    Require(libwebpSized && static_cast<uint32_t>(features.width) == facts.header.width &&
                static_cast<uint32_t>(features.height) == facts.header.height,
            "our size is libwebp's");
  }
  Require(facts.profile.empty() || facts.profile.size() < size, "the profile lies inside the file");

  // libwebp also decodes a bare bitstream right after "WEBP", without a chunk around it, which no
  // encoder writes, taking its length from the bytes it has been given so far: we leave such files
  // unsized, and so refused, and hold them to nothing below.
  const bool chunks = size >= 16 && (std::memcmp(data + 12, "VP8 ", 4) == 0 || std::memcmp(data + 12, "VP8L", 4) == 0 ||
                                     std::memcmp(data + 12, "VP8X", 4) == 0);
  // Decoded whole, and again fed 1 to 255 bytes at a time (the last byte picks how many): a
  // lossless picture must come to the same outcome and rows. A damaged lossy bitstream need not:
  // libwebp parses its partitions as the bytes come, so one it decodes whole (as its one-call
  // decode does) may fail or differ in small pieces; real files do not (the pieces the viewer
  // feeds are a sixteenth of the file, at least 256 KiB).
  std::vector<uint8_t> whole, chunked;
  WebpRowsHeader header;
  const WebpRowsOutcome outcome = Decode(data, size, 0, header, whole);
  if (size > 0 && data[size - 1] == 0) {  // and, for some inputs, a cancel set before the decode
    const std::atomic<bool> cancel{true};
    WebpRowsHeader again;
    const WebpRowsOutcome cancelled = Decode(data, size, 0, again, chunked, &cancel);
    Require(cancelled == (again.width > 0 ? WebpRowsOutcome::kCancelled : WebpRowsOutcome::kFailed),
            "a cancel set before the decode is seen once the header is taken");
  }
  if (chunks && data[size - 1] != 0) {
    WebpRowsHeader again;
    const WebpRowsOutcome pieces = Decode(data, size, data[size - 1], again, chunked);
    if (std::memcmp(data + 12, "VP8L", 4) == 0) {
      Require(pieces == outcome && (outcome != WebpRowsOutcome::kDecoded || chunked == whole),
              "a lossless picture decodes the same whatever the chunks");
    }
  }
  if (outcome == WebpRowsOutcome::kDecoded && chunks) {
    Require(sized && facts.header.width == static_cast<uint32_t>(header.width) &&
                facts.header.height == static_cast<uint32_t>(header.height),
            "a picture libwebp decodes is one we sized, at its size");
  }
  return 0;
}
