#include "decode/jxl/win32/jxl_decode.h"

#include "decode/jxl/jxl_format.h"
#include "decode/jxl/jxl_rows.h"
#include "decode/win32/colour_managed.h"

namespace {

FileDecodeOutcome DecodeInto(const EncodedPicture& picture, CImage& image) {
  if (!IsJxlSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  // Unsized is unreadable: libjxl reads the same size header first.
  const PictureHeader& header = picture.facts->header;
  if (header.format != PictureFormat::kJxl) return FileDecodeOutcome::kRefused;
  // One of libjxl's threads per core: the window's thread sleeps while the worker decodes.
  JxlRowsDecoder decoder(picture.bytes, picture.size, picture.cancelled);
  JxlPictureInfo info;
  switch (decoder.ReadInfo(info)) {
    case JxlOutcome::kDecoded: break;
    case JxlOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case JxlOutcome::kFailed: return FileDecodeOutcome::kRefused;
  }
  if (static_cast<uint32_t>(info.width) != header.width || static_cast<uint32_t>(info.height) != header.height ||
      !image.Create(info.width, info.height, info.BitsPerPixel(), info.alpha)) {
    return FileDecodeOutcome::kRefused;
  }
  // Deep pictures come converted to the display's colours; the others are converted here.
  switch (decoder.DecodeRows(image.TopRow(), image.Pitch(), *picture.display)) {
    case JxlOutcome::kDecoded: break;
    case JxlOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case JxlOutcome::kFailed: return FileDecodeOutcome::kRefused;
  }
  if (!info.deep) ConvertColours(image, decoder.Profile(), *picture.display);
  return FileDecodeOutcome::kDecoded;
}

}  // namespace

FileDecodeOutcome DecodeJxl(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  const FileDecodeOutcome outcome = DecodeInto(picture, image);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
