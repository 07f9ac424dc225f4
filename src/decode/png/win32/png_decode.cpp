#include "decode/png/win32/png_decode.h"

#include "decode/byte_reader.h"
#include "decode/decode_limit.h"
#include "decode/png/png_format.h"
#include "decode/png/png_rows.h"
#include "decode/win32/colour_managed.h"
#include "decode/win32/dib_colour_table.h"

namespace {

FileDecodeOutcome DecodeRows(const EncodedPicture& picture, CImage& image) {
  if (!IsPngSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  MemoryByteReader reader(picture.bytes, picture.size);
  PngRowsDecoder decoder(reader);
  PngRowsHeader header;
  if (!decoder.ReadHeader(header)) return FileDecodeOutcome::kNotTaken;
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  // A new DIB section's rows are zeroed, as interlaced files of few bits a pixel need them.
  if (!image.Create(header.width, header.height, header.bitsPerPixel, header.HasAlpha()))
    return FileDecodeOutcome::kNotTaken;
  if (header.layout == PngRowLayout::kIndexed && !SetColourTable(image, header.colourTable, header.colourCount))
    return FileDecodeOutcome::kNotTaken;
  switch (decoder.DecodeRows(image.TopRow(), image.Pitch(), picture.cancelled)) {
    case PngRowsOutcome::kDecoded: break;
    case PngRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case PngRowsOutcome::kNotTaken: return FileDecodeOutcome::kNotTaken;
  }
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}

}  // namespace

FileDecodeOutcome DecodePng(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  const FileDecodeOutcome outcome = DecodeRows(picture, image);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
