// libFuzzer target: any bytes through the GIF frame composer the way the animation plays them
// (every frame composed over one canvas, then a second play from the start), with its invariants:
// every pixel is transparent or opaque, delays are at least the shortest honoured, frame indices
// count up, a second play repeats the first frame, and the frame count without decoding agrees
// with the frames composed. AddressSanitizer sees any write outside the canvas.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "frame_play.h"
#include "decode/gif/gif_frames.h"

namespace {

// Canvases larger than this are refused by Open, so huge screens do not exhaust memory.
constexpr uint64_t kMaxPixels = 1u << 20;
constexpr int32_t kMostFrames = 300;

void CheckCanvas(const GifFrames& frames) {
  const size_t n = static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height());
  for (size_t i = 0; i < n; ++i) {
    const uint32_t p = frames.Pixels()[i];
    Require(p == 0 || (p >> 24) == 0xFF, "transparent or opaque");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  GifFrames frames;
  if (!frames.Open(data, size, kMaxPixels)) return 0;
  Require(frames.Width() > 0 && frames.Height() > 0, "canvas size");
  Require(static_cast<uint64_t>(frames.Width()) * static_cast<uint64_t>(frames.Height()) <= kMaxPixels, "canvas bound");
  PlayTwice(frames, kMostFrames, [&](int32_t) { CheckCanvas(frames); }, [&](int32_t composed) {
    // Before the second play: whether the first ended on a broken frame is its own to tell.
    if (composed < kMostFrames && !frames.Broken()) {
      Require(CountGifFrames(data, size, kMostFrames) == composed, "frames counted as composed");
    }
  });
  return 0;
}
