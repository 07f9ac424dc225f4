#include "decode/webp/win32/webp_decode.h"

#include "decode/decode_limit.h"
#include "decode/webp/webp_format.h"
#include "decode/webp/webp_rows.h"
#include "decode/win32/colour_managed.h"

namespace {

FileDecodeOutcome DecodeRows(const EncodedPicture& picture, CImage& image) {
  if (!IsWebpSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  // Our own header reader sized it first: one it could not size, or too large, goes no further.
  const PictureHeader& sized = picture.facts->header;
  if (sized.format != PictureFormat::kWebp || !HeaderFitsDecoder(sized)) return FileDecodeOutcome::kRefused;
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
