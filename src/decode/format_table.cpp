#include "decode/format_table.h"

#include <algorithm>

#include "decode/bmp/bmp_format.h"
#include "decode/gif/gif_format.h"
#include "decode/isobmff/isobmff_format.h"
#include "decode/jpeg/jpeg_format.h"
#include "decode/jpeg2000/jpeg2000_format.h"
#include "decode/jxl/jxl_format.h"
#include "decode/png/png_format.h"
#include "decode/tiff/tiff_format.h"
#include "decode/webp/webp_format.h"

namespace {

// Signatures do not overlap, so the order only matters for speed: the common formats first.
constexpr FormatRow kFormats[] = {
    {PictureFormat::kJpeg, "JPEG", IsJpegSignature, ReadJpegFacts},
    {PictureFormat::kPng, "PNG", IsPngSignature, ReadPngFacts},
    {PictureFormat::kGif, "GIF", IsGifSignature, ReadGifFacts},
    {PictureFormat::kBmp, "BMP", IsBmpSignature, ReadBmpFacts},
    {PictureFormat::kTiff, "TIFF", IsTiffSignature, ReadTiffFacts},
    {PictureFormat::kJpeg2000, "JPEG 2000", IsJpeg2000Signature, ReadJpeg2000Facts},
    {PictureFormat::kWebp, "WebP", IsWebpSignature, ReadWebpFacts},
    // One ISOBMFF reader for both: the brands choose the row.
    {PictureFormat::kAvif, "AVIF", IsAvifSignature, ReadIsobmffFacts},
    {PictureFormat::kHeif, "HEIF", IsHeifSignature, ReadIsobmffFacts},
    {PictureFormat::kJxl, "JPEG XL", IsJxlSignature, ReadJxlFacts},
};

}  // namespace

const FormatRow* ChooseFormat(const uint8_t* first, size_t count) {
  count = std::min(count, kSignatureBytes);
  for (const FormatRow& row : kFormats) {
    if (row.signature(first, count)) return &row;
  }
  return nullptr;
}

const FormatRow* RowOf(PictureFormat format) {
  for (const FormatRow& row : kFormats) {
    if (row.format == format) return &row;
  }
  return nullptr;
}

PictureFacts ReadPictureFacts(ByteSource& source, FactsWanted wanted) {
  PictureFacts facts;
  uint8_t first[kSignatureBytes] = {};
  const size_t count = static_cast<size_t>(std::min<uint64_t>(source.Size(), kSignatureBytes));
  if (count == 0 || !source.ReadAt(0, first, count)) return facts;
  const FormatRow* row = ChooseFormat(first, count);
  if (row == nullptr) return facts;
  facts.format = row->format;
  ByteCursor cursor(source);
  row->readFacts(cursor, wanted, facts);
  if (facts.header.format != row->format) facts.header = PictureHeader{};  // unsized
  return facts;
}

PictureHeader ReadPictureHeader(ByteSource& source) { return ReadPictureFacts(source, FactsWanted::kSize).header; }
