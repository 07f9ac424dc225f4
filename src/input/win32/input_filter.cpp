// The viewer's input: every queued message of the window and its children passes through
// FilterQueuedMessage before delivery; the context menu issues the same commands as the keys.
#include <windows.h>
#include <windowsx.h>

#include "app/win32/vistrel_dlg.h"
#include "input/key_table.h"
#include "resource.h"
#include "view/view_state.h"

namespace {

struct KeyOperation {
  KeyAction action;
  void (*run)(CVistrelDlg& viewer);
};

const KeyOperation kKeyOperations[] = {
    {KeyAction::toggleFullScreen, [](CVistrelDlg& v) { v.ToggleFullScreen(); }},
    {KeyAction::previousImage, [](CVistrelDlg& v) { v.ShowPreviousImage(); }},
    {KeyAction::nextImage, [](CVistrelDlg& v) { v.ShowNextImage(); }},
    {KeyAction::zoomIn, [](CVistrelDlg& v) { v.ZoomIn(); }},
    {KeyAction::zoomOut, [](CVistrelDlg& v) { v.ZoomOut(); }},
    {KeyAction::toggleBackground, [](CVistrelDlg& v) { v.ToggleBackground(); }},
    {KeyAction::rotateLeft, [](CVistrelDlg& v) { v.RotateLeft(); }},
    {KeyAction::rotateRight, [](CVistrelDlg& v) { v.RotateRight(); }},
    {KeyAction::deleteImage, [](CVistrelDlg& v) { v.DeleteCurrentImage(); }},
    {KeyAction::openWith, [](CVistrelDlg& v) { v.OpenWith(); }},
    {KeyAction::showProperties, [](CVistrelDlg& v) { v.ShowProperties(); }},
    {KeyAction::toggleSlideshow, [](CVistrelDlg& v) { v.ToggleSlideshow(); }},
};

}  // namespace

// Acts on buttons, moves, the wheel and keys, and always lets the message go on. The dialog
// manager's key handling is deliberately never run: Enter and Esc must not end the viewer.
BOOL CVistrelDlg::FilterQueuedMessage(MSG* msg) {
  switch (msg->message) {
    case WM_LBUTTONDOWN: OnFilteredButtonDown(); break;
    case WM_LBUTTONUP: viewState.dragging = 0; break;
    case WM_MOUSEMOVE: OnFilteredMove(); break;
    case WM_MOUSEWHEEL: OnFilteredWheel(GET_WHEEL_DELTA_WPARAM(msg->wParam)); break;
    case WM_KEYDOWN: OnFilteredKey(msg->wParam); break;
    default: break;
  }
  return FALSE;
}

bool CVistrelDlg::ReadCursor(POINT& client) const {
  return GetCursorPos(&client) && ScreenToClient(hwnd_, &client);
}

void CVistrelDlg::OnFilteredButtonDown() {
  StopSlideshow();
  if (viewState.zoom == 1.0f) return;
  viewState.dragging = 1;
  POINT cursor;
  if (!ReadCursor(cursor)) return;
  viewState.dragLastX = cursor.x;
  viewState.dragLastY = cursor.y;
}

// Moves matter only while dragging.
void CVistrelDlg::OnFilteredMove() {
  if (viewState.dragging != 1) return;
  StopSlideshow();
  DragPan();
}

// One step per message, whatever the size of the delta; 0 counts as backwards.
void CVistrelDlg::OnFilteredWheel(int delta) {
  StopSlideshow();
  if (delta > 0) {
    ZoomIn();
  } else {
    ZoomOut();
  }
}

// Every key but the slideshow key stops a running slideshow before its own action.
void CVistrelDlg::OnFilteredKey(WPARAM key) {
  if (key != kSlideshowKey) StopSlideshow();
  KeyAction action = ActionForKey(static_cast<uint32_t>(key), viewState.fullScreen != 0);
  for (const KeyOperation& op : kKeyOperations) {
    if (op.action == action) op.run(*this);
  }
}

// Opens at the message's screen point, (-1, -1) included when raised from the keyboard.
LRESULT CVistrelDlg::OnContextMenu(WPARAM, LPARAM lParam) {
  StopSlideshow();
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_CONTEXT_MENU));
  if (menu == nullptr) return 0;
  TrackPopupMenu(GetSubMenu(menu, 0), TPM_RIGHTBUTTON, GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam), 0,
                 hwnd_, nullptr);
  DestroyMenu(menu);
  return 0;
}

void CVistrelDlg::ToggleBackground() {
  viewState.backgroundLevel = viewState.backgroundLevel == 0 ? kLightBackground : kDarkBackground;
  Render(1, 0);
}

LRESULT CVistrelDlg::OnFullScreenCommand(WPARAM, LPARAM) { return ToggleFullScreen(); }

LRESULT CVistrelDlg::OnZoomInCommand(WPARAM, LPARAM) {
  ZoomIn();
  return 0;
}

LRESULT CVistrelDlg::OnZoomOutCommand(WPARAM, LPARAM) {
  ZoomOut();
  return 0;
}

LRESULT CVistrelDlg::OnRotateLeftCommand(WPARAM, LPARAM) { return Render(1, 2); }

LRESULT CVistrelDlg::OnRotateRightCommand(WPARAM, LPARAM) { return Render(1, 1); }

LRESULT CVistrelDlg::OnBackgroundCommand(WPARAM, LPARAM) {
  ToggleBackground();
  return 0;
}

LRESULT CVistrelDlg::OnPictureDoubleClickCommand(WPARAM, LPARAM) {
  OnPictureDoubleClick();
  return 0;
}

LRESULT CVistrelDlg::OnDeleteCommand(WPARAM, LPARAM) {
  DeleteCurrentImage();
  return 0;
}

LRESULT CVistrelDlg::OnOpenWithCommand(WPARAM, LPARAM) {
  OpenWith();
  return 0;
}

LRESULT CVistrelDlg::OnPropertiesCommand(WPARAM, LPARAM) {
  ShowProperties();
  return 0;
}

LRESULT CVistrelDlg::OnWebsiteCommand(WPARAM, LPARAM) {
  OpenWebsite();
  return 0;
}

LRESULT CVistrelDlg::OnPrintCommand(WPARAM, LPARAM) {
  PrintImage();
  return 0;
}
