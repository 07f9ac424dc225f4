#include "decode/win32/png_file_decode.h"

#include "decode/png_rows.h"
#include "decode/win32/buffered_file_reader.h"
#include "decode/win32/dib_colour_table.h"
#include "decode/decode_limit.h"

namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

FileDecodeOutcome DecodeOpenFile(BufferedFileReader& file, CImage& image, const std::atomic<bool>* cancel) {
  if (!file.StartsWith(kPngSignature, sizeof kPngSignature)) return FileDecodeOutcome::kNotTaken;
  PngRowsDecoder decoder(file);
  PngRowsHeader header;
  if (!decoder.ReadHeader(header)) return FileDecodeOutcome::kNotTaken;
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  // A new DIB section's rows are zeroed, as interlaced files of few bits a pixel need them.
  if (!image.Create(header.width, header.height, header.bitsPerPixel, header.HasAlpha()))
    return FileDecodeOutcome::kNotTaken;
  if (header.layout == PngRowLayout::kIndexed && !SetColourTable(image, header.colourTable, header.colourCount))
    return FileDecodeOutcome::kNotTaken;
  switch (decoder.DecodeRows(image.TopRow(), image.Pitch(), cancel)) {
    case PngRowsOutcome::kDecoded: return FileDecodeOutcome::kDecoded;
    case PngRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case PngRowsOutcome::kNotTaken: break;
  }
  return FileDecodeOutcome::kNotTaken;
}

}  // namespace

FileDecodeOutcome DecodePngFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel) {
  image.Destroy();
  BufferedFileReader file(path);
  if (!file.IsOpen()) return FileDecodeOutcome::kNotTaken;
  const FileDecodeOutcome outcome = DecodeOpenFile(file, image, cancel);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
