// The last picture the renderer composed, kept so that the picture area can be put back on the
// screen without drawing again (the window system does not keep window contents here).
// Owned by the picture view; window's thread only, like the renderer.
#pragma once
#include <windows.h>
#include <cstdint>
#include <vector>

#include "framework/gdi_handles.h"

// The frame bitmap, sized to the picture control.
class KeptFrame {
 public:
  KeptFrame() = default;
  KeptFrame(const KeptFrame&) = delete;
  KeptFrame& operator=(const KeptFrame&) = delete;

  // A bitmap of exactly width x height compatible with dc: the kept one when its size matches,
  // else a new one. Null when it cannot be made (the old frame is then kept).
  HBITMAP Ensure(HDC dc, int32_t width, int32_t height);
  HBITMAP Handle() const { return bitmap_.Get(); }
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }

 private:
  Bitmap bitmap_;
  int32_t width_ = 0;
  int32_t height_ = 0;
};

// Copies the frame's pixels, top row first, as 0x00RRGGBB values. False when none is kept.
// For tests and tools that check what was drawn without reading the screen.
bool ReadKeptFrame(const KeptFrame& frame, std::vector<uint32_t>& pixels, int32_t& width, int32_t& height);
