#include "commands/win32/delete_image.h"

#include "browse/win32/navigation.h"
#include "browse/win32/picture_loader.h"
#include "commands/delete_failure.h"
#include "imagelist/image_rules.h"
#include "imagelist/long_path.h"
#include "imagelist/win32/image_list.h"

namespace {

// The system's text for an error code; its number when the system has no text for it.
std::wstring SystemErrorText(DWORD error) {
  wchar_t text[512] = {};
  const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                      error, 0, text, static_cast<DWORD>(sizeof(text) / sizeof(text[0])),
                                      nullptr);
  if (length == 0) return L"error " + std::to_wstring(error);
  return std::wstring(text, length);
}

// A file is gone only when the system says so; a file it cannot even look at still exists.
bool FileIsGone(const std::wstring& systemPath) {
  if (GetFileAttributesW(systemPath.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
  const DWORD error = GetLastError();
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

}  // namespace

// The prompt asks about the file shown when it opens, and a Yes deletes exactly that file: when
// the shown entry changed while the prompt was open, nothing is deleted.
void DeleteCurrentImage(Commands& commands) {
  VISTREL_CHECK_THREAD(commands.browse.view.thread);
  HWND viewer = commands.browse.view.viewer;
  bool& promptOpen = commands.deletePromptOpen;
  if (ImageList.empty() || promptOpen) return;
  const std::wstring* shown = CurrentPath();
  if (shown == nullptr) return;
  const std::wstring asked = *shown;
  const int32_t askedIndex = currentIndex;
  promptOpen = true;
  const int answer = MessageBoxW(viewer, L"This will permanently delete current image. Are you sure?",
                                 L"Please Confirm", MB_YESNO | MB_ICONQUESTION);
  promptOpen = false;
  const std::wstring* path = CurrentPath();
  if (answer != IDYES || path == nullptr || currentIndex != askedIndex || *path != asked) return;
  const std::wstring systemPath = FileSystemPath(*path);
  if (!DeleteFileW(systemPath.c_str())) {
    const DWORD error = GetLastError();
    // Read-only, held open by another program, no right to delete: the file stays, and so do
    // its entry and its picture, so the user is not left believing it gone. One that has
    // already vanished leaves the list silently, as a successful delete does.
    if (!FileIsGone(systemPath)) {
      const std::wstring text = DeleteFailureText(*path, SystemErrorText(error));
      MessageBoxW(viewer, text.c_str(), L"Vistrel", MB_OK | MB_ICONERROR);
      return;
    }
  }
  ImageList.erase(ImageList.begin() + currentIndex);
  ForgetPreparedPictures(commands.browse);
  currentIndex = IndexAfterDelete(currentIndex, ImageList.size());
  UpdateWindowTitle(viewer);
  // The zoom and pan in force carry over to the picture that takes the deleted one's place.
  ShowCurrentPicture(commands.browse, StepDirection::kNone);
}
