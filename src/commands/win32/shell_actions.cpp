// Open With, Properties, Print and the web page, handed to the shell without waiting for it.
#include <windows.h>
#include <shellapi.h>

#include "app/win32/vistrel_dlg.h"
#include "commands/shell_requests.h"
#include "imagelist/win32/image_list.h"

namespace {

// The shell reports its own failures; the viewer adds nothing.
void Execute(const ShellRequest& request) {
  SHELLEXECUTEINFOW info{};
  info.cbSize = sizeof(info);
  info.fMask = request.mask;
  info.lpVerb = request.verb.empty() ? nullptr : request.verb.c_str();
  info.lpFile = request.file.c_str();
  info.lpParameters = request.parameters.empty() ? nullptr : request.parameters.c_str();
  info.nShow = request.show;
  ShellExecuteExW(&info);
}

bool CurrentPath(std::wstring& path) {
  if (currentIndex < 0 || static_cast<size_t>(currentIndex) >= ImageList.size()) return false;
  path = ImageList[static_cast<size_t>(currentIndex)];
  return true;
}

}  // namespace

void CVistrelDlg::OpenWith() {
  std::wstring path;
  if (CurrentPath(path)) Execute(OpenWithRequest(path));
}

void CVistrelDlg::ShowProperties() {
  std::wstring path;
  if (CurrentPath(path)) Execute(PropertiesRequest(path));
}

void CVistrelDlg::PrintImage() {
  std::wstring path;
  if (CurrentPath(path)) Execute(PrintRequest(path));
}

void CVistrelDlg::OpenWebsite() { Execute(WebsiteRequest()); }
