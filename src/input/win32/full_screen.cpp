// Borderless full screen over the primary screen, on a dark background, and back.
#include <windows.h>

#include "app/win32/vistrel_dlg.h"
#include "view/view_state.h"

namespace {

constexpr LONG kFullScreenStyleMask = static_cast<LONG>(0xDE33FFFF);  // no caption, menu, frame, min/max

}  // namespace

int32_t CVistrelDlg::ToggleFullScreen() {
  viewState.zoom = 1.0f;
  if (viewState.fullScreen == 0) {
    // Set before the window changes, so the move and size handlers keep the normal rectangle.
    viewState.fullScreen = 1;
    RECT window;
    GetWindowRect(hwnd_, &window);
    viewState.savedWindowRect = EdgeRect{window.left, window.top, window.right, window.bottom};
    viewState.savedStyle = GetWindowLongW(hwnd_, GWL_STYLE);
    SetWindowLongW(hwnd_, GWL_STYLE, viewState.savedStyle & kFullScreenStyleMask);
    RECT desktop;
    GetWindowRect(GetDesktopWindow(), &desktop);
    SetWindowPos(hwnd_, HWND_TOP, desktop.left, desktop.top, desktop.right, desktop.bottom, SWP_SHOWWINDOW);
    viewState.backgroundLevel = kDarkBackground;
  } else {
    SetWindowLongW(hwnd_, GWL_STYLE, viewState.savedStyle);
    const EdgeRect& saved = viewState.savedWindowRect;
    if ((viewState.savedStyle & WS_MAXIMIZE) == 0) {
      SetWindowPos(hwnd_, HWND_TOP, saved.left, saved.top, saved.right - saved.left, saved.bottom - saved.top,
                   SWP_SHOWWINDOW);
    } else {
      // Neither moved nor sized, but the caption and frame the style brings back must be laid
      // out and drawn again, or the window would keep its borderless look.
      SetWindowPos(hwnd_, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_FRAMECHANGED);
    }
    viewState.backgroundLevel = kLightBackground;
    viewState.fullScreen = 0;
  }
  return Render(1, 0);
}
