#include "decode/win32/buffered_file_reader.h"

#include <cstring>

#include "imagelist/long_path.h"

namespace {

constexpr size_t kBufferBytes = 256 * 1024;

}  // namespace

BufferedFileReader::BufferedFileReader(const std::wstring& path)
    : file_(CreateFileW(FileSystemPath(path).c_str(), GENERIC_READ,
                        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                        FILE_FLAG_SEQUENTIAL_SCAN, nullptr)),
      buffer_(new uint8_t[kBufferBytes]) {}

bool BufferedFileReader::Fill() {
  if (start_ > 0) {
    std::memmove(buffer_.get(), buffer_.get() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  DWORD got = 0;
  if (!file_ || end_ == kBufferBytes ||
      !ReadFile(file_.Get(), buffer_.get() + end_, static_cast<DWORD>(kBufferBytes - end_), &got, nullptr) || got == 0) {
    return false;
  }
  end_ += got;
  return true;
}

bool BufferedFileReader::StartsWith(const void* signature, size_t length) {
  while (end_ - start_ < length) {
    if (!Fill()) return false;
  }
  return std::memcmp(buffer_.get() + start_, signature, length) == 0;
}

size_t BufferedFileReader::Read(uint8_t* buffer, size_t capacity) noexcept {
  if (capacity == 0 || !file_) return 0;
  if (start_ == end_) {
    // Large reads go straight to the caller's memory (rows of a bitmap), without a copy.
    if (capacity >= kBufferBytes) {
      const DWORD wanted = capacity > MAXDWORD ? MAXDWORD : static_cast<DWORD>(capacity);
      DWORD got = 0;
      return ReadFile(file_.Get(), buffer, wanted, &got, nullptr) ? got : 0;
    }
    start_ = end_ = 0;
    if (!Fill()) return 0;
  }
  const size_t count = capacity < end_ - start_ ? capacity : end_ - start_;
  std::memcpy(buffer, buffer_.get() + start_, count);
  start_ += count;
  return count;
}
