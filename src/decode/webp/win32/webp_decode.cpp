#include "decode/webp/win32/webp_decode.h"

#include <cstring>

#include "decode/byte_cursor.h"
#include "decode/decode_limit.h"
#include "decode/webp/webp_format.h"
#include "decode/webp/webp_frames.h"
#include "decode/webp/webp_rows.h"
#include "decode/win32/colour_managed.h"

namespace {

// An animation's first frame, composed by the same code as the frames after it. Always with
// alpha: libwebp's canvas is transparent wherever no frame has drawn, and a frame disposed to the
// background leaves its rectangle transparent, whatever VP8X's alpha flag says.
FileDecodeOutcome DecodeFirstFrame(const EncodedPicture& picture, CImage& image) {
  WebpFrames frames;
  if (!frames.Open(picture.bytes, picture.size) || !frames.Next()) return FileDecodeOutcome::kRefused;
  if (picture.cancelled != nullptr && picture.cancelled->load(std::memory_order_relaxed))
    return FileDecodeOutcome::kCancelled;
  const int32_t width = frames.Width(), height = frames.Height();
  if (!image.Create(width, height, 32, true)) return FileDecodeOutcome::kRefused;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch(),
                frames.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width), static_cast<size_t>(width) * 4);
  }
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}

FileDecodeOutcome DecodeRows(const EncodedPicture& picture, CImage& image) {
  if (!IsWebpSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  // Our own header reader sized it first: one it could not size, or too large, goes no further.
  const PictureHeader& sized = picture.facts->header;
  if (sized.format != PictureFormat::kWebp || !HeaderFitsDecoder(sized)) return FileDecodeOutcome::kRefused;
  MemoryByteSource source(picture.bytes, picture.size);
  ByteCursor cursor(source);
  WebpLayout layout;
  if (ReadWebpLayout(cursor, layout) && layout.animated) return DecodeFirstFrame(picture, image);
  WebpRowsDecoder decoder(picture.bytes, picture.size);
  WebpRowsHeader header;
  if (!decoder.ReadHeader(header) || static_cast<uint32_t>(header.width) != sized.width ||
      static_cast<uint32_t>(header.height) != sized.height) {
    return FileDecodeOutcome::kRefused;
  }
  if (!image.Create(header.width, header.height, header.BitsPerPixel(), header.HasAlpha()))
    return FileDecodeOutcome::kRefused;
  switch (decoder.DecodeRows(image.TopRow(), image.Pitch(), picture.cancelled)) {
    case WebpRowsOutcome::kDecoded: break;
    case WebpRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case WebpRowsOutcome::kFailed: return FileDecodeOutcome::kRefused;
  }
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}

}  // namespace

FileDecodeOutcome DecodeWebp(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  const FileDecodeOutcome outcome = DecodeRows(picture, image);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
