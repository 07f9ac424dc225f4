#include "app/win32/vistrel_dlg.h"

#include <string>

#include "app/win32/about_dlg.h"
#include "commands/win32/slideshow.h"
#include "framework/paint_scope.h"
#include "framework/win_app.h"
#include "imagelist/win32/image_list.h"
#include "resource.h"
#include "view/view_state.h"
#include "view/win32/dpi.h"

namespace {

EdgeRect EdgesOf(const RECT& r) {
  return EdgeRect{static_cast<int32_t>(r.left), static_cast<int32_t>(r.top),
                  static_cast<int32_t>(r.right), static_cast<int32_t>(r.bottom)};
}

}  // namespace

CVistrelDlg::CVistrelDlg()
    : CDialog(IDD_VIEWER), icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))) {}

void CVistrelDlg::RunModal(CWinApp* app) {
  app->SetMainWindow(this);
  DoModal();
  app->SetMainWindow(nullptr);
}

const MessageMap* CVistrelDlg::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      {WM_SYSCOMMAND, 0, 0, Handler(&CVistrelDlg::OnSysCommand)},
      {WM_PAINT, 0, 0, Handler(&CVistrelDlg::OnPaint)},
      {WM_QUERYDRAGICON, 0, 0, Handler(&CVistrelDlg::OnQueryDragIcon)},
      {WM_SIZE, 0, 0, Handler(&CVistrelDlg::OnSize)},
      {WM_GETMINMAXINFO, 0, 0, Handler(&CVistrelDlg::OnGetMinMaxInfo)},
      {WM_DRAWITEM, 0, 0, Handler(&CVistrelDlg::OnDrawItem)},
      {WM_COMMAND, STN_CLICKED, IDC_PICTURE, Handler(&CVistrelDlg::OnPictureClicked)},
      {WM_COMMAND, STN_DBLCLK, IDC_PICTURE, Handler(&CVistrelDlg::OnPictureDoubleClickCommand)},
      {WM_COMMAND, 0, IDOK, Handler(&CVistrelDlg::OnOkCommand)},
      {WM_COMMAND, 0, IDCANCEL, Handler(&CVistrelDlg::OnCancelCommand)},
      {WM_CONTEXTMENU, 0, 0, Handler(&CVistrelDlg::OnContextMenu)},
      {WM_COMMAND, 0, ID_FULLSCREEN, Handler(&CVistrelDlg::OnFullScreenCommand)},
      {WM_COMMAND, 0, ID_NEXT, Handler(&CVistrelDlg::OnNextCommand)},
      {WM_COMMAND, 0, ID_PREVIOUS, Handler(&CVistrelDlg::OnPreviousCommand)},
      {WM_COMMAND, 0, ID_ZOOM_IN, Handler(&CVistrelDlg::OnZoomInCommand)},
      {WM_COMMAND, 0, ID_ZOOM_OUT, Handler(&CVistrelDlg::OnZoomOutCommand)},
      {WM_COMMAND, 0, ID_DELETE, Handler(&CVistrelDlg::OnDeleteCommand)},
      {WM_COMMAND, 0, ID_ROTATE_LEFT, Handler(&CVistrelDlg::OnRotateLeftCommand)},
      {WM_COMMAND, 0, ID_ROTATE_RIGHT, Handler(&CVistrelDlg::OnRotateRightCommand)},
      {WM_COMMAND, 0, ID_OPEN_WITH, Handler(&CVistrelDlg::OnOpenWithCommand)},
      {WM_CLOSE, 0, 0, Handler(&CVistrelDlg::OnClose)},
      {WM_COMMAND, 0, ID_SLIDESHOW, Handler(&CVistrelDlg::OnSlideshowCommand)},
      {WM_MOVE, 0, 0, Handler(&CVistrelDlg::OnMove)},
      {WM_DROPFILES, 0, 0, Handler(&CVistrelDlg::OnDropFiles)},
      {WM_COMMAND, 0, ID_BACKGROUND, Handler(&CVistrelDlg::OnBackgroundCommand)},
      {WM_COMMAND, 0, ID_PROPERTIES, Handler(&CVistrelDlg::OnPropertiesCommand)},
      {WM_COMMAND, 0, ID_WEBSITE, Handler(&CVistrelDlg::OnWebsiteCommand)},
      {WM_COMMAND, 0, ID_PRINT, Handler(&CVistrelDlg::OnPrintCommand)},
      {WM_SLIDESHOW_STEP, 0, 0, Handler(&CVistrelDlg::OnSlideshowStep)},
  };
  static const MessageMap map = MakeMessageMap(CDialog::GetMessageMap(), entries);
  return &map;
}

