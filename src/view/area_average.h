// Exact area-average reduction of a picture to a smaller size, so that fitted pictures show every
// source pixel in proportion to the part of the output pixel it covers instead of aliasing.
//
// Output pixel (x, y) of a w x h output covers the source rectangle [x W/w, (x+1) W/w) x
// [y H/h, (y+1) H/h) of a W x H source, and gets the average of the source pixels weighted by
// how much of each that rectangle covers (a separable box filter with fractional edges). The
// weights are exact integers and the sums are exact, so the only error is the final rounding of
// each channel to the nearest level: every output channel is within kAreaAverageMaxError of the
// exact average computed with real numbers.
#pragma once
#include <cstdint>
#include <vector>

#include "view/area_weights.h"

// Largest difference, in levels of one 8-bit channel, between an output channel and the exact
// average: the rounding to the nearest level plus the double-precision division.
constexpr double kAreaAverageMaxError = 0.5 + 1e-6;

// Largest output side: the row weights must fit the 16-bit multipliers of the row pass.
constexpr int32_t kAreaAverageMaxTargetSide = 32767;
// Largest source height: 255 times it must fit a 32-bit accumulator.
constexpr int32_t kAreaAverageMaxSourceHeight = (1 << 23) - 1;
// Largest source width x height: 255 times it must stay below 2^53, so that the column pass's
// doubles hold every sum exactly. Far beyond any bitmap that fits in memory.
constexpr int64_t kAreaAverageMaxSourcePixels = int64_t{1} << 45;

// What the four bytes of the output mean.
enum class AverageMode {
  // Colour averaged, alpha 255, any stored alpha ignored: for the plain (stretched) path.
  kOpaque,
  // For the per-pixel alpha path. A 32-bit source holds premultiplied colours, so all four
  // channels are averaged alike (colour never exceeds alpha in the output); any other depth
  // has no alpha and gets 255. A 32-bit bitmap without meaningful alpha is reduced as opaque.
  kPremultipliedAlpha,
};

// The inner loops used. Both give identical results; the portable one is the plain reference
// and is what builds without SSE2 get.
enum class AverageKernel { kFastest, kPortable };

// A picture in memory as a device-independent bitmap stores it. Not owned.
struct SourcePixels {
  const uint8_t* topRow;  // first byte of the top row
  int32_t pitch;          // bytes from one row to the row below it; negative for bottom-up rows
  int32_t width;
  int32_t height;
  int32_t bitsPerPixel;  // 1, 4, 8 (colour table), 16 (5-5-5), 24 (B, G, R), 32 (B, G, R, A)
  // 256 entries of blue, green, red, 0 for depths of 8 or less; unused otherwise.
  const uint8_t* colourTable;
};

// The output: rows of blue, green, red, alpha. Not owned.
struct TargetPixels {
  uint8_t* topRow;
  int32_t pitch;  // may be negative, as for a bottom-up 32-bit DIB
  int32_t width;
  int32_t height;
};

// One reduction of a source to a target size. The tables are built once by the constructor;
// AverageRows can then be called for parts of the output, from any threads at once, as long as
// their row ranges do not overlap. The source pixels must stay alive and unchanged meanwhile.
class AreaAverager {
 public:
  AreaAverager(const SourcePixels& source, int32_t targetWidth, int32_t targetHeight, AverageMode mode,
               AverageKernel kernel = AverageKernel::kFastest);

  // False when the depth is not one listed above, a colour table is missing, or the sizes are
  // not 1 <= target <= source (with the limits above); the caller then draws some other way.
  bool Ok() const { return ok_; }
  int32_t TargetWidth() const { return targetWidth_; }
  int32_t TargetHeight() const { return targetHeight_; }

  // Writes output rows [firstRow, endRow) of target, which must be TargetWidth() x
  // TargetHeight(); any thread may call it. Allocates only row buffers of its own (16 bytes per
  // source column, plus 24 per column for depths below 24 bits), so concurrent calls share
  // nothing but what they read. Does nothing when !Ok() or the range is empty.
  void AverageRows(const TargetPixels& target, int32_t firstRow, int32_t endRow) const;
  // Writes only output columns [firstColumn, endColumn) of rows [firstRow, endRow), the same
  // pixels AverageRows writes there, into `window`: its pixel (0, 0) is output pixel
  // (firstColumn, firstRow) and it is exactly the window's size. Reads only the source pixels
  // those outputs cover (a zoomed view's visible part). Any thread, for windows that do not
  // overlap. Does nothing when !Ok() or the window is empty or outside the output.
  void AverageWindow(const TargetPixels& window, int32_t firstColumn, int32_t endColumn, int32_t firstRow,
                     int32_t endRow) const;

 private:
  // out points at output pixel (firstColumn, firstRow); rows are pitch bytes apart.
  void Average(uint8_t* out, int32_t pitch, int32_t firstRow, int32_t endRow, int32_t firstColumn,
               int32_t endColumn) const;

  SourcePixels source_;
  int32_t targetWidth_;
  int32_t targetHeight_;
  AverageMode mode_;
  AverageKernel kernel_;
  bool ok_ = false;
  AxisWeights columns_;
  AxisWeights rows_;
  std::vector<double> columnWeights_;  // columns_.weights as doubles, for the column pass
};
