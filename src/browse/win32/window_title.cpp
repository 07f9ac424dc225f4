#include "browse/win32/window_title.h"

#include <string>

#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

void UpdateWindowTitle(HWND viewer) {
  if (viewState.slideshowRunning != 0) return;
  const std::wstring* path = CurrentPath();
  if (path != nullptr) SetWindowTextW(viewer, WindowTitle(*path).c_str());
}
