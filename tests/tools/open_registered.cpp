// open_registered CLASS FILE
// Opens FILE the way Explorer does through a registered class (a ProgID such as Vistrel.JPEG,
// or Applications\vistrel.exe): the shell runs that class's "open" command line. Waits for the
// started viewer's window and its title, prints
//   program: <the started program's full path>
//   title: <the window title>
// and closes the viewer. Exits 0 when a window with a file's title showed, else 1 with the
// reason. Used by the installer scenario (tests/install).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 20000;
constexpr DWORD kTitleTimeoutMs = 10000;
constexpr DWORD kExitTimeoutMs = 10000;

}  // namespace

int main() {
  const std::vector<std::wstring> args = ProgramArguments();
  if (static_cast<int>(args.size()) != 3) {
    std::fprintf(stderr, "usage: open_registered CLASS FILE\n");
    return 2;
  }
  ViewerProcess viewer;
  std::string error;
  if (!viewer.OpenThroughClass(args.at(1), args.at(2), &error) ||
      !viewer.WaitForWindow(kWindowTimeoutMs, &error)) {
    std::fprintf(stderr, "open_registered: %s\n", error.c_str());
    return 1;
  }
  std::printf("program: %s\n", Narrow(viewer.ProgramPath()).c_str());
  // The title names the file from the first paint on; until then it is the template's "Vistrel".
  const bool titled =
      WaitUntil([&] { return viewer.Caption().rfind(L"Vistrel - ", 0) == 0; }, kTitleTimeoutMs);
  const std::wstring title = viewer.Caption();
  std::printf("title: %s\n", Narrow(title).c_str());
  std::fflush(stdout);

  viewer.RequestClose();
  if (!viewer.WaitForExit(kExitTimeoutMs, nullptr)) {
    std::fprintf(stderr, "open_registered: the viewer did not end within %lu ms after WM_CLOSE\n",
                 static_cast<unsigned long>(kExitTimeoutMs));
    viewer.Terminate();
    return 1;
  }
  if (!titled) {
    std::fprintf(stderr, "open_registered: expected a title naming the file within %lu ms, got \"%s\"\n",
                 static_cast<unsigned long>(kTitleTimeoutMs), Narrow(title).c_str());
    return 1;
  }
  return 0;
}
