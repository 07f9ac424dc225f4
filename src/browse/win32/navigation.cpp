#include "browse/win32/navigation.h"

#include <string>

#include "browse/win32/folder_listing.h"
#include "browse/win32/picture_loader.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

void ShowNextImage(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  viewState.zoom = 1.0f;
  currentIndex = NextIndex(currentIndex, ImageList.size());
  UpdateWindowTitle(browser.view.viewer);
  ShowCurrentPicture(browser, StepDirection::kForward);
}

void ShowPreviousImage(Browser& browser) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  viewState.zoom = 1.0f;
  currentIndex = PreviousIndex(currentIndex, ImageList.size());
  UpdateWindowTitle(browser.view.viewer);
  ShowCurrentPicture(browser, StepDirection::kBackward);
}

// Only the first file of a drop counts.
void OpenDroppedFiles(Browser& browser, HDROP drop) {
  VISTREL_CHECK_THREAD(browser.view.thread);
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    const UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, 0, &path[0], length + 1);
    path.resize(length);
    ForgetPreparedPictures(browser);
    viewState.zoom = 1.0f;
    ListDroppedFileFolder(browser, path);
  }
  DragFinish(drop);
}
