// libFuzzer target: any bytes through the APNG frame composer the way the animation plays them
// (every frame composed over one canvas, then a second play from the start), with its invariants:
// no more frames than declared, delays at least the shortest honoured, frame indices count up, a
// second play repeats the first frame, and the cheap animation test agrees with Open. This build
// skips chunk CRCs and zlib's checksum, so mutated frames reach the decode and the composing.
// AddressSanitizer sees any access outside the canvas or the bytes.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "frame_play.h"
#include "decode/png/apng_frames.h"

namespace {

// Canvases larger than this are refused by Open, so huge headers do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;
constexpr int32_t kMostFrames = 300;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ApngLayout layout;
  const bool readable = ReadApngLayout(data, size, layout);
  Require(IsAnimatedPng(data, size) == (readable && layout.frames >= 2), "animation test agrees with the layout");
  ApngFrames frames;
  if (!frames.Open(data, size, kMaxPixels)) return 0;
  Require(readable && layout.frames >= 1, "opened only with an acTL");
  const size_t pixels = static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height());
  Require(frames.Width() > 0 && frames.Height() > 0 && pixels <= kMaxPixels, "canvas bound");
  const int32_t composed = PlayTwice(frames, kMostFrames, [](int32_t) {});
  Require(static_cast<uint32_t>(composed) <= layout.frames, "no more frames than declared");
  return 0;
}
