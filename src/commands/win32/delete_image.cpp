// Deleting the shown file for good, after one confirmation.
#include <windows.h>

#include "app/win32/vistrel_dlg.h"
#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

void CVistrelDlg::DeleteCurrentImage() {
  if (ImageList.empty()) return;
  if (MessageBoxW(hwnd_, L"This will permanently delete current image. Are you sure?", L"Please Confirm",
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= ImageList.size()) return;
  const size_t index = static_cast<size_t>(currentIndex);
  // A file that cannot be deleted still leaves the list; it stays on disk.
  DeleteFileW(ImageList[index].c_str());
  ImageList.erase(ImageList.begin() + static_cast<std::ptrdiff_t>(index));
  currentIndex = IndexAfterDelete(currentIndex, ImageList.size());
  UpdateWindowTitle();
  // The zoom and pan in force carry over to the picture that takes the deleted one's place.
  Render(0, 0);
}
