#include "view/dpi_math.h"

int32_t MulDivRounded(int32_t number, int32_t numerator, int32_t denominator) {
  if (denominator == 0) return -1;
  int64_t product = static_cast<int64_t>(number) * numerator;
  int64_t divisor = denominator;
  if (divisor < 0) {
    divisor = -divisor;
    product = -product;
  }
  const int64_t half = divisor / 2;
  // Round the magnitude, then put the sign back: halves go away from zero.
  const int64_t magnitude = ((product < 0 ? -product : product) + half) / divisor;
  const int64_t result = product < 0 ? -magnitude : magnitude;
  if (result > INT32_MAX || result < INT32_MIN) return -1;
  return static_cast<int32_t>(result);
}
