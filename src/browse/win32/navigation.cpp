#include "browse/win32/navigation.h"

#include <string>

#include "browse/win32/folder_listing.h"
#include "browse/win32/picture_loader.h"
#include "framework/baseline_mode.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

void UpdateWindowTitle(HWND viewer) {
  if (viewState.slideshowRunning != 0) return;
  const std::wstring* path = CurrentPath();
  if (path != nullptr) SetWindowTextW(viewer, WindowTitle(*path).c_str());
}

void ShowNextImage(HWND viewer) {
  viewState.zoom = 1.0f;
  currentIndex = NextIndex(currentIndex, ImageList.size());
  UpdateWindowTitle(viewer);
  ShowCurrentPicture(viewer, StepDirection::kForward);
}

void ShowPreviousImage(HWND viewer) {
  viewState.zoom = 1.0f;
  currentIndex = PreviousIndex(currentIndex, ImageList.size());
  UpdateWindowTitle(viewer);
  ShowCurrentPicture(viewer, StepDirection::kBackward);
}

// Only the first file of a drop counts.
void OpenDroppedFiles(HWND viewer, HDROP drop) {
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, 0, &path[0], length + 1);
    path.resize(length);
    ForgetPreparedPictures();
    viewState.zoom = 1.0f;
    if (BaselineMode()) {
      // The rebuild keeps the position inside the new list even when the file is not in it.
      OpenStartFile(true, path);
      UpdateWindowTitle(viewer);
      ShowCurrentPicture(viewer, StepDirection::kNone);
    } else {
      ListDroppedFileFolder(viewer, path);
    }
  }
  DragFinish(drop);
}
