// The frames of an animated GIF, composed one after another over the whole canvas exactly as GIF
// defines them (each frame's rectangle clipped to the canvas, local or global colours, the
// transparent index, disposal to keep, to transparent or to the previous canvas, interlaced
// rows), read by giflib from the file's bytes in memory. Platform-free.
//
// Bounded for hostile files: the canvas must fit the decode limit; what is held is the canvas,
// a copy of it for "restore to previous", one row of indices and giflib's own small state; a
// frame that would take far more decoding than the canvas holds ends the play as a broken one.
//
// One object belongs to one thread at a time (the worker composes ahead); it keeps a pointer to
// the bytes, which must outlive it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/decode_limit.h"

struct GifFileType;

// The bytes giflib reads from, and how far it has read.
struct GifMemory {
  const uint8_t* data = nullptr;
  size_t size = 0;
  size_t at = 0;
};

// A frame's delay in milliseconds from its stored hundredths of a second.
int32_t GifDelayMs(int32_t hundredths);

// How many times the whole animation plays from its NETSCAPE2.0 loop count: absent (-1) once,
// 0 forever (returns 0), n: once and then n more times, as browsers do.
int32_t GifPlays(int32_t loopCount);

// Up to `most` image descriptors counted without decoding any pixels (their data is skipped);
// fewer when the file ends or breaks first. Any thread.
int32_t CountGifFrames(const uint8_t* data, size_t size, int32_t most);

// True when the bytes are a GIF of more than one frame: an animation. Any thread.
inline bool IsAnimatedGif(const uint8_t* data, size_t size) { return CountGifFrames(data, size, 2) >= 2; }

class GifFrames final : public AnimationFrames {
 public:
  GifFrames();
  ~GifFrames() override;
  GifFrames(const GifFrames&) = delete;
  GifFrames& operator=(const GifFrames&) = delete;

  // Reads the file's screen. False for bytes that are no GIF, or a canvas empty or above
  // mostPixels (the decode limit by default).
  bool Open(const uint8_t* data, size_t size, uint64_t mostPixels = kMaxDecodedPixels);
  // Composes the next frame over the canvas. False at the end of the file or at a broken frame
  // (Broken() tells which; the canvas is then not a frame to show).
  bool Next() override;
  // Back to the start for another play: the canvas empty, the first frame next.
  bool Rewind() override;

  int32_t Width() const override { return width_; }
  int32_t Height() const override { return height_; }
  // The canvas after the last Next(): Width() x Height() pixels, top row first, each 32 bits of
  // blue, green, red, alpha (0xAARRGGBB), not premultiplied; transparent where nothing was drawn.
  const uint32_t* Pixels() const override { return canvas_.data(); }
  int32_t DelayMs() const override { return delayMs_; }
  int32_t FrameIndex() const { return frameIndex_; }  // of the last frame composed, from 0
  // The NETSCAPE2.0 loop count once read (it comes before the first frame in practice); -1 when
  // the file has none.
  int32_t LoopCount() const { return loopCount_; }
  int32_t Plays() const override { return GifPlays(loopCount_); }
  bool OpaqueOrClear() const override { return true; }
  bool Broken() const { return broken_; }

 private:
  struct Control {
    int32_t disposal = 0;
    int32_t delayHundredths = 0;
    int32_t transparent = -1;
  };
  bool OpenFile();
  void CloseFile();
  bool ReadExtension(Control& control);
  bool ComposeImage(const Control& control);
  void DisposePrevious();

  GifMemory reader_;
  GifFileType* gif_ = nullptr;
  uint64_t mostPixels_ = 0;
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint32_t> canvas_;
  std::vector<uint32_t> saved_;  // the canvas before a frame that restores to previous
  std::vector<uint8_t> row_;
  // The last frame's disposal and its clipped rectangle, applied before the next one is drawn.
  int32_t lastDisposal_ = 0;
  int32_t lastLeft_ = 0, lastTop_ = 0, lastRight_ = 0, lastBottom_ = 0;
  int32_t delayMs_ = 0;
  int32_t frameIndex_ = -1;
  int32_t loopCount_ = -1;
  bool broken_ = false;
};
