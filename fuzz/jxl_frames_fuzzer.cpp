// libFuzzer target: any bytes through the JPEG XL frame composer the way the animation plays them
// (libjxl's coalesced frames one after another, then a second play from a new decoder), with its
// invariants: delays are at least the shortest honoured, frame indices count up, a second play
// repeats the first frame, and a file that composes two frames is one the cheap animation test
// (headers alone) calls an animation.
// Seeds (fuzz/corpus/jxl_frames/) are tiny animations cjxl made from a three-frame GIF of
// ImageMagick's (see the WebP frame fuzzer), lossless (-d 0) and lossy (-d 2); animated.jxl is the
// JPEG XL fuzzer's.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "frame_play.h"
#include "decode/jxl/jxl_frames.h"

namespace {

// Pictures larger than this are refused by Open, so huge canvases do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 18;
constexpr int32_t kMostFrames = 50;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  JxlFrames frames;
  if (!frames.Open(data, size, kMaxPixels)) return 0;
  Require(frames.Width() > 0 && frames.Height() > 0, "canvas size");
  const size_t pixels = static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height());
  Require(pixels <= kMaxPixels, "canvas bound");
  Require(frames.Plays() >= 0, "plays");
  const int32_t composed = PlayTwice(frames, kMostFrames, [](int32_t) {});
  if (composed >= 2) Require(IsAnimatedJxl(data, size), "two frames composed: an animation");
  return 0;
}
