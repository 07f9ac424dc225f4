#include "input/win32/zoom_pan.h"

#include "input/win32/cursor.h"
#include "input/zoom_steps.h"
#include "view/view_state.h"
#include "view/win32/picture_view.h"
#include "view/win32/render.h"

namespace {

void ApplyAnchor() {
  viewState.panX = PanForAnchor(viewState.zoomAnchorX, viewState.zoom);
  viewState.panY = PanForAnchor(viewState.zoomAnchorY, viewState.zoom);
}

}  // namespace

// The anchor is taken from the cursor only by the first step away from the fitted view.
void ZoomIn(PictureView& view) {
  HWND viewer = view.viewer;
  POINT cursor;
  if (viewState.zoom == 1.0f && ReadClientCursor(viewer, cursor)) {
    viewState.zoomAnchorX = cursor.x;
    viewState.zoomAnchorY = cursor.y;
  }
  viewState.zoom = ZoomInStep(viewState.zoom);
  if (ReadClientCursor(viewer, cursor)) ApplyAnchor();
  Redraw(view);
}

void ZoomOut(PictureView& view) {
  HWND viewer = view.viewer;
  viewState.zoom = ZoomOutStep(viewState.zoom);
  POINT cursor;
  if (ReadClientCursor(viewer, cursor)) ApplyAnchor();
  Redraw(view);
}

void OnPictureDoubleClick(PictureView& view) {
  HWND viewer = view.viewer;
  viewState.zoom = DoubleClickZoom(viewState.zoom);
  POINT cursor;
  if (ReadClientCursor(viewer, cursor)) {
    viewState.zoomAnchorX = cursor.x;
    viewState.zoomAnchorY = cursor.y;
    ApplyAnchor();
  }
  Redraw(view);
}

void DragPan(PictureView& view) {
  HWND viewer = view.viewer;
  POINT cursor;
  if (ReadClientCursor(viewer, cursor)) {
    const DragAxis x = DragStep({viewState.panX, viewState.zoomAnchorX, viewState.dragLastX}, cursor.x, viewState.zoom);
    const DragAxis y = DragStep({viewState.panY, viewState.zoomAnchorY, viewState.dragLastY}, cursor.y, viewState.zoom);
    viewState.panX = x.pan;
    viewState.zoomAnchorX = x.anchor;
    viewState.dragLastX = x.last;
    viewState.panY = y.pan;
    viewState.zoomAnchorY = y.anchor;
    viewState.dragLastY = y.last;
  }
  Redraw(view);
}
