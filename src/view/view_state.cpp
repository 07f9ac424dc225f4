#include "view/view_state.h"

ViewState viewState;

void SetInitialViewState(ViewState& state) {
  state.backgroundLevel = kLightBackground;
  state.fullScreen = 0;
  state.loadFailed = 0;
  state.zoom = 1.0f;
  state.panX = 0.0f;
  state.panY = 0.0f;
  state.dragging = 0;
  state.zoomAnchorX = 0;
  state.zoomAnchorY = 0;
  state.slideshowRunning = 0;
}
