// Animated PNG test pictures written chunk by chunk (zlib compresses each frame), so tests can make
// every kind of frame no encoder at hand writes. Platform-free.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// One frame: its rectangle on the canvas, its delay (numerator / denominator seconds), dispose_op
// (0 none, 1 background, 2 previous), blend_op (0 source, 1 over), and its pixel (x, y),
// frame-relative: 0xAARRGGBB, or a palette index in a palette file.
struct ApngFrameSpec {
  int32_t left = 0, top = 0, width = 0, height = 0;
  uint16_t delayNumerator = 1, delayDenominator = 10;
  uint8_t dispose = 0, blend = 0;
  std::function<uint32_t(int32_t, int32_t)> pixel;
};

struct ApngOptions {
  uint32_t plays = 0;
  uint32_t declaredFrames = 0;  // acTL's count; 0: the frames given
  // Empty: 8-bit RGBA. Else a palette file: each entry 0xAARRGGBB (PLTE, and tRNS for the alphas).
  std::vector<uint32_t> palette;
  // Set: the default image (canvas-sized) is no frame, written before the first frame's control.
  std::function<uint32_t(int32_t, int32_t)> hiddenDefault;
};

std::vector<uint8_t> EncodeApng(int32_t width, int32_t height, const std::vector<ApngFrameSpec>& frames,
                                const ApngOptions& options);
