#include "decode/win32/jpeg_file_decode.h"

#include <windows.h>

#include "decode/decode_limit.h"
#include "decode/jpeg_rows.h"
#include "decode/win32/colour_managed.h"
#include "framework/gdi_handles.h"
#include "framework/unique_handle.h"
#include "imagelist/long_path.h"

namespace {

// Hands the decoder the file as it comes from ReadFile; the handle stays the caller's.
class FileByteReader final : public JpegByteReader {
 public:
  explicit FileByteReader(HANDLE file) : file_(file) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    const DWORD wanted = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
    DWORD got = 0;
    if (!ReadFile(file_, buffer, wanted, &got, nullptr)) return 0;
    return got;
  }

 private:
  HANDLE file_;
};

// Only files that start with the JPEG start marker are tried; the file is then read from its
// start again.
bool StartsLikeJpeg(HANDLE file) {
  uint8_t start[2] = {};
  DWORD got = 0;
  if (!ReadFile(file, start, sizeof start, &got, nullptr) || got != sizeof start) return false;
  if (start[0] != 0xFF || start[1] != 0xD8) return false;
  LARGE_INTEGER zero = {};
  return SetFilePointerEx(file, zero, nullptr, FILE_BEGIN) != FALSE;
}

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

JpegFileOutcome DecodeOpenFile(HANDLE file, CImage& image, const std::atomic<bool>* cancel,
                               const std::vector<uint8_t>& embedded) {
  if (!StartsLikeJpeg(file)) return JpegFileOutcome::kNotTaken;
  FileByteReader reader(file);
  // CMYK only with a profile to show it by; whether the profile can is asked once the file is
  // known to be CMYK, so other files never pay for a transform they do not use.
  JpegRowsDecoder decoder(reader, embedded.empty() ? JpegCmyk::kDecline : JpegCmyk::kTake);
  JpegRowsHeader header;
  const bool taken = decoder.ReadHeader(header);
  // The frame header the header check could not reach (it gives up on hostile segment runs):
  // too large a picture must not reach the imaging library either, whose decoder crashes on it.
  // Kinds decoded elsewhere (CMYK) are sized here too.
  if (!SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4))
    return JpegFileOutcome::kRefused;
  if (!taken) return JpegFileOutcome::kNotTaken;
  const bool cmyk = header.layout == JpegRowLayout::kCmyk32;
  if (cmyk && !CmykConvertsToDisplay(embedded, header.invertedCmyk)) return JpegFileOutcome::kNotTaken;
  // A DIB that cannot be made goes to the imaging library too, which then fails or not as before.
  if (!image.Create(header.width, header.height, header.BitsPerPixel(), false))
    return JpegFileOutcome::kNotTaken;
  if (header.layout == JpegRowLayout::kGrey8 && !SetGreyColourTable(image)) return JpegFileOutcome::kNotTaken;
  // Colour rows converted right behind the decoder, while they are still in the caches.
  static const std::vector<uint8_t> kNoProfile;  // CMYK rows are converted once all are there
  ColoursBehindDecode colours(image, cmyk ? kNoProfile : embedded);
  if (colours.Following()) decoder.PublishRowsTo(&colours.RowsWritten());
  const JpegRowsOutcome outcome = decoder.DecodeRows(image.TopRow(), image.Pitch(), cancel);
  colours.Finish(outcome == JpegRowsOutcome::kDecoded);
  switch (outcome) {
    case JpegRowsOutcome::kDecoded: break;
    case JpegRowsOutcome::kCancelled: return JpegFileOutcome::kCancelled;
    case JpegRowsOutcome::kNotTaken: return JpegFileOutcome::kNotTaken;
  }
  if (!cmyk) {
    if (!colours.Following()) ConvertToDisplayColours(image, embedded);
    return JpegFileOutcome::kDecoded;
  }
  // CMYK numbers shown as they are would be wrong colours: without a conversion the imaging
  // library decides instead.
  return ConvertCmykToDisplayColours(image, embedded, header.invertedCmyk) ? JpegFileOutcome::kDecoded
                                                                           : JpegFileOutcome::kNotTaken;
}

}  // namespace

namespace {

// Shared for reading, writing and deleting, so the viewer never stands in anyone's way.
KernelHandle OpenForReading(const std::wstring& path) {
  return KernelHandle(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

}  // namespace

bool JpegFrameTooLarge(const std::wstring& path) {
  KernelHandle file = OpenForReading(path);
  if (!file || !StartsLikeJpeg(file.Get())) return false;
  FileByteReader reader(file.Get());
  JpegRowsDecoder decoder(reader);
  JpegRowsHeader header;
  decoder.ReadHeader(header);
  return !SizeFitsDecoder(static_cast<uint64_t>(header.width), static_cast<uint64_t>(header.height), 4);
}

JpegFileOutcome DecodeJpegFile(const std::wstring& path, CImage& image, const std::atomic<bool>* cancel,
                               const std::vector<uint8_t>& embedded) {
  image.Destroy();
  KernelHandle file = OpenForReading(path);
  if (!file) return JpegFileOutcome::kNotTaken;
  const JpegFileOutcome outcome = DecodeOpenFile(file.Get(), image, cancel, embedded);
  if (outcome != JpegFileOutcome::kDecoded) image.Destroy();
  return outcome;
}
