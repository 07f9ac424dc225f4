// Shared by the fuzz targets of the decoders that read in order: the input handed over in short
// reads whose size depends on it, so every refill boundary is reached, and a check that aborts.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "checks.h"
#include "decode/byte_reader.h"

class ShortReads final : public SequentialByteReader {
 public:
  ShortReads(const uint8_t* data, size_t size) : data_(data), size_(size), chunk_(1 + size % 4093) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    size_t n = size_ - at_;
    if (n > capacity) n = capacity;
    if (n > chunk_) n = chunk_;
    if (n > 0) std::memcpy(buffer, data_ + at_, n);
    at_ += n;
    return n;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t chunk_;
  size_t at_ = 0;
};
