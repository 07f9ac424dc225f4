#include "decode/win32/bmp_file_decode.h"

#include "decode/bmp_rows.h"
#include "decode/win32/buffered_file_reader.h"
#include "decode/win32/dib_colour_table.h"
#include "decode/decode_limit.h"

namespace {

FileDecodeOutcome DecodeOpenFile(BufferedFileReader& file, CImage& image, const std::atomic<bool>* cancel) {
  if (!file.StartsWith("BM", 2)) return FileDecodeOutcome::kNotTaken;
  BmpHeader header;
  if (!ReadBmpHeader(file, header)) return FileDecodeOutcome::kNotTaken;
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  if (!image.Create(header.width, header.height, header.bitsPerPixel, false)) return FileDecodeOutcome::kNotTaken;
  if (header.bitsPerPixel <= 8 && !SetColourTable(image, header.colourTable, header.colourCount))
    return FileDecodeOutcome::kNotTaken;
  switch (DecodeBmpRows(file, header, image.TopRow(), image.Pitch(), cancel)) {
    case BmpRowsOutcome::kDecoded: return FileDecodeOutcome::kDecoded;
    case BmpRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case BmpRowsOutcome::kNotTaken: break;
  }
  return FileDecodeOutcome::kNotTaken;
}

}  // namespace

FileDecodeOutcome DecodeBmpFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel) {
  image.Destroy();
  BufferedFileReader file(path);
  if (!file.IsOpen()) return FileDecodeOutcome::kNotTaken;
  const FileDecodeOutcome outcome = DecodeOpenFile(file, image, cancel);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}
