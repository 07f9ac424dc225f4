#include "decode/jpeg/win32/jpeg_decode.h"

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "decode/decode_limit.h"
#include "decode/jpeg/jpeg_format.h"
#include "decode/jpeg/jpeg_rows.h"
#include "decode/win32/colour_managed.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/file_bytes.h"
#include "framework/gdi_handles.h"

namespace {

// Hands libjpeg the bytes in memory, in order.
class MemoryJpegReader final : public JpegByteReader {
 public:
  MemoryJpegReader(const uint8_t* bytes, size_t size) : bytes_(bytes), left_(size) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    const size_t count = std::min(capacity, left_);
    if (count != 0) std::memcpy(buffer, bytes_, count);
    bytes_ += count;
    left_ -= count;
    return count;
  }

 private:
  const uint8_t* bytes_;
  size_t left_;
};

// Entry i is (i, i, i): the imaging library gives greyscale JPEGs this 256-entry table.
bool SetGreyColourTable(const CImage& image) {
  RGBQUAD table[256];
  for (int i = 0; i < 256; ++i) {
    const BYTE level = static_cast<BYTE>(i);
    table[i] = RGBQUAD{level, level, level, 0};
  }
  MemoryDc dc(nullptr, image.Handle());
  return dc.Ok() && SetDIBColorTable(dc.Get(), 0, 256, table) == 256;
}

FileDecodeOutcome DecodeRows(const EncodedPicture& picture, const std::vector<uint8_t>& embedded, CImage& image) {
  if (!IsJpegSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  const std::vector<uint8_t>& display = *picture.display;
  MemoryJpegReader reader(picture.bytes, picture.size);
  // CMYK only with a profile to show it by; whether the profile can is asked once the file is
  // known to be CMYK, so other files never pay for a transform they do not use.
  JpegRowsDecoder decoder(reader, embedded.empty() ? JpegCmyk::kDecline : JpegCmyk::kTake);
  JpegRowsHeader header;
  const bool taken = decoder.ReadHeader(header);
  // The frame header the marker walk could not reach (it gives up on hostile segment runs): too
  // large a picture must not reach the imaging library either, whose decoder crashes on it.
  // Kinds decoded elsewhere (CMYK) are sized here too.
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  if (!taken) return FileDecodeOutcome::kNotTaken;
  const bool cmyk = header.layout == JpegRowLayout::kCmyk32;
  if (cmyk && !CmykConverts(embedded, display, header.invertedCmyk)) return FileDecodeOutcome::kNotTaken;
  // A DIB that cannot be made goes to the imaging library too, which then fails or not as before.
  if (!image.Create(header.width, header.height, header.BitsPerPixel(), false)) return FileDecodeOutcome::kNotTaken;
  if (header.layout == JpegRowLayout::kGrey8 && !SetGreyColourTable(image)) return FileDecodeOutcome::kNotTaken;
  // Colour rows converted right behind the decoder, while they are still in the caches; CMYK rows
  // are converted once all are there.
  const std::vector<uint8_t> noProfile;
  ColoursBehindDecode colours(image, cmyk ? noProfile : embedded, display);
  if (colours.Following()) decoder.PublishRowsTo(&colours);
  const JpegRowsOutcome outcome = decoder.DecodeRows(image.TopRow(), image.Pitch(), picture.cancelled);
  colours.Finish(outcome == JpegRowsOutcome::kDecoded);
  switch (outcome) {
    case JpegRowsOutcome::kDecoded: break;
    case JpegRowsOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case JpegRowsOutcome::kNotTaken: return FileDecodeOutcome::kNotTaken;
  }
  if (!cmyk) {
    if (!colours.Following()) ConvertColours(image, embedded, display);
    return FileDecodeOutcome::kDecoded;
  }
  // CMYK numbers shown as they are would be wrong colours: without a conversion the imaging
  // library decides instead.
  return ConvertCmykColours(image, embedded, display, header.invertedCmyk) ? FileDecodeOutcome::kDecoded
                                                                           : FileDecodeOutcome::kNotTaken;
}

FileDecodeOutcome DecodeWithProfile(const EncodedPicture& picture, const std::vector<uint8_t>& embedded,
                                    CImage& image) {
  image.Destroy();
  const FileDecodeOutcome outcome = DecodeRows(picture, embedded, image);
  if (outcome != FileDecodeOutcome::kDecoded) image.Destroy();
  return outcome;
}

}  // namespace

FileDecodeOutcome DecodeJpeg(const EncodedPicture& picture, CImage& image) {
  return DecodeWithProfile(picture, picture.facts->profile, image);
}

FileDecodeOutcome DecodeJpegFirstView(const EncodedPicture& picture, int32_t viewWidth, int32_t viewHeight,
                                      CImage& image) {
  image.Destroy();
  if (!IsJpegSignature(picture.bytes, picture.size)) return FileDecodeOutcome::kNotTaken;
  MemoryJpegReader reader(picture.bytes, picture.size);
  JpegRowsDecoder decoder(reader, JpegCmyk::kDecline);
  JpegRowsHeader header;
  if (!decoder.ReadHeader(header)) return FileDecodeOutcome::kNotTaken;
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return FileDecodeOutcome::kRefused;
  const int denominator = ReductionForView(header.width, header.height, viewWidth, viewHeight);
  const bool progressive = decoder.Progressive();
  if (denominator == 0 && !progressive) return FileDecodeOutcome::kNotTaken;
  if (denominator != 0 && !decoder.ScaleDown(denominator, header)) return FileDecodeOutcome::kNotTaken;
  if (!image.Create(header.width, header.height, header.BitsPerPixel(), false) ||
      (header.layout == JpegRowLayout::kGrey8 && !SetGreyColourTable(image))) {
    image.Destroy();
    return FileDecodeOutcome::kNotTaken;
  }
  const JpegRowsOutcome outcome = progressive
                                      ? decoder.DecodeFirstScans(image.TopRow(), image.Pitch(), picture.cancelled)
                                      : decoder.DecodeRows(image.TopRow(), image.Pitch(), picture.cancelled);
  switch (outcome) {
    case JpegRowsOutcome::kDecoded: break;
    case JpegRowsOutcome::kCancelled: image.Destroy(); return FileDecodeOutcome::kCancelled;
    case JpegRowsOutcome::kNotTaken: image.Destroy(); return FileDecodeOutcome::kNotTaken;
  }
  ConvertColours(image, picture.facts->profile, *picture.display);
  return FileDecodeOutcome::kDecoded;
}

FileDecodeOutcome DecodeJpegFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel,
                                 const std::vector<uint8_t>& embedded) {
  image.Destroy();
  FileBytes file;
  if (!ReadWholeFile(path, file)) return FileDecodeOutcome::kNotTaken;
  const PictureFacts facts;
  const auto display = DisplayProfileBytes(DisplayTargetOf(nullptr));
  const EncodedPicture picture{file.bytes.get(), file.size, &facts, display.get(), cancel};
  return DecodeWithProfile(picture, embedded, image);
}

bool JpegFrameTooLarge(const uint8_t* bytes, size_t size) {
  if (!IsJpegSignature(bytes, size)) return false;
  MemoryJpegReader reader(bytes, size);
  JpegRowsDecoder decoder(reader);
  JpegRowsHeader header;
  decoder.ReadHeader(header);
  return !SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4);
}
