// Truncation toward zero of a floating-point value that may lie far outside the 32-bit range
// (a huge zoom or pan, a hostile EXIF rational): saturates instead of being undefined.
// Platform-free; shared by every subsystem.
#pragma once
#include <cstdint>

template <class Float>
constexpr int32_t SaturatingTruncate(Float v) {
  if (!(v == v)) return 0;  // NaN
  if (v >= static_cast<Float>(2147483648.0)) return INT32_MAX;
  if (v <= static_cast<Float>(-2147483648.0)) return INT32_MIN;
  return static_cast<int32_t>(v);
}
