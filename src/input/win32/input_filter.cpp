#include "input/win32/input_filter.h"

#include <windowsx.h>

#include "commands/win32/slideshow.h"
#include "input/key_table.h"
#include "input/win32/cursor.h"
#include "input/win32/zoom_pan.h"
#include "view/view_state.h"

namespace {

void OnButtonDown(ViewerInput& input) {
  HWND viewer = input.view.viewer;
  StopSlideshow(input.commands);
  if (viewState.zoom == 1.0f) return;
  viewState.dragging = 1;
  POINT cursor;
  if (!ReadClientCursor(viewer, cursor)) return;
  viewState.dragLastX = cursor.x;
  viewState.dragLastY = cursor.y;
}

// Moves matter only while dragging.
void OnMove(ViewerInput& input) {
  if (viewState.dragging != 1) return;
  StopSlideshow(input.commands);
  DragPan(input.view);
}

// One step per message, whatever the size of the delta; 0 counts as backwards.
void OnWheel(ViewerInput& input, int delta) {
  StopSlideshow(input.commands);
  if (delta > 0) {
    ZoomIn(input.view);
  } else {
    ZoomOut(input.view);
  }
}

// Every key but the slideshow key stops a running slideshow before its own command.
void OnKey(ViewerInput& input, WPARAM key) {
  if (key != kSlideshowKey) StopSlideshow(input.commands);
  const uint32_t command = CommandForKey(static_cast<uint32_t>(key), viewState.fullScreen != 0);
  if (command != 0) SendMessageW(input.view.viewer, WM_COMMAND, MAKEWPARAM(command, 0), 0);
}

}  // namespace

void FilterViewerInput(ViewerInput& input, const MSG& msg) {
  VISTREL_CHECK_THREAD(input.view.thread);
  switch (msg.message) {
    case WM_LBUTTONDOWN: OnButtonDown(input); break;
    case WM_LBUTTONUP: viewState.dragging = 0; break;
    case WM_MOUSEMOVE: OnMove(input); break;
    case WM_MOUSEWHEEL: OnWheel(input, GET_WHEEL_DELTA_WPARAM(msg.wParam)); break;
    case WM_KEYDOWN: OnKey(input, msg.wParam); break;
    default: break;
  }
}
