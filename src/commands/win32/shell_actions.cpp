#include "commands/win32/shell_actions.h"

#include <windows.h>
#include <shellapi.h>

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

}  // namespace

void OpenWith() {
  if (const std::wstring* path = CurrentPath()) Execute(OpenWithRequest(*path));
}

void ShowProperties() {
  if (const std::wstring* path = CurrentPath()) Execute(PropertiesRequest(*path));
}

void PrintImage() {
  if (const std::wstring* path = CurrentPath()) Execute(PrintRequest(*path));
}

void OpenWebsite() { Execute(WebsiteRequest()); }
