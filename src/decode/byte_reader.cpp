#include "decode/byte_reader.h"

#include <cstring>

size_t MemoryByteReader::Read(uint8_t* buffer, size_t capacity) noexcept {
  const size_t count = capacity < left_ ? capacity : left_;
  if (count == 0) return 0;
  std::memcpy(buffer, bytes_, count);
  bytes_ += count;
  left_ -= count;
  return count;
}
