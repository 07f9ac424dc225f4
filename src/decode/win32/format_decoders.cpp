#include "decode/win32/format_decoders.h"

#include "decode/avif/win32/avif_decode.h"
#include "decode/bmp/win32/bmp_decode.h"
#include "decode/heif/win32/heif_decode.h"
#include "decode/jpeg/win32/jpeg_decode.h"
#include "decode/jpeg2000/win32/jpeg2000_decode.h"
#include "decode/jxl/win32/jxl_decode.h"
#include "decode/png/win32/png_decode.h"
#include "decode/webp/win32/webp_decode.h"
#include "decode/win32/imaging_library.h"

namespace {

struct DecoderRow {
  PictureFormat format;
  FileDecodeOutcome (*decode)(const EncodedPicture& picture, CImage& image);
};

// Formats without a decoder of our own (GIF, TIFF) go to the imaging library directly.
constexpr DecoderRow kDecoders[] = {
    {PictureFormat::kJpeg, DecodeJpeg},
    {PictureFormat::kPng, DecodePng},
    {PictureFormat::kGif, DecodeWithImagingLibrary},
    {PictureFormat::kBmp, DecodeBmp},
    {PictureFormat::kTiff, DecodeWithImagingLibrary},
    {PictureFormat::kJpeg2000, DecodeJpeg2000},
    {PictureFormat::kWebp, DecodeWebp},
    {PictureFormat::kHeif, DecodeHeif},
    {PictureFormat::kAvif, DecodeAvif},
    {PictureFormat::kJxl, DecodeJxl},
};

}  // namespace

bool DecodeByFormat(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  FileDecodeOutcome outcome = FileDecodeOutcome::kNotTaken;
  for (const DecoderRow& row : kDecoders) {
    if (row.format == picture.facts->format) {
      outcome = row.decode(picture, image);
      break;
    }
  }
  if (outcome == FileDecodeOutcome::kNotTaken) outcome = DecodeWithImagingLibrary(picture, image);
  if (outcome == FileDecodeOutcome::kDecoded) return true;
  image.Destroy();
  return false;
}
