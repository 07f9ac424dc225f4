// Compressed bytes handed to a decoder in file order, so that no whole-file buffer is needed.
#pragma once
#include <cstddef>
#include <cstdint>

// Called only on the decoding thread.
class SequentialByteReader {
 public:
  // Copies up to capacity bytes into buffer; 0 at the end of the bytes or on a read error.
  virtual size_t Read(uint8_t* buffer, size_t capacity) noexcept = 0;

 protected:
  ~SequentialByteReader() = default;
};

// Bytes already in memory, borrowed: the caller keeps them alive while the reader is used.
class MemoryByteReader final : public SequentialByteReader {
 public:
  MemoryByteReader(const uint8_t* bytes, size_t size) : bytes_(bytes), left_(size) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override;

 private:
  const uint8_t* bytes_;
  size_t left_;
};
