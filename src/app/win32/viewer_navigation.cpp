// Stepping through the list, the title rule and dropped files.
#include <windows.h>
#include <shellapi.h>

#include <string>

#include "app/win32/vistrel_dlg.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "resource.h"
#include "view/view_state.h"

void CVistrelDlg::UpdateWindowTitle() {
  if (viewState.slideshowRunning != 0 || ImageList.empty()) return;
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= ImageList.size()) return;
  SetWindowTextW(hwnd_, WindowTitle(ImageList[static_cast<size_t>(currentIndex)]).c_str());
}

void CVistrelDlg::ShowNextImage() {
  viewState.zoom = 1.0f;
  currentIndex = NextIndex(currentIndex, ImageList.size());
  UpdateWindowTitle();
  Render(0, 0);
}

void CVistrelDlg::ShowPreviousImage() {
  viewState.zoom = 1.0f;
  currentIndex = PreviousIndex(currentIndex, ImageList.size());
  UpdateWindowTitle();
  Render(0, 0);
}

LRESULT CVistrelDlg::OnNextCommand(WPARAM, LPARAM) {
  ShowNextImage();
  return 0;
}

LRESULT CVistrelDlg::OnPreviousCommand(WPARAM, LPARAM) {
  ShowPreviousImage();
  return 0;
}

// Only the first file of a drop counts; the drop handle is released here in every case.
LRESULT CVistrelDlg::OnDropFiles(WPARAM wParam, LPARAM) {
  HDROP drop = reinterpret_cast<HDROP>(wParam);
  if (DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0) > 0) {
    UINT length = DragQueryFileW(drop, 0, nullptr, 0);
    std::wstring path(length + 1, L'\0');
    DragQueryFileW(drop, 0, &path[0], length + 1);
    path.resize(length);
    // The rebuild keeps the position inside the new list even when the file is not in it.
    OpenStartFile(true, path);
    viewState.zoom = 1.0f;
    UpdateWindowTitle();
    Render(0, 0);
  }
  DragFinish(drop);
  return Default();
}
