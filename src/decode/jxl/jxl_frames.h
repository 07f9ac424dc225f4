// The frames of an animated JPEG XL picture (a bare codestream or a container), composed over the
// whole canvas by libjxl itself (its coalesced frames: blending, crops and frames that are not
// shown are libjxl's business), 8-bit and turned upright by the codestream's orientation like the
// still decode's first frame. Platform-free.
//
// Bounded for hostile files: our own size header reader sizes the picture, which must fit the
// decode limit at libjxl's widest pixel, before libjxl sees the bytes; one canvas of 32-bit
// pixels is held beside libjxl's own state. libjxl runs on the calling thread alone.
//
// One object belongs to one thread at a time; it keeps a pointer to the bytes, which must outlive
// it.
#pragma once
#include <jxl/decode_cxx.h>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/decode_limit.h"

// True when the bytes are a JPEG XL animation of at least two frames: only headers are read,
// libjxl skipping the frames' pixels. Any thread.
bool IsAnimatedJxl(const uint8_t* data, size_t size);

// A frame's duration in milliseconds from its ticks and the animation's ticks per second
// (numerator / denominator), before PlayedDelayMs; clamped to what an int32 holds.
int32_t JxlDurationMs(uint32_t ticks, uint32_t tpsNumerator, uint32_t tpsDenominator);

class JxlFrames final : public AnimationFrames {
 public:
  JxlFrames() = default;
  JxlFrames(const JxlFrames&) = delete;
  JxlFrames& operator=(const JxlFrames&) = delete;

  // Reads the headers up to the colour encoding. False for bytes that are no JPEG XL animation,
  // or a picture above mostPixels or the decode limit.
  bool Open(const uint8_t* data, size_t size, uint64_t mostPixels = kMaxDecodedPixels);
  bool Next() override;
  // Starts again with a new decoder over the same bytes.
  bool Rewind() override;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  const uint32_t* Pixels() const override { return canvas_.data(); }
  int32_t DelayMs() const override { return delayMs_; }
  // The animation header's loop count: 0 for ever, else that many plays.
  int32_t Plays() const override { return plays_; }
  // The profile of the decoded pixels: empty for sRGB (a lossy picture is asked for sRGB).
  std::vector<uint8_t> Profile() const override { return profile_; }
  int32_t FrameIndex() const { return frameIndex_; }  // of the last frame composed, from 0

 private:
  // A new decoder handed the whole file, run up to the colour encoding.
  bool Start();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  JxlDecoderPtr decoder_;
  std::vector<uint32_t> canvas_;
  std::vector<uint8_t> profile_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  uint32_t tpsNumerator_ = 0;
  uint32_t tpsDenominator_ = 0;
  int32_t delayMs_ = 0;
  int32_t plays_ = 0;
  int32_t frameIndex_ = -1;
  bool broken_ = false;
};
