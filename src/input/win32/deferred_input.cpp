#include "input/win32/deferred_input.h"

#include <shellapi.h>

#include <deque>

#include "commands/win32/slideshow.h"
#include "imagelist/win32/start_listing.h"
#include "input/win32/input_filter.h"
#include "resource.h"
#include "view/view_state.h"
#include "view/win32/picture_loader.h"

namespace {

std::deque<MSG> waiting;

bool Busy() { return FolderListing() || PictureLoading(); }

bool IsStep(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN: return msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT;
    case WM_COMMAND: return HIWORD(msg.wParam) == 0 && (LOWORD(msg.wParam) == ID_NEXT || LOWORD(msg.wParam) == ID_PREVIOUS);
    case WM_SLIDESHOW_STEP:
    case WM_DROPFILES: return true;
    default: return false;
  }
}

// What the user does to the viewer; everything else (paints, moves, sizes, the worker's
// results, system keys such as Alt+F4) is never held back.
bool IsUserInput(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEWHEEL:
    case WM_COMMAND:
    case WM_SLIDESHOW_STEP:
    case WM_DROPFILES: return true;
    // Moves matter to a drag, and to one that a waiting press may start.
    case WM_MOUSEMOVE: return viewState.dragging == 1 || !waiting.empty();
    default: return false;
  }
}

}  // namespace

bool DeferWhileBusy(const MSG& msg) {
  if (!Busy() || !IsUserInput(msg)) return false;
  if (waiting.empty() && !FolderListing() && IsStep(msg)) return false;
  waiting.push_back(msg);
  return true;
}

void ReplayDeferredInput(HWND viewer) {
  while (!waiting.empty() && !Busy()) {
    MSG msg = waiting.front();
    waiting.pop_front();
    FilterViewerInput(viewer, msg);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void DropDeferredInput() {
  for (const MSG& msg : waiting) {
    if (msg.message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(msg.wParam));
  }
  waiting.clear();
}
