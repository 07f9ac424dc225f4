// The frames of an animated PNG (APNG), composed one after another over the whole canvas exactly
// as APNG defines them: each frame's rectangle inside the canvas, blended over what is there or
// replacing it, then disposed of (kept, cleared to transparent, or restored to what was there
// before). Our own walk over the chunks finds each frame's control (fcTL) and data (the IDAT when
// the default image is the first frame, fdAT otherwise); libspng decodes each frame's data as a
// small PNG of its own, made in memory with the file's header, palette and transparency.
// Platform-free.
//
// Bounded for hostile files: the canvas must fit the decode limit; a frame never exceeds the
// canvas (one that would is a broken file), so one frame's decode costs at most the canvas and the
// bytes it holds; what is held is the canvas, the region a "previous" frame covers, and one
// frame's data and pixels. The declared frame count costs nothing until frames are composed.
//
// One object belongs to one thread at a time; it keeps a pointer to the bytes, which must outlive
// it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/decode_limit.h"

// What the chunks up to the first image data say about a PNG.
struct ApngLayout {
  int32_t width = 0;
  int32_t height = 0;
  uint8_t depth = 0;
  uint8_t colourType = 0;
  uint8_t interlace = 0;
  uint32_t frames = 0;  // acTL's frame count; 0 without one: a still PNG
  uint32_t plays = 0;   // acTL's play count; 0 for ever
  bool defaultImageIsFrame = false;  // an fcTL came before the first IDAT
  // The PLTE and tRNS chunks, whole (length, type, data, CRC), to copy into each frame's PNG.
  size_t paletteAt = 0, paletteBytes = 0;
  size_t transparencyAt = 0, transparencyBytes = 0;
};

// False for bytes that are no PNG with a valid IHDR first. Any thread.
bool ReadApngLayout(const uint8_t* data, size_t size, ApngLayout& layout);

// True when the bytes are an APNG of more than one frame: cheap, no pixels decoded. Any thread.
bool IsAnimatedPng(const uint8_t* data, size_t size);

// True for an APNG whose default image (its IDAT) is no frame of it: what shows is then its
// first frame, not the default image. Any thread.
bool ApngHidesDefaultImage(const uint8_t* data, size_t size);

// A frame's delay as played, from its fraction of a second (a denominator of 0 means 100).
int32_t ApngDelayMs(uint32_t numerator, uint32_t denominator);

class ApngFrames final : public AnimationFrames {
 public:
  // Reads the header and the animation control. False for bytes that are no APNG (no acTL before
  // the image data, or no frames), or a canvas above mostPixels (the decode limit by default).
  bool Open(const uint8_t* data, size_t size, uint64_t mostPixels = kMaxDecodedPixels);
  // Composes the next frame. False after the last frame or at a broken one (Broken() tells which;
  // the canvas is then not a frame to show).
  bool Next() override;
  bool Rewind() override;

  int32_t Width() const override { return layout_.width; }
  int32_t Height() const override { return layout_.height; }
  const uint32_t* Pixels() const override { return canvas_.data(); }
  int32_t DelayMs() const override { return delayMs_; }
  int32_t Plays() const override;
  int32_t FrameIndex() const { return frameIndex_; }  // of the last frame composed, from 0
  bool Broken() const { return broken_; }

 private:
  struct Control {
    uint32_t width = 0, height = 0, left = 0, top = 0;
    uint32_t delayNumerator = 0, delayDenominator = 0;
    uint8_t dispose = 0, blend = 0;
  };
  bool ReadControl(const uint8_t* body, uint32_t length, Control& control);
  void StartFramePng(const Control& control);
  void AddFrameData(const uint8_t* bytes, size_t count);
  bool DecodeFramePng(const Control& control);
  void DisposeLast();
  void Blend(const Control& control);
  bool Fail();

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  ApngLayout layout_;
  std::vector<uint32_t> canvas_;
  std::vector<uint32_t> saved_;  // the region under a frame disposed of to "previous"
  std::vector<uint8_t> png_;     // the frame's own PNG
  std::vector<uint8_t> rgba_;    // the frame decoded: red, green, blue, alpha bytes
  size_t at_ = 0;                // the next chunk to read
  uint32_t sequence_ = 0;        // the sequence number the next fcTL or fdAT must carry
  bool imageDataSeen_ = false;
  Control last_;  // the last frame composed: its disposal applies before the next one
  int32_t delayMs_ = 0;
  int32_t frameIndex_ = -1;
  bool broken_ = false;
};
