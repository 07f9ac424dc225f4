#include "input/win32/deferred_input.h"

#include <shellapi.h>

#include <deque>

#include "browse/win32/folder_listing.h"
#include "browse/win32/picture_loader.h"
#include "commands/win32/slideshow.h"
#include "input/key_table.h"
#include "input/win32/input_filter.h"
#include "resource.h"
#include "view/view_state.h"

namespace {

// What a message needs before it can act.
enum class Needs {
  kNothing,  // never held: it changes nothing that a wait could make wrong (a key-up)
  kNeither,  // acts on neither the list nor the picture (background, full screen, shell)
  kList,     // steps, deletes, drops, the slideshow: the full list
  kPicture,  // zoom, turns, drags: the shown entry's picture
};

Needs NeedsOfCommand(WORD command) {
  switch (command) {
    case ID_NEXT:
    case ID_PREVIOUS:
    case ID_DELETE:
    case ID_SLIDESHOW: return Needs::kList;
    case ID_ZOOM_IN:
    case ID_ZOOM_OUT:
    case ID_ROTATE_LEFT:
    case ID_ROTATE_RIGHT: return Needs::kPicture;
    default: return Needs::kNeither;
  }
}

bool PressWaits(const std::deque<MSG>& waiting) {
  for (const MSG& m : waiting) {
    if (m.message == WM_LBUTTONDOWN || m.message == WM_LBUTTONDBLCLK) return true;
  }
  return false;
}

// Paints, sizes, the worker's results and system keys such as Alt+F4 are not user input here
// and are never held.
Needs NeedsOf(const std::deque<MSG>& waiting, const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN: {
      const uint32_t command = CommandForKey(static_cast<uint32_t>(msg.wParam), viewState.fullScreen != 0);
      return command == 0 ? Needs::kNeither : NeedsOfCommand(static_cast<WORD>(command));
    }
    case WM_COMMAND: return HIWORD(msg.wParam) == 0 ? NeedsOfCommand(LOWORD(msg.wParam)) : Needs::kNothing;
    case WM_SLIDESHOW_STEP:
    case WM_DROPFILES: return Needs::kList;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:
    case WM_MOUSEWHEEL: return Needs::kPicture;
    // A release ends a drag; it waits only behind a press that waits.
    case WM_LBUTTONUP: return PressWaits(waiting) ? Needs::kPicture : Needs::kNothing;
    // Moves matter to a drag, and to one that a waiting press may start.
    case WM_MOUSEMOVE: return viewState.dragging == 1 || !waiting.empty() ? Needs::kPicture : Needs::kNothing;
    default: return Needs::kNothing;
  }
}

bool IsStep(const MSG& msg) {
  switch (msg.message) {
    case WM_KEYDOWN: return msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT;
    case WM_COMMAND: return HIWORD(msg.wParam) == 0 && (LOWORD(msg.wParam) == ID_NEXT || LOWORD(msg.wParam) == ID_PREVIOUS);
    case WM_SLIDESHOW_STEP:
    case WM_DROPFILES: return true;
    default: return false;
  }
}

// An arrow key's auto-repeat: the key is held.
bool IsRepeatedStep(const MSG& msg) {
  return msg.message == WM_KEYDOWN && (msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT) && (msg.lParam & (1 << 30)) != 0;
}

// Whether the message must wait for what the viewer is busy with. A step to another picture
// does not wait for a picture it replaces: it supersedes it. A held key's repeat waits a little
// for the picture it would supersede to show something (its first view), unless it goesOn (the
// wait is over and another step follows it, or the key is up): so a key held through big
// pictures shows one after another instead of nothing until it is let go, and ends where it
// would have ended, no step lost.
bool MustWait(const Browser& browse, const MSG& msg, Needs needs, bool goesOn = false) {
  switch (needs) {
    case Needs::kList:
      return FolderListing(browse) ||
             (PictureLoading(browse) &&
              (!IsStep(msg) || (IsRepeatedStep(msg) && !goesOn && AwaitedPictureWorthWaitingFor(browse))));
    case Needs::kPicture: return PictureLoading(browse);
    default: return false;
  }
}

}  // namespace

bool DeferWhileBusy(ViewerInput& input, const MSG& msg) {
  VISTREL_CHECK_THREAD(input.view.thread);
  std::deque<MSG>& waiting = input.held;
  const Needs needs = NeedsOf(waiting, msg);
  if (msg.message == WM_KEYUP && (msg.wParam == VK_LEFT || msg.wParam == VK_RIGHT) && !waiting.empty()) {
    input.heldKeyReleased = true;  // the repeats it left go at once: the last picture is the one wanted
  }
  if (needs == Needs::kNothing) return false;
  // Behind input that waits, everything waits, so that input acts in the order it came.
  if (waiting.empty() && !MustWait(input.browse, msg, needs)) return false;
  waiting.push_back(msg);
  if (IsRepeatedStep(msg)) SetTimer(input.view.viewer, kHeldStepTimer, static_cast<UINT>(kAwaitedWorthWaitingMs), nullptr);
  return true;
}

void ReplayDeferredInput(ViewerInput& input) {
  VISTREL_CHECK_THREAD(input.view.thread);
  std::deque<MSG>& waiting = input.held;
  // Once the picture a held key waited for shows something (or the wait is over), the steps that
  // came meanwhile go at once, one after the other, so the key's repeats never pile up; once the
  // key is up, all of them go.
  const bool waitOver = !AwaitedPictureWorthWaitingFor(input.browse);
  while (!waiting.empty() &&
         !MustWait(input.browse, waiting.front(), NeedsOf(waiting, waiting.front()),
                   input.heldKeyReleased || (waitOver && waiting.size() > 1 && IsStep(waiting[1])))) {
    MSG msg = waiting.front();
    waiting.pop_front();
    FilterViewerInput(input, msg);
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  if (waiting.empty()) input.heldKeyReleased = false;
}

void DropDeferredInput(ViewerInput& input) {
  std::deque<MSG>& waiting = input.held;
  for (const MSG& msg : waiting) {
    if (msg.message == WM_DROPFILES) DragFinish(reinterpret_cast<HDROP>(msg.wParam));
  }
  waiting.clear();
  input.heldKeyReleased = false;
}
