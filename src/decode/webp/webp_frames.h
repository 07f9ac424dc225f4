// The frames of an animated WebP, composed over the whole canvas by libwebp's animation decoder
// (its demuxer, then each ANMF frame blended or not over the canvas and disposed to transparent
// as the file says), from the file's bytes in memory. Platform-free.
//
// Bounded for hostile files: our own header reader sizes the canvas, which must fit the decode
// limit at the two canvases libwebp keeps, before libwebp allocates anything; the demuxer refuses
// frames that reach outside the canvas, so a frame costs no more than the canvas to decode; the
// demuxer's frame list grows with the file's size alone. A play ends before the sum of its
// durations would pass libwebp's own 31-bit clock.
//
// One object belongs to one thread at a time; it keeps a pointer to the bytes, which must outlive
// it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/decode_limit.h"

struct WebPAnimDecoder;

// True when the bytes are an animated WebP of at least two frames: libwebp's demuxer reads the
// chunk headers and each frame's bitstream header, no pixels. Any thread.
bool IsAnimatedWebp(const uint8_t* data, size_t size);

class WebpFrames final : public AnimationFrames {
 public:
  WebpFrames();
  ~WebpFrames() override;
  WebpFrames(const WebpFrames&) = delete;
  WebpFrames& operator=(const WebpFrames&) = delete;

  // Reads the canvas and the frames' list. False for bytes that are no animated WebP libwebp
  // accepts whole, or a canvas above mostPixels or the decode limit.
  bool Open(const uint8_t* data, size_t size, uint64_t mostPixels = kMaxDecodedPixels);
  bool Next() override;
  bool Rewind() override;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  // libwebp's own canvas (blue, green, red, alpha in memory: 0xAARRGGBB), valid until the next
  // Next, Rewind or the object's end; null before the first frame.
  const uint32_t* Pixels() const override { return pixels_; }
  int32_t DelayMs() const override { return delayMs_; }
  // ANIM's loop count: 0 for ever, else that many plays, as browsers read it.
  int32_t Plays() const override { return loopCount_; }
  // The ICCP chunk when VP8X announces one.
  std::vector<uint8_t> Profile() const override { return profile_; }
  int32_t FrameIndex() const { return frameIndex_; }  // of the last frame composed, from 0
  int32_t FrameCount() const { return frameCount_; }

 private:
  struct DecoderDelete {
    void operator()(WebPAnimDecoder* decoder) const;
  };
  std::unique_ptr<WebPAnimDecoder, DecoderDelete> decoder_;
  std::vector<uint8_t> profile_;
  const uint32_t* pixels_ = nullptr;
  int32_t width_ = 0;
  int32_t height_ = 0;
  int32_t delayMs_ = 0;
  int32_t loopCount_ = 0;
  int32_t frameIndex_ = -1;
  int32_t frameCount_ = 0;
  int64_t playedMs_ = 0;  // the sum of this play's durations so far
  bool broken_ = false;   // a frame failed: the play is over
};
