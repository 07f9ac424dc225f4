#include "decode/win32/image_decode.h"

#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/animation_frames.h"
#include "decode/win32/file_bytes.h"
#include "decode/win32/format_decoders.h"
#include "decode/win32/imaging_library.h"

bool DecodeFile(const std::wstring& path, const DisplayTarget& target, CImage& image, DecodeFacts& facts,
                const std::atomic<bool>* cancelled, BesideDecode* beside) {
  image.Destroy();
  facts = DecodeFacts{};
  FileBytes file;
  if (!ReadWholeFile(path, file)) {
    facts.identity = file.identity;
    return false;
  }
  // From here on the file is closed: another program may do with it what it likes.
  facts.read = true;
  facts.identity = file.identity;
  MemoryByteSource source(file.bytes.get(), file.size);
  const PictureFacts picture = ReadPictureFacts(source);
  facts.format = picture.format;
  facts.exifOrientation = picture.exifOrientation;
  facts.orientationFound = picture.orientationFound;
  // Too large a picture crashes inside the decoders; refused, it fails like an undecodable file.
  if (!HeaderFitsDecoder(picture.header)) return false;
  if (cancelled != nullptr && cancelled->load(std::memory_order_relaxed)) return false;
  const auto display = DisplayProfileBytes(target);
  const EncodedPicture encoded{file.bytes.get(), file.size, &picture, display.get(), cancelled};
  bool decoded = false;
  if (beside == nullptr) {
    decoded = DecodeByFormat(encoded, image);
  } else {
    struct FinishOnEveryPath {
      BesideDecode* work;
      ~FinishOnEveryPath() { work->Finish(); }
    };
    beside->Start(encoded);
    const FinishOnEveryPath finish{beside};
    decoded = DecodeByFormat(encoded, image);
  }
  if (decoded && IsAnimation(file.bytes.get(), file.size)) {
    facts.animation = std::make_shared<const FileBytes>(std::move(file));
  }
  return decoded;
}

bool DecodeFileToImage(const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled) {
  DecodeFacts facts;
  return DecodeFile(path, DisplayTargetOf(nullptr), image, facts, cancelled);
}

bool DecodeWithImagingLibrary(const std::wstring& path, CImage& image) {
  image.Destroy();
  FileBytes file;
  return ReadWholeFile(path, file) && DecodeBytesWithImagingLibrary(file.bytes.get(), file.size, image);
}

bool ReadOrientationOf(const std::wstring& path, int32_t& exifOrientation) {
  FileBytes file;
  if (!ReadWholeFile(path, file)) return false;
  MemoryByteSource source(file.bytes.get(), file.size);
  const PictureFacts picture = ReadPictureFacts(source);
  exifOrientation = picture.exifOrientation;
  return picture.orientationFound;
}

FileDecodeOutcome DecodeFileWith(FileDecodeOutcome (*decoder)(const EncodedPicture& picture, CImage& image),
                                 const std::wstring& path, CImage& image, const std::atomic<bool>* cancelled) {
  image.Destroy();
  FileBytes file;
  if (!ReadWholeFile(path, file)) return FileDecodeOutcome::kNotTaken;
  MemoryByteSource source(file.bytes.get(), file.size);
  const PictureFacts picture = ReadPictureFacts(source);
  const auto display = DisplayProfileBytes(DisplayTargetOf(nullptr));
  const EncodedPicture encoded{file.bytes.get(), file.size, &picture, display.get(), cancelled};
  return decoder(encoded, image);
}
