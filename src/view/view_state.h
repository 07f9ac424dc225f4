// The one process-wide record of what the picture area shows. Plain values only, so the
// platform-free code and its tests use it as the viewer does.
#pragma once
#include <cstdint>

#include "view/rects.h"

struct ViewState {
  float zoom;           // 1.0 exactly means the fitted view
  float panX;           // added to the zoomed position, client pixels
  float panY;
  int32_t zoomAnchorX;  // client point that stays put while zooming
  int32_t zoomAnchorY;
  int32_t dragging;
  int32_t dragLastX;
  int32_t dragLastY;
  int32_t backgroundLevel;  // 250 (light) or 0 (dark)
  int32_t fullScreen;
  int32_t savedStyle;       // window style saved on entering full screen
  EdgeRect savedWindowRect;
  EdgeRect windowRect;      // last normal outer rectangle; kept by the settings file
  int32_t slideshowRunning;
  int32_t loadFailed;
  int32_t alphaPrepared;
};

// Zero-initialised before any code runs (static storage), as the viewer expects.
extern ViewState viewState;

// The default normal rectangle the window initialisation stores before the settings apply.
constexpr EdgeRect kDefaultWindowRect{200, 200, 768, 536};
constexpr int32_t kLightBackground = 250;
constexpr int32_t kDarkBackground = 0;

// The values the window initialisation stores once the start file has been taken.
void SetInitialViewState(ViewState& state);
