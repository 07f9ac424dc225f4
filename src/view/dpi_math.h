// Integer scaling with the platform's MulDiv rounding, and conversions between device pixels
// and 96-dpi units for a given dpi.
#pragma once
#include <cstdint>

// number x numerator / denominator through a 64-bit intermediate, rounded to nearest with
// halves away from zero; -1 for a zero denominator or a result outside 32 bits.
int32_t MulDivRounded(int32_t number, int32_t numerator, int32_t denominator);

// 96-dpi units to device pixels at dpi, and back.
inline int32_t ScaleForDpi(int32_t v, int32_t dpi) { return MulDivRounded(v, dpi, 96); }
inline int32_t UnscaleForDpi(int32_t v, int32_t dpi) { return MulDivRounded(v, 96, dpi); }
