#include "decode/png/win32/png_decode.h"

#include <cstring>

#include "decode/byte_reader.h"
#include "decode/decode_limit.h"
#include "decode/png/apng_frames.h"
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

// An animation whose default image is no frame of it shows its first frame, as its animation
// starts from there: 32-bit straight alpha, the layout of the rows above.
FileDecodeOutcome DecodeFirstFrame(const EncodedPicture& picture, CImage& image) {
  ApngFrames frames;
  if (!frames.Open(picture.bytes, picture.size) || !frames.Next()) return FileDecodeOutcome::kNotTaken;
  if (picture.cancelled != nullptr && picture.cancelled->load(std::memory_order_relaxed))
    return FileDecodeOutcome::kCancelled;
  const int32_t width = frames.Width(), height = frames.Height();
  if (!image.Create(width, height, 32, true)) return FileDecodeOutcome::kNotTaken;
  for (int32_t y = 0; y < height; ++y) {
    std::memcpy(image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch(),
                frames.Pixels() + static_cast<size_t>(y) * static_cast<size_t>(width), static_cast<size_t>(width) * 4);
  }
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}

}  // namespace

FileDecodeOutcome DecodePng(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  FileDecodeOutcome outcome = FileDecodeOutcome::kNotTaken;
  // A first frame that does not decode leaves the default image to show.
  if (ApngHidesDefaultImage(picture.bytes, picture.size)) outcome = DecodeFirstFrame(picture, image);
  if (outcome == FileDecodeOutcome::kNotTaken) {
    image.Destroy();
    outcome = DecodeRows(picture, image);
  }
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
