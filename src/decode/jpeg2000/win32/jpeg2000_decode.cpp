#include "decode/jpeg2000/win32/jpeg2000_decode.h"

#include <algorithm>
#include <thread>

#include "decode/jpeg2000/jp2_rows.h"
#include "decode/jpeg2000/jpeg2000_format.h"
#include "decode/win32/colour_managed.h"

namespace {

// The window's thread sleeps while the worker decodes, so openjpeg may use every core for its
// code blocks.
int DecodeThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

}  // namespace

FileDecodeOutcome DecodeJpeg2000(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  if (!IsJpeg2000Signature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  MemoryByteSource source(picture.bytes, picture.size);
  Jp2RowsDecoder decoder(source, picture.cancelled);
  Jp2Picture decoded;
  switch (decoder.Decode(decoded, DecodeThreads())) {
    case Jp2Outcome::kDecoded: break;
    case Jp2Outcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case Jp2Outcome::kFailed: return FileDecodeOutcome::kRefused;
  }
  const bool alpha = decoded.layout == Jp2RowLayout::kBgra32;
  if (!image.Create(decoded.width, decoded.height, decoded.BitsPerPixel(), alpha)) return FileDecodeOutcome::kRefused;
  decoder.WriteRows(image.TopRow(), image.Pitch());
  ConvertColours(image, decoder.EmbeddedProfile(), *picture.display);
  return FileDecodeOutcome::kDecoded;
}
