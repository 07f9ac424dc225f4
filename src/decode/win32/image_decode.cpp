#include "decode/win32/image_decode.h"

#include <cstring>
#include <memory>

#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/animation_frames.h"
#include "decode/win32/file_bytes.h"
#include "decode/win32/format_decoders.h"
#include "decode/win32/imaging_library.h"

namespace {

// An animated GIF's first frame, composed as its later frames will be. The imaging library
// decodes every frame of a GIF before it gives the first, which for a long animation takes
// longer than the frame's whole time on the screen.
bool DecodeFirstFrame(const uint8_t* data, size_t size, CImage& image) {
  std::unique_ptr<AnimationFrames> frames = OpenAnimationFrames(data, size);
  if (!frames || !frames->Next() || !image.Create(frames->Width(), frames->Height(), 32, true)) return false;
  const size_t width = static_cast<size_t>(frames->Width());
  for (int32_t y = 0; y < frames->Height(); ++y) {
    std::memcpy(image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch(), frames->Pixels() + static_cast<size_t>(y) * width,
                width * 4);
  }
  image.MarkPixelsChanged();
  return true;
}

}  // namespace

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
  const bool animation = IsAnimation(file.bytes.get(), file.size);
  if (animation && picture.format == PictureFormat::kGif) {
    decoded = DecodeFirstFrame(file.bytes.get(), file.size, image);
  } else if (beside == nullptr) {
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
  if (decoded && animation) {
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
