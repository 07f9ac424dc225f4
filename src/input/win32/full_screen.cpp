#include "input/win32/full_screen.h"

#include "view/view_state.h"
#include "view/win32/picture_view.h"
#include "view/win32/render.h"
#include "view/win32/window_edges.h"

namespace {

constexpr LONG kFullScreenStyleMask = static_cast<LONG>(0xDE33FFFF);  // no caption, menu, frame, min/max

}  // namespace

int32_t ToggleFullScreen(PictureView& view) {
  HWND viewer = view.viewer;
  viewState.zoom = 1.0f;
  if (viewState.fullScreen == 0) {
    // Set before the window changes, so the move and size handlers keep the normal rectangle.
    viewState.fullScreen = 1;
    viewState.savedWindowRect = WindowEdges(viewer);
    viewState.savedStyle = GetWindowLongW(viewer, GWL_STYLE);
    SetWindowLongW(viewer, GWL_STYLE, viewState.savedStyle & kFullScreenStyleMask);
    const EdgeRect desktop = WindowEdges(GetDesktopWindow());
    // The frame is laid out afresh even when the rectangle stays the same (a maximised window
    // may already cover the screen), or the old caption and border would stay in place.
    SetWindowPos(viewer, HWND_TOP, desktop.left, desktop.top, desktop.right, desktop.bottom,
                 SWP_SHOWWINDOW | SWP_FRAMECHANGED);
    viewState.backgroundLevel = kDarkBackground;
  } else {
    SetWindowLongW(viewer, GWL_STYLE, viewState.savedStyle);
    const EdgeRect& saved = viewState.savedWindowRect;
    if ((viewState.savedStyle & WS_MAXIMIZE) == 0) {
      SetWindowPos(viewer, HWND_TOP, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
                   SWP_SHOWWINDOW);
    } else {
      // Neither moved nor sized, but the caption and frame the style brings back must be laid
      // out and drawn again, or the window would keep its borderless look.
      SetWindowPos(viewer, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    viewState.backgroundLevel = kLightBackground;
    viewState.fullScreen = 0;
  }
  return Redraw(view);
}
