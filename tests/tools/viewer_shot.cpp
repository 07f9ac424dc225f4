// viewer_shot OUTPUT.png [ARGUMENT]
// Starts vistrel.exe (beside this program) with ARGUMENT, waits for its first paint and for the
// window to settle where it stays (maximised or moved into place, picture drawn), saves the
// window's area of the screen as it is then as a PNG, prints its path and closes the viewer.
// Used by the run script when there is no display of the user's own (the viewer then runs
// under Xvfb).
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>
#include <utility>

#include "support/test_paths.h"
#include "support/viewer_driver.h"

namespace {

constexpr DWORD kWindowTimeoutMs = 15000;
constexpr DWORD kTitleTimeoutMs = 10000;
// The window and the screen must look the same for this long before the capture counts: a
// fresh Wine prefix may still be placing, maximising or drawing the window after its title is
// set, and a capture taken then holds a stale rectangle and black bands.
constexpr DWORD kSettledForMs = 600;
constexpr DWORD kSettleTimeoutMs = 15000;
constexpr DWORD kSettleStepMs = 100;
// An empty list never changes the caption: after this long with the caption still the
// template's, the bare background is taken as the first paint.
constexpr DWORD kEmptyListGraceMs = 1500;

bool IsBackgroundGrey(const Rgb& colour) {
  return colour == Rgb{250, 250, 250} || colour == Rgb{0, 0, 0};
}

// True once the title names a file, or the caption is still "Vistrel" after the grace
// period and the picture area shows the background colour (the folder had no images).
bool WaitForFirstPaint(ViewerProcess& viewer) {
  const ULONGLONG start = GetTickCount64();
  return WaitUntil([&] {
    const std::wstring caption = viewer.Caption();
    if (caption.rfind(L"Vistrel - ", 0) == 0) return true;
    if (GetTickCount64() - start < kEmptyListGraceMs) return false;
    ScreenCapture capture = viewer.CaptureClient();
    if (capture.Empty()) return false;
    return IsBackgroundGrey(ToRgb(capture.At(capture.width / 2, capture.height / 2)));
  }, kTitleTimeoutMs, 50);
}

// Quotes an argument for the viewer's command line unless it is already quoted. Backslashes
// before the closing quote are doubled, or a folder's trailing backslash would escape it.
std::wstring Quoted(const std::wstring& argument) {
  if (argument.empty() || argument.front() == L'"') return argument;
  size_t trailing = argument.size() - argument.find_last_not_of(L'\\') - 1;
  return L"\"" + argument + std::wstring(trailing, L'\\') + L"\"";
}

// A maximised window's frame lies partly off the screen; only the visible part is read.
RECT OnScreenPart(const RECT& window) {
  RECT screen = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT visible = {};
  IntersectRect(&visible, &window, &screen);
  return visible;
}

// Where the window is now and what it shows there: its visible rectangle (which follows the
// screen size too), whether it is maximised, and the pixels of that rectangle.
struct WindowLook {
  RECT visible = {};
  bool maximized = false;
  ScreenCapture pixels;

  bool SameAs(const WindowLook& other) const {
    return EqualRect(&visible, &other.visible) && maximized == other.maximized && !pixels.Empty() &&
           CountDifferentPixels(pixels, other.pixels, 0) == 0;
  }
};

WindowLook LookAt(const ViewerProcess& viewer) {
  WindowLook look;
  look.visible = OnScreenPart(viewer.WindowEdges());
  look.maximized = viewer.IsMaximized();
  look.pixels = CaptureScreen(look.visible);
  return look;
}

// Waits until the window's rectangle, state and pixels have stayed the same for kSettledForMs,
// then returns that look (the last one seen when it never settles; *settled says which).
WindowLook WaitForSettledWindow(const ViewerProcess& viewer, bool* settled) {
  WindowLook last = LookAt(viewer);
  ULONGLONG sameSince = GetTickCount64();
  *settled = WaitUntil([&] {
    WindowLook now = LookAt(viewer);
    if (!now.SameAs(last)) {
      sameSince = GetTickCount64();
      last = std::move(now);
      return false;
    }
    return GetTickCount64() - sameSince >= kSettledForMs;
  }, kSettleTimeoutMs, kSettleStepMs);
  return last;
}

}  // namespace

int main() {
  const std::vector<std::wstring> args = ProgramArguments();
  if (static_cast<int>(args.size()) < 2) {
    std::fprintf(stderr, "usage: viewer_shot OUTPUT.png [ARGUMENT]\n");
    return 2;
  }
  const std::wstring output = args.at(1);
  const std::wstring argument = static_cast<int>(args.size()) > 2 ? Quoted(args.at(2)) : L"";

  ViewerProcess viewer;
  std::string error;
  if (!viewer.Start(ViewerExePath(), argument, &error) || !viewer.WaitForWindow(kWindowTimeoutMs, &error)) {
    std::fprintf(stderr, "viewer_shot: %s\n", error.c_str());
    return 1;
  }
  if (!WaitForFirstPaint(viewer)) {
    std::fprintf(stderr, "viewer_shot: no first paint seen within %lu ms (caption \"%s\")\n",
                 static_cast<unsigned long>(kTitleTimeoutMs), Narrow(viewer.Caption()).c_str());
  }
  bool settled = false;
  const WindowLook shot = WaitForSettledWindow(viewer, &settled);
  if (!settled) {
    std::fprintf(stderr, "viewer_shot: the window still changed after %lu ms; saving its last look\n",
                 static_cast<unsigned long>(kSettleTimeoutMs));
  }
  const bool saved = SaveCaptureAsPng(shot.pixels, output);

  viewer.RequestClose();
  DWORD exitCode = 0;
  if (!viewer.WaitForExit(10000, &exitCode)) {
    std::fprintf(stderr, "viewer_shot: the viewer did not end within 10 s after WM_CLOSE\n");
    viewer.Terminate();
  }
  if (!saved) {
    std::fprintf(stderr, "viewer_shot: could not write %s (%d x %d capture)\n", Narrow(output).c_str(),
                 shot.pixels.width, shot.pixels.height);
    return 1;
  }
  std::printf("%s\n", Narrow(output).c_str());
  return 0;
}
