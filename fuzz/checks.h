// Shared by the fuzz targets: a check that aborts (libFuzzer then keeps the input as a crash), and
// the input as a byte source that aborts when a reader asks for bytes outside it and counts what
// it was asked for.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/image_header.h"

inline void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

class CheckedSource : public ByteSource {
 public:
  CheckedSource(const uint8_t* data, size_t size) : memory_(data, size), size_(size) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, uint8_t* buffer, size_t count) override {
    Require(offset <= size_ && count <= size_ - offset, "read inside the source");
    ++reads;
    bytes += count;
    return memory_.ReadAt(offset, buffer, count);
  }
  uint64_t reads = 0;
  uint64_t bytes = 0;

 private:
  MemoryByteSource memory_;
  uint64_t size_;
};
