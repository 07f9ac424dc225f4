#include "commands/win32/delete_image.h"

#include "imagelist/image_rules.h"
#include "imagelist/win32/image_list.h"
#include "imagelist/win32/navigation.h"
#include "view/win32/picture_loader.h"

void DeleteCurrentImage(HWND viewer) {
  if (ImageList.empty()) return;
  if (MessageBoxW(viewer, L"This will permanently delete current image. Are you sure?", L"Please Confirm",
                  MB_YESNO | MB_ICONQUESTION) != IDYES) {
    return;
  }
  const std::wstring* path = CurrentPath();
  if (path == nullptr) return;
  // A file that cannot be deleted still leaves the list; it stays on disk.
  DeleteFileW(path->c_str());
  ImageList.erase(ImageList.begin() + currentIndex);
  ForgetPreparedPictures();
  currentIndex = IndexAfterDelete(currentIndex, ImageList.size());
  UpdateWindowTitle(viewer);
  // The zoom and pan in force carry over to the picture that takes the deleted one's place.
  ShowCurrentPicture(viewer, StepDirection::kNone);
}
