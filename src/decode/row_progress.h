// How a decoder tells another thread how many rows it has finished, top row first.
#pragma once
#include <cstdint>

// Called on the decoding thread, after each batch of rows; must not throw.
class RowProgress {
 public:
  virtual void RowsWritten(int32_t rows) noexcept = 0;

 protected:
  ~RowProgress() = default;
};
