// Turning a picture file into a DIB section: the file read once, its format chosen by its bytes
// (format_table.h), decoded and converted to the display's colours. Any thread: nothing here
// touches the window, the image list or the current picture (the worker decodes with it, on
// images of its own).
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/image_header.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/encoded_picture.h"
#include "decode/win32/file_bytes.h"
#include "decode/win32/file_identity.h"
#include "picture/win32/dib_image.h"

// What the decode learnt of the file besides its pixels, all from its one read.
struct DecodeFacts {
  FileIdentity identity;  // of the bytes that were decoded (from the one open)
  bool read = false;      // the file could be opened and read
  PictureFormat format = PictureFormat::kUnknown;  // what the bytes are
  int32_t exifOrientation = 0;  // valid when orientationFound
  bool orientationFound = false;
  // A GIF of more than one frame: its bytes, kept from the one read for the frames that follow
  // the first (the decode gives the first). Null for everything else.
  std::shared_ptr<const FileBytes> animation;
};

// Reads path once and decodes it into image (released first), its colours converted from its
// embedded profile to `target`. False leaves image empty (a file that cannot be read, is not a
// picture, is too large, is damaged, or whose decode was cancelled). cancelled (may be null) lets
// a decode on the worker stop early when its picture is no longer wanted. Any thread, one image
// per caller.
//
// beside (may be null): work that runs beside the decode from the same bytes, on a thread of its
// own (a first view), started once the bytes are read and their facts known.
class BesideDecode {
 public:
  // The decoding thread, before the decode: the bytes stay valid until Finish returns.
  virtual void Start(const EncodedPicture& picture) = 0;
  // The decoding thread, once the decode has ended, on every path after Start: must not return
  // while the work still reads the bytes.
  virtual void Finish() noexcept = 0;

 protected:
  ~BesideDecode() = default;
};
bool DecodeFile(const std::wstring& path, const DisplayTarget& target, CImage& image, DecodeFacts& facts,
                const std::atomic<bool>* cancelled, BesideDecode* beside = nullptr);

// DecodeFile in the primary monitor's colours, for callers that do not follow the window.
bool DecodeFileToImage(const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled = nullptr);
// The file read once and decoded by the imaging library alone, without colour conversion (the
// route the decoders of our own are compared with).
bool DecodeWithImagingLibrary(const std::wstring& path, CImage& image);
// The EXIF orientation of the file (read once); false when it has none.
bool ReadOrientationOf(const std::wstring& path, int32_t& exifOrientation);

// The file read once and handed to one decoder of the table alone, in the primary monitor's
// colours: for tests and benchmarks that compare the routes.
FileDecodeOutcome DecodeFileWith(FileDecodeOutcome (*decoder)(const EncodedPicture& picture, CImage& image),
                                 const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled = nullptr);
