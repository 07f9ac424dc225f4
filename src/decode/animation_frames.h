// The frames of an animated picture, whatever its format, composed one after another over the
// whole canvas as the format defines (disposal, blending, frame rectangles), read from the file's
// bytes in memory. One implementation per format, under decode/<format>/; the animation in the
// window (browse/win32/animation) plays any of them. Platform-free.
//
// One object belongs to one thread at a time (the worker composes ahead); it keeps a pointer to
// the bytes, which must outlive it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Delays shorter than this are played as kShortFrameDelayMs, as browsers play them: files made for
// "as fast as possible" would otherwise spin the worker.
constexpr int32_t kShortestFrameDelayMs = 20;
constexpr int32_t kShortFrameDelayMs = 100;

// A frame's delay as played, from the file's delay in milliseconds.
inline int32_t PlayedDelayMs(int32_t ms) { return ms < kShortestFrameDelayMs ? kShortFrameDelayMs : ms; }

class AnimationFrames {
 public:
  virtual ~AnimationFrames() = default;

  // Composes the next frame over the canvas. False at the end of a play or at a broken frame (the
  // canvas is then not a frame to show).
  virtual bool Next() = 0;
  // Back to the start for another play: the canvas empty, the first frame next.
  virtual bool Rewind() = 0;

  virtual int32_t Width() const = 0;
  virtual int32_t Height() const = 0;
  // The canvas after the last Next(): Width() x Height() pixels, top row first, rows packed, each
  // 32 bits 0xAARRGGBB, not premultiplied; transparent where nothing was drawn.
  virtual const uint32_t* Pixels() const = 0;
  // The last frame's delay as played (PlayedDelayMs applied).
  virtual int32_t DelayMs() const = 0;
  // How many times the whole animation plays: 0 for ever. Read once the first frame is composed.
  virtual int32_t Plays() const = 0;
  // True when every pixel is either opaque or transparent with all channels zero, so that the
  // canvas is premultiplied as it stands (a GIF's): the pass that premultiplies is skipped.
  virtual bool OpaqueOrClear() const { return false; }
  // The ICC profile the pixels' colours are in; empty when they are to be shown as they are.
  virtual std::vector<uint8_t> Profile() const { return {}; }
};

// The frames of the animation in these bytes, its canvas read; null when the bytes are no
// animation this viewer plays, or its canvas is empty or above the decode limit. Any thread.
std::unique_ptr<AnimationFrames> OpenAnimationFrames(const uint8_t* data, size_t size);

// True when the bytes are a picture of more than one frame that OpenAnimationFrames plays: cheap,
// no pixels decoded. Any thread.
bool IsAnimation(const uint8_t* data, size_t size);