BOOL CVistrelDlg::OnInitDialog() {
  CDialog::OnInitDialog();
  AddAboutItem();
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  initialLayoutDone = 0;
  viewState.windowRect = kDefaultWindowRect;
  currentIndex = 0;
  OpenStartFile(false, L"");
  SetInitialViewState(viewState);
  LoadSettings();
  return TRUE;
}

void CVistrelDlg::AddAboutItem() {
  HMENU systemMenu = GetSystemMenu(hwnd_, FALSE);
  if (systemMenu == nullptr) return;
  wchar_t text[128] = {};
  if (LoadStringW(GetModuleHandleW(nullptr), IDS_ABOUT_ITEM, text, 128) <= 0 || text[0] == 0) return;
  AppendMenuW(systemMenu, MF_SEPARATOR, 0, nullptr);
  AppendMenuW(systemMenu, MF_STRING, IDM_ABOUT, text);
}

LRESULT CVistrelDlg::OnSysCommand(WPARAM wParam, LPARAM) {
  if ((wParam & 0xFFF0) != IDM_ABOUT) return Default();
  CAboutDlg about;
  about.DoModal();
  return 0;
}

LRESULT CVistrelDlg::OnPaint(WPARAM, LPARAM) {
  if (initialLayoutDone == 0) {
    initialLayoutDone = 1;
    LayOutPictureOverClient();
    UpdateWindowTitle();
    Render(0, 0);
  }
  if (!IsIconic(hwnd_)) return Default();
  PaintIcon();
  return 0;
}

void CVistrelDlg::PaintIcon() {
  PaintScope paint(hwnd_);
  SendMessageW(hwnd_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(paint.Dc()), 0);
  RECT client;
  GetClientRect(hwnd_, &client);
  int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(paint.Dc(), x, y, icon_);
}

void CVistrelDlg::LayOutPictureOverClient() {
  RECT client;
  GetClientRect(hwnd_, &client);
  LayoutPictureControl(hwnd_, UnscaleX(client.left), UnscaleY(client.top), UnscaleX(client.right),
                       UnscaleY(client.bottom));
}

LRESULT CVistrelDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(icon_); }

void CVistrelDlg::RememberNormalRect() {
  RECT window;
  GetWindowRect(hwnd_, &window);
  viewState.windowRect = EdgesOf(window);
}

LRESULT CVistrelDlg::OnSize(WPARAM wParam, LPARAM) {
  StopSlideshow();
  Default();
  if (wParam != SIZE_MAXIMIZED && wParam != SIZE_MINIMIZED && viewState.fullScreen == 0)
    RememberNormalRect();
  if (initialLayoutDone == 0) return 0;
  LayOutPictureOverClient();
  viewState.zoom = 1.0f;
  Render(1, 0);
  return 0;
}

LRESULT CVistrelDlg::OnGetMinMaxInfo(WPARAM, LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  info->ptMinTrackSize.x = ScaleX(768);
  info->ptMinTrackSize.y = ScaleY(536);
  return Default();
}

// The picture control is owner-drawn: when the system asks it to repaint (it was covered, or
// the platform keeps no window contents), the last composed frame is put back as it was.
LRESULT CVistrelDlg::OnDrawItem(WPARAM wParam, LPARAM lParam) {
  if (wParam != IDC_PICTURE) return Default();
  if (initialLayoutDone != 0) RepaintKeptFrame(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
  return TRUE;
}

LRESULT CVistrelDlg::OnPictureClicked(WPARAM, LPARAM) { return 0; }

LRESULT CVistrelDlg::OnOkCommand(WPARAM, LPARAM) { return 0; }

LRESULT CVistrelDlg::OnCancelCommand(WPARAM, LPARAM) {
  OnCancel();
  return 0;
}

LRESULT CVistrelDlg::OnMove(WPARAM, LPARAM) {
  Default();
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  if ((style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0 || viewState.fullScreen != 0) return 0;
  RememberNormalRect();
  if (initialLayoutDone != 0) Render(1, 0);
  return 0;
}

int32_t CVistrelDlg::Render(int32_t reuse, RotateRequest rotate) { return ::Render(hwnd_, reuse, rotate); }
