// A file read front to back through a buffer of its own, for the decoders that take their bytes
// in order (few, large reads instead of many small ones; no whole-file buffer).
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "decode/byte_reader.h"
#include "framework/unique_handle.h"

// Owns its handle and buffer; used by one thread at a time.
class BufferedFileReader final : public SequentialByteReader {
 public:
  // Opens path for reading, shared for reading, writing and deleting, so the viewer never stands
  // in anyone's way.
  explicit BufferedFileReader(const std::wstring& path);
  bool IsOpen() const { return static_cast<bool>(file_); }
  // True when the file starts with these bytes; reads nothing away.
  bool StartsWith(const void* signature, size_t length);
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override;

 private:
  bool Fill();

  KernelHandle file_;
  std::unique_ptr<uint8_t[]> buffer_;
  size_t start_ = 0;  // first unread byte in buffer_
  size_t end_ = 0;    // one past the last byte in buffer_
};
