// JPEG 2000 test pictures made by openjpeg's own encoder, losslessly, so a decode can be checked
// sample for sample. Platform-free; for the native and the Wine tests alike.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

enum class Jpeg2000Container { kJp2File, kCodestream };

struct Jpeg2000Options {
  int32_t width = 0;
  int32_t height = 0;
  int32_t components = 3;   // 1 grey, 2 grey + alpha, 3 RGB, 4 RGBA
  int32_t precision = 8;    // bits per sample, 1 to 16
  int32_t tileSize = 0;     // 0: one tile
  Jpeg2000Container container = Jpeg2000Container::kJp2File;
  int32_t compressionRatio = 0;     // 0: lossless; else the irreversible wavelet at this ratio
  std::vector<uint8_t> iccProfile;  // embedded in a JP2 file's colour box when not empty
};

// sample(x, y, component) gives each sample, within the precision. Empty on failure.
std::vector<uint8_t> EncodeJpeg2000(const Jpeg2000Options& options,
                                    const std::function<uint32_t(int32_t, int32_t, int32_t)>& sample);
