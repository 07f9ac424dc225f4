#include "decode/byte_cursor.h"

#include <algorithm>
#include <cstring>

bool MemoryByteSource::ReadAt(uint64_t offset, uint8_t* buffer, size_t count) {
  if (offset > size_ || count > size_ - offset) return false;
  if (count != 0) std::memcpy(buffer, bytes_ + offset, count);
  return true;
}

// Caches the window that starts at offset: as much of kWindowBytes as the source still has.
bool ByteCursor::Fill(uint64_t offset) {
  windowLength_ = 0;
  if (offset >= size_) return false;
  const size_t length = static_cast<size_t>(std::min<uint64_t>(kWindowBytes, size_ - offset));
  if (!source_.ReadAt(offset, window_, length)) return false;
  windowStart_ = offset;
  windowLength_ = length;
  return true;
}

bool ByteCursor::Read(uint64_t offset, uint8_t* out, size_t count) {
  if (!Holds(offset, count)) return false;
  if (count == 0) return true;
  if (count > kWindowBytes) return source_.ReadAt(offset, out, count);
  const bool cached = windowLength_ != 0 && offset >= windowStart_ &&
                      offset - windowStart_ + count <= windowLength_;
  if (!cached && !Fill(offset)) return false;
  // Fill starts at offset and Holds() guaranteed the bytes exist, so they are in the window.
  std::memcpy(out, window_ + (offset - windowStart_), count);
  return true;
}

bool ByteCursor::U8(uint64_t offset, uint32_t& value) {
  uint8_t b = 0;
  if (!Read(offset, &b, 1)) return false;
  value = b;
  return true;
}

bool ByteCursor::U16(uint64_t offset, Endian order, uint32_t& value) {
  uint8_t b[2];
  if (!Read(offset, b, 2)) return false;
  value = order == Endian::kBig ? (uint32_t{b[0]} << 8) | b[1] : (uint32_t{b[1]} << 8) | b[0];
  return true;
}

bool ByteCursor::U32(uint64_t offset, Endian order, uint32_t& value) {
  uint8_t b[4];
  if (!Read(offset, b, 4)) return false;
  value = 0;
  for (int i = 0; i < 4; ++i) value = (value << 8) | b[order == Endian::kBig ? i : 3 - i];
  return true;
}

bool ByteCursor::U64(uint64_t offset, Endian order, uint64_t& value) {
  uint8_t b[8];
  if (!Read(offset, b, 8)) return false;
  value = 0;
  for (int i = 0; i < 8; ++i) value = (value << 8) | b[order == Endian::kBig ? i : 7 - i];
  return true;
}

bool ByteCursor::Find(uint64_t from, uint8_t value, bool equal, uint64_t maxScan, uint64_t& at) {
  if (from >= size_) return false;
  const uint64_t end = from + std::min(maxScan, size_ - from);
  uint64_t offset = from;
  while (offset < end) {
    const bool cached = windowLength_ != 0 && offset >= windowStart_ && offset - windowStart_ < windowLength_;
    if (!cached && !Fill(offset)) return false;
    const size_t first = static_cast<size_t>(offset - windowStart_);
    const size_t last = static_cast<size_t>(std::min<uint64_t>(windowLength_, end - windowStart_));
    for (size_t i = first; i < last; ++i) {
      if ((window_[i] == value) == equal) {
        at = windowStart_ + i;
        return true;
      }
    }
    offset = windowStart_ + last;
  }
  return false;
}
