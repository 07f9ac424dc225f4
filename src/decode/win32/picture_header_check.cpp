#include "decode/win32/picture_header_check.h"

#include <windows.h>

#include "decode/decode_limit.h"
#include "framework/unique_handle.h"
#include "imagelist/long_path.h"

namespace {

// A file read at explicit offsets. Owns its handle; one thread at a time.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(const std::wstring& path)
      : file_(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)) {
    LARGE_INTEGER size{};
    if (file_ && GetFileSizeEx(file_.Get(), &size) && size.QuadPart > 0) {
      size_ = static_cast<uint64_t>(size.QuadPart);
    }
  }

  bool IsOpen() const { return static_cast<bool>(file_); }
  uint64_t Size() const override { return size_; }

  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    while (count > 0) {
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      const DWORD chunk = count > 0x10000000 ? 0x10000000 : static_cast<DWORD>(count);
      DWORD read = 0;
      if (!ReadFile(file_.Get(), buffer, chunk, &read, &at) || read == 0) return false;
      buffer += read;
      offset += read;
      count -= read;
    }
    return true;
  }

 private:
  KernelHandle file_;
  uint64_t size_ = 0;
};

}  // namespace

PictureHeader ReadFileHeader(const std::wstring& path) {
  FileByteSource source(path);
  if (!source.IsOpen()) return PictureHeader{};
  return ReadPictureHeader(source);
}

bool PictureTooLargeToDecode(const std::wstring& path) { return !HeaderFitsDecoder(ReadFileHeader(path)); }
