// libFuzzer target: any bytes through the animated WebP frame composer the way the animation
// plays them (every frame composed over one canvas, then a second play from the start), with its
// invariants: delays are at least the shortest honoured, frame indices count up to no more than
// the demuxer's frame count, a second play repeats the first frame, and a file that composes two
// frames is one the cheap animation test (chunk headers alone) calls an animation.
// Seeds (fuzz/corpus/webp_frames/) are tiny three-frame animations (opaque, clear with a square,
// half-clear) made by Debian's encoders from PNGs ImageMagick writes, e.g.
//   convert -size 8x6 xc:red a.png (and xc:none with a rectangle, xc:'rgba(0,255,0,0.5)')
//   img2webp -loop 2 -d 50 a.png -d 10 b.png -d 200 c.png -o lossless.webp (also -lossy, -mixed)
//   gif2webp of the same frames as a GIF; animated.webp is the WebP fuzzer's.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "frame_play.h"
#include "decode/webp/webp_frames.h"

namespace {

// Canvases larger than this are refused by Open, so huge canvases do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;
constexpr int32_t kMostFrames = 300;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  WebpFrames frames;
  if (!frames.Open(data, size, kMaxPixels)) return 0;
  Require(frames.Width() > 0 && frames.Height() > 0, "canvas size");
  const size_t pixels = static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height());
  Require(pixels <= kMaxPixels, "canvas bound");
  Require(frames.Plays() >= 0, "plays");
  const int32_t composed = PlayTwice(frames, kMostFrames, [&](int32_t) {
    Require(frames.FrameIndex() < frames.FrameCount(), "no more frames than the demuxer lists");
    uint32_t mix = 0;  // every pixel read, for AddressSanitizer to see the canvas whole
    for (size_t i = 0; i < pixels; ++i) mix ^= frames.Pixels()[i];
    (void)mix;
  });
  if (composed >= 2) Require(IsAnimatedWebp(data, size), "two frames composed: an animation");
  return 0;
}
