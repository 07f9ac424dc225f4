// Bounded reads over a ByteSource for the header reader: every read is checked against the
// source's size before the source is asked, and small reads are served from one cached window,
// so walking thousands of tiny blocks costs few reads of the underlying file.
#pragma once
#include <cstddef>
#include <cstdint>

#include "decode/image_header.h"

enum class Endian { kLittle, kBig };

class ByteCursor {
 public:
  // The source is borrowed and must outlive the cursor. One thread at a time.
  explicit ByteCursor(ByteSource& source) : source_(source), size_(source.Size()) {}
  ByteCursor(const ByteCursor&) = delete;
  ByteCursor& operator=(const ByteCursor&) = delete;

  uint64_t Size() const { return size_; }
  // True when count bytes starting at offset lie inside the source (no overflow possible).
  bool Holds(uint64_t offset, uint64_t count) const { return offset <= size_ && count <= size_ - offset; }

  // Copies count bytes at offset; false when any of them lies outside the source or the source
  // fails to deliver them.
  bool Read(uint64_t offset, uint8_t* out, size_t count);
  bool U8(uint64_t offset, uint32_t& value);
  bool U16(uint64_t offset, Endian order, uint32_t& value);
  bool U32(uint64_t offset, Endian order, uint32_t& value);
  bool U64(uint64_t offset, Endian order, uint64_t& value);

  // The first offset at or after from, looking at no more than maxScan bytes, whose byte is
  // (or, with equal false, is not) value. False when none is found inside the source and bound.
  bool Find(uint64_t from, uint8_t value, bool equal, uint64_t maxScan, uint64_t& at);

 private:
  static constexpr size_t kWindowBytes = 16384;
  bool Fill(uint64_t offset);

  ByteSource& source_;
  uint64_t size_;
  uint8_t window_[kWindowBytes];
  uint64_t windowStart_ = 0;
  size_t windowLength_ = 0;  // 0: nothing cached
};
