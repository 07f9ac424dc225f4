#include "input/win32/input_filter.h"

#include <windowsx.h>

#include "commands/win32/slideshow.h"
#include "input/key_table.h"
#include "input/win32/cursor.h"
#include "input/win32/zoom_pan.h"
#include "view/view_state.h"

namespace {

void OnButtonDown(HWND viewer) {
  StopSlideshow(viewer);
  if (viewState.zoom == 1.0f) return;
  viewState.dragging = 1;
  POINT cursor;
  if (!ReadClientCursor(viewer, cursor)) return;
  viewState.dragLastX = cursor.x;
  viewState.dragLastY = cursor.y;
}

// Moves matter only while dragging.
void OnMove(HWND viewer) {
  if (viewState.dragging != 1) return;
  StopSlideshow(viewer);
  DragPan(viewer);
}

// One step per message, whatever the size of the delta; 0 counts as backwards.
void OnWheel(HWND viewer, int delta) {
  StopSlideshow(viewer);
  if (delta > 0) {
    ZoomIn(viewer);
  } else {
    ZoomOut(viewer);
  }
}

// Every key but the slideshow key stops a running slideshow before its own command.
void OnKey(HWND viewer, WPARAM key) {
  if (key != kSlideshowKey) StopSlideshow(viewer);
  const uint32_t command = CommandForKey(static_cast<uint32_t>(key), viewState.fullScreen != 0);
  if (command != 0) SendMessageW(viewer, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

}  // namespace

void FilterViewerInput(HWND viewer, const MSG& msg) {
  switch (msg.message) {
    case WM_LBUTTONDOWN: OnButtonDown(viewer); break;
    case WM_LBUTTONUP: viewState.dragging = 0; break;
    case WM_MOUSEMOVE: OnMove(viewer); break;
    case WM_MOUSEWHEEL: OnWheel(viewer, GET_WHEEL_DELTA_WPARAM(msg.wParam)); break;
    case WM_KEYDOWN: OnKey(viewer, msg.wParam); break;
    default: break;
  }
}
