// Zoom steps around the cursor and drag panning; each ends in one redraw from the kept bitmap.
#include <windows.h>

#include "app/win32/vistrel_dlg.h"
#include "input/zoom_steps.h"
#include "view/view_state.h"

namespace {

void ApplyAnchor() {
  viewState.panX = PanForAnchor(viewState.zoomAnchorX, viewState.zoom);
  viewState.panY = PanForAnchor(viewState.zoomAnchorY, viewState.zoom);
}

}  // namespace

// The anchor is taken from the cursor only by the first step away from the fitted view.
void CVistrelDlg::ZoomIn() {
  POINT cursor;
  if (viewState.zoom == 1.0f && ReadCursor(cursor)) {
    viewState.zoomAnchorX = cursor.x;
    viewState.zoomAnchorY = cursor.y;
  }
  viewState.zoom = ZoomInStep(viewState.zoom);
  if (ReadCursor(cursor)) ApplyAnchor();
  Render(1, 0);
}

void CVistrelDlg::ZoomOut() {
  viewState.zoom = ZoomOutStep(viewState.zoom);
  POINT cursor;
  if (ReadCursor(cursor)) ApplyAnchor();
  Render(1, 0);
}

void CVistrelDlg::OnPictureDoubleClick() {
  viewState.zoom = DoubleClickZoom(viewState.zoom);
  POINT cursor;
  if (ReadCursor(cursor)) {
    viewState.zoomAnchorX = cursor.x;
    viewState.zoomAnchorY = cursor.y;
    ApplyAnchor();
  }
  Render(1, 0);
}

void CVistrelDlg::DragPan() {
  POINT cursor;
  if (ReadCursor(cursor)) {
    DragAxis x = DragStep({viewState.panX, viewState.zoomAnchorX, viewState.dragLastX}, cursor.x, viewState.zoom);
    DragAxis y = DragStep({viewState.panY, viewState.zoomAnchorY, viewState.dragLastY}, cursor.y, viewState.zoom);
    viewState.panX = x.pan;
    viewState.zoomAnchorX = x.anchor;
    viewState.dragLastX = x.last;
    viewState.panY = y.pan;
    viewState.zoomAnchorY = y.anchor;
    viewState.dragLastY = y.last;
  }
  Render(1, 0);
}
