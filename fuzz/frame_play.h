// Shared by the animation fuzz targets: an opened frame composer played the way the viewer plays
// it (every frame composed over one canvas, up to a bound, then a second play from the start),
// with the invariants every composer keeps: frame indices count up from 0, delays are at least the
// shortest honoured, and a second play repeats the first frame. eachFrame(composed) runs on every
// composed frame for the target's own checks, beforeReplay(composed) once the first play ended.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "checks.h"
#include "decode/animation_frames.h"

// Returns how many frames the first play composed.
template <typename Frames, typename EachFrame, typename BeforeReplay>
int32_t PlayTwice(Frames& frames, int32_t mostFrames, EachFrame&& eachFrame, BeforeReplay&& beforeReplay) {
  const size_t pixels = static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height());
  int32_t composed = 0;
  std::vector<uint32_t> first;
  while (composed < mostFrames && frames.Next()) {
    Require(frames.FrameIndex() == composed, "frame index counts up");
    Require(frames.DelayMs() >= kShortestFrameDelayMs, "delay floor");
    Require(frames.Pixels() != nullptr, "a canvas");
    eachFrame(composed);
    if (composed == 0) first.assign(frames.Pixels(), frames.Pixels() + pixels);
    ++composed;
  }
  beforeReplay(composed);
  if (composed > 0) {
    Require(frames.Rewind(), "rewind");
    Require(frames.Next(), "the first frame again");
    Require(std::vector<uint32_t>(frames.Pixels(), frames.Pixels() + pixels) == first, "same first frame");
  }
  return composed;
}

template <typename Frames, typename EachFrame>
int32_t PlayTwice(Frames& frames, int32_t mostFrames, EachFrame&& eachFrame) {
  return PlayTwice(frames, mostFrames, eachFrame, [](int32_t) {});
}
