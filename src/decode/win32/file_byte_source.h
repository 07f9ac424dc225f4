// A file read at explicit offsets, for the header readers and the decoders that take a ByteSource.
#pragma once
#include <string>

#include "framework/unique_handle.h"
#include "decode/image_header.h"

// Owns its handle (opened for reading, shared with readers, writers and deleters); one thread at
// a time. For header checks that read a few bytes; the decode reads the file once, whole.
class FileByteSource : public ByteSource {
 public:
  explicit FileByteSource(const std::wstring& path);
  bool IsOpen() const { return static_cast<bool>(file_); }
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override;

 private:
  KernelHandle file_;
  uint64_t size_ = 0;
};
