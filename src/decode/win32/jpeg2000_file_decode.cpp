#include "decode/win32/jpeg2000_file_decode.h"

#include <algorithm>
#include <thread>

#include "decode/jpeg2000_header.h"
#include "decode/jp2_rows.h"
#include "decode/win32/colour_managed.h"
#include "decode/win32/file_byte_source.h"

namespace {

bool StartsLikeJpeg2000(ByteSource& source) {
  ByteCursor cursor(source);
  return StartsLikeJp2File(cursor) || StartsLikeCodestream(cursor);
}

// The window's thread sleeps while the worker decodes, so openjpeg may use every core for its
// code blocks.
int DecodeThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u)); }

}  // namespace

Jpeg2000FileOutcome DecodeJpeg2000File(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel) {
  image.Destroy();
  FileByteSource source(path);
  if (!source.IsOpen() || !StartsLikeJpeg2000(source)) return Jpeg2000FileOutcome::kNotTaken;
  Jp2RowsDecoder decoder(source, cancel);
  Jp2Picture picture;
  switch (decoder.Decode(picture, DecodeThreads())) {
    case Jp2Outcome::kDecoded: break;
    case Jp2Outcome::kCancelled: return Jpeg2000FileOutcome::kCancelled;
    case Jp2Outcome::kFailed: return Jpeg2000FileOutcome::kFailed;
  }
  const bool alpha = picture.layout == Jp2RowLayout::kBgra32;
  if (!image.Create(picture.width, picture.height, picture.BitsPerPixel(), alpha)) return Jpeg2000FileOutcome::kFailed;
  decoder.WriteRows(image.TopRow(), image.Pitch());
  ConvertToDisplayColours(image, decoder.EmbeddedProfile());
  return Jpeg2000FileOutcome::kDecoded;
}
