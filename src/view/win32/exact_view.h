// The exact views of a large picture, averaged on the worker from the full-size picture: the
// visible part of a zoomed view once input pauses, the fitted copy for a new picture-area size,
// and the halving levels of a picture shown without them. The window's thread draws a quick view
// at once (from a level or the fitted copy) and puts the exact one in its place when it arrives.
//
// Window's thread only (checked), except the tasks, which read the picture through a PixelHold
// and write only images of their own. What is asked is recorded in PictureView::exact.
#pragma once
#include <windows.h>
#include <cstdint>
#include <functional>

#include "picture/win32/dib_image.h"
#include "view/zoom_levels.h"

class PictureView;

// What the worker made: output pixels [window] of the picture averaged to drawnWidth x
// drawnHeight, 32-bit (premultiplied alpha when withAlpha). For a whole drawn rectangle it is a
// fitted copy.
struct ExactPart {
  uint64_t sourceRevision = 0;
  bool withAlpha = false;
  int32_t drawnWidth = 0;
  int32_t drawnHeight = 0;
  DrawnWindow window{};
  CImage image;  // the window's size; empty when it could not be made
};

// Asks for the exact part; `deliver` runs on the window's thread with it, unless another request
// or CancelExactPart came first (only the latest request is ever delivered). Returns the
// request's serial.
uint64_t RequestExactPart(PictureView& view, const CImage& picture, int32_t drawnWidth, int32_t drawnHeight,
                          const DrawnWindow& window, bool withAlpha, std::function<void(ExactPart&)> deliver);
void CancelExactPart(PictureView& view);
// The serial of the request still on its way, or 0.
uint64_t ExactPartAsked(const PictureView& view);

// Asks for the halving levels of currentImage down to about the fitted size, unless they are
// there or already asked for; they become the shown picture's levels when they arrive and the
// picture is still shown. kNow puts the job before the neighbours' preparation.
enum class LevelsUrgency { kAfterNeighbours, kNow };
void RequestCurrentLevels(PictureView& view, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                          LevelsUrgency urgency);

// The shown picture is being replaced: work asked for it that has not started is dropped.
void CancelExactViewJobs(PictureView& view);
