#include "decode/bmp/win32/bmp_decode.h"

#include "decode/bmp/bmp_format.h"
#include "decode/bmp/bmp_rows.h"
#include "decode/byte_reader.h"
#include "decode/decode_limit.h"
#include "decode/win32/dib_colour_table.h"

namespace {

FileDecodeOutcome DecodeRows(const EncodedPicture& picture, CImage& image) {
  if (!IsBmpSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  MemoryByteReader reader(picture.bytes, picture.size);
  BmpHeader header;
  if (!ReadBmpHeader(reader, header)) return FileDecodeOutcome::kNotTaken;
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  if (!image.Create(header.width, header.height, header.bitsPerPixel, false)) return FileDecodeOutcome::kNotTaken;
  if (header.bitsPerPixel <= 8 && !SetColourTable(image, header.colourTable, header.colourCount))
    return FileDecodeOutcome::kNotTaken;
  switch (DecodeBmpRows(reader, header, image.TopRow(), image.Pitch(), picture.cancelled)) {
    case BmpRowsOutcome::kDecoded: return FileDecodeOutcome::kDecoded;
    case BmpRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case BmpRowsOutcome::kNotTaken: break;
  }
  return FileDecodeOutcome::kNotTaken;
}

}  // namespace

FileDecodeOutcome DecodeBmp(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  const FileDecodeOutcome outcome = DecodeRows(picture, image);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
