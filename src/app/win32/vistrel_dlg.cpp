#include "app/win32/vistrel_dlg.h"

#include <windowsx.h>

#include "app/win32/about_dlg.h"
#include "app/win32/settings_file.h"
#include "browse/win32/animation.h"
#include "browse/win32/folder_listing.h"
#include "browse/win32/navigation.h"
#include "browse/win32/picture_loader.h"
#include "commands/win32/delete_image.h"
#include "commands/win32/shell_actions.h"
#include "commands/win32/slideshow.h"
#include "framework/paint_scope.h"
#include "framework/start_profile.h"
#include "framework/win_app.h"
#include "framework/task_runner.h"
#include "imagelist/win32/image_list.h"
#include "input/win32/context_menu.h"
#include "input/win32/deferred_input.h"
#include "input/win32/full_screen.h"
#include "input/win32/input_filter.h"
#include "input/win32/view_commands.h"
#include "input/win32/zoom_pan.h"
#include "resource.h"
#include "view/view_state.h"
#include "view/win32/background_turn.h"
#include "view/win32/dpi.h"
#include "view/win32/exact_view.h"
#include "view/win32/render.h"
#include "view/win32/window_edges.h"

namespace {

// The dialog manager of a per-monitor (v2) aware process rescales a dialog and moves its controls
// itself on a DPI change; the viewer lays its one control out and refits its picture itself
// (OnDpiChanged), so that is turned off where the system has it (Windows 10 1703 and later).
void LeaveDpiChangesToTheViewer(HWND dialog) {
  using SetBehaviourFn = BOOL(WINAPI*)(HWND, int, int);
  constexpr int kDisableResize = 0x2;           // DDC_DISABLE_RESIZE
  constexpr int kDisableControlRelayout = 0x4;  // DDC_DISABLE_CONTROL_RELAYOUT
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  const auto set = reinterpret_cast<SetBehaviourFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(user32, "SetDialogDpiChangeBehavior")));
  if (set == nullptr) return;
  set(dialog, kDisableResize | kDisableControlRelayout, kDisableResize | kDisableControlRelayout);
}

}  // namespace

CVistrelDlg::CVistrelDlg()
    : CDialog(IDD_VIEWER), icon_(LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_APP))) {}

void CVistrelDlg::RunModal(CWinApp* app) {
  app->SetMainWindow(this);
  DoModal();
  app->SetMainWindow(nullptr);
}

// One row per message and per command; keys issue the same commands (input/key_table.cpp).
const MessageMap* CVistrelDlg::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      OnMessage<&CVistrelDlg::OnSysCommand>(WM_SYSCOMMAND),
      OnMessage<&CVistrelDlg::OnPaint>(WM_PAINT),
      OnMessage<&CVistrelDlg::OnQueryDragIcon>(WM_QUERYDRAGICON),
      OnMessage<&CVistrelDlg::OnSize>(WM_SIZE),
      OnMessage<&CVistrelDlg::OnGetMinMaxInfo>(WM_GETMINMAXINFO),
      OnMessage<&CVistrelDlg::OnDrawItem>(WM_DRAWITEM),
      OnCommand<&CVistrelDlg::OnPictureClicked>(IDC_PICTURE, STN_CLICKED),
      OnCommand<&OnPictureDoubleClick>(IDC_PICTURE, STN_DBLCLK),
      OnCommand<&CVistrelDlg::OnOkCommand>(IDOK),
      OnCommand<&CVistrelDlg::OnCancel>(IDCANCEL),
      OnMessage<&CVistrelDlg::OnContextMenu>(WM_CONTEXTMENU),
      OnCommand<&ToggleFullScreen>(ID_FULLSCREEN),
      OnCommand<&ShowNextImage>(ID_NEXT),
      OnCommand<&ShowPreviousImage>(ID_PREVIOUS),
      OnCommand<&ZoomIn>(ID_ZOOM_IN),
      OnCommand<&ZoomOut>(ID_ZOOM_OUT),
      OnCommand<&DeleteCurrentImage>(ID_DELETE),
      OnCommand<&RotateLeft>(ID_ROTATE_LEFT),
      OnCommand<&RotateRight>(ID_ROTATE_RIGHT),
      OnCommand<&OpenWith>(ID_OPEN_WITH),
      OnMessage<&CVistrelDlg::OnClose>(WM_CLOSE),
      OnCommand<&ToggleSlideshow>(ID_SLIDESHOW),
      OnMessage<&CVistrelDlg::OnMove>(WM_MOVE),
      OnMessage<&CVistrelDlg::OnDisplayChange>(WM_DISPLAYCHANGE),
      OnMessage<&CVistrelDlg::OnDpiChanged>(WM_DPICHANGED),
      OnMessage<&CVistrelDlg::OnDropFiles>(WM_DROPFILES),
      OnCommand<&ToggleBackground>(ID_BACKGROUND),
      OnCommand<&ShowProperties>(ID_PROPERTIES),
      OnCommand<&OpenWebsite>(ID_WEBSITE),
      OnCommand<&PrintImage>(ID_PRINT),
      OnMessage<&TakeSlideshowStep>(WM_SLIDESHOW_STEP),
      OnMessage<&CVistrelDlg::OnWorkerResults>(WM_WORKER_RESULTS),
      OnMessage<&CVistrelDlg::OnDestroy>(WM_DESTROY),
      OnMessage<&CVistrelDlg::OnTimer>(WM_TIMER),
  };
  static const MessageMap map = MakeMessageMap(CDialog::GetMessageMap(), entries);
  return &map;
}

BOOL CVistrelDlg::OnInitDialog() {
  MarkStartPhase(StartPhase::kWindowCreated);
  CDialog::OnInitDialog();
  AddAboutItem();
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
  initialLayoutDone = 0;
  state_.view.viewer = hwnd_;
  state_.view.dpi = DpiOfWindow(hwnd_);
  LeaveDpiChangesToTheViewer(hwnd_);
  state_.tasks.SetReplyWindow(hwnd_);
  viewState.windowRect = kDefaultWindowRect;
  currentIndex = 0;
  OpenStartFileAhead(state_.browse);
  SetInitialViewState(viewState);
  LoadSettings();
  // Placed now, possibly on another monitor than the one it was made on.
  state_.view.dpi = DpiOfWindow(hwnd_);
  MarkStartPhase(StartPhase::kWindowShown);
  // Placed and sized now: the start picture, decoding since the process began, is fitted to the
  // picture area the first paint lays out, so it may be ready to draw then.
  RECT client{};
  GetClientRect(hwnd_, &client);
  // The size LayOutPictureOverClient will give the picture control.
  const DisplayDpi& dpi = state_.view.dpi;
  GiveStartPictureItsWindow(state_.browse, ScaleX(dpi, UnscaleX(dpi, client.right)),
                            ScaleY(dpi, UnscaleY(dpi, client.bottom)));
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
    MarkStartPhase(StartPhase::kFirstPaint);
    initialLayoutDone = 1;
    LayOutPictureOverClient();
    UpdateWindowTitle(hwnd_);
    ShowCurrentPicture(state_.browse, StepDirection::kNone);
    // A large folder's listing would share the cores with the first picture's blit: it starts
    // once that picture is shown (or has failed), unless it already has.
    if (!PictureLoading(state_.browse)) StartFolderListing(state_.browse);
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
  const DisplayDpi& dpi = state_.view.dpi;
  LayoutPictureControl(state_.view, UnscaleX(dpi, client.left), UnscaleY(dpi, client.top),
                       UnscaleX(dpi, client.right), UnscaleY(dpi, client.bottom));
}

LRESULT CVistrelDlg::OnQueryDragIcon(WPARAM, LPARAM) { return reinterpret_cast<LRESULT>(icon_); }

void CVistrelDlg::RememberNormalRect() { viewState.windowRect = WindowEdges(hwnd_); }

LRESULT CVistrelDlg::OnSize(WPARAM wParam, LPARAM) {
  StopSlideshow(state_.commands);
  Default();
  if (wParam != SIZE_MAXIMIZED && wParam != SIZE_MINIMIZED && viewState.fullScreen == 0)
    RememberNormalRect();
  PauseAnimation(state_.browse, wParam == SIZE_MINIMIZED);
  if (initialLayoutDone == 0) return 0;
  LayOutPictureOverClient();
  viewState.zoom = 1.0f;
  Redraw(state_.view);
  return 0;
}

LRESULT CVistrelDlg::OnGetMinMaxInfo(WPARAM, LPARAM lParam) {
  auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
  info->ptMinTrackSize.x = ScaleX(state_.view.dpi, kMinimumWindowWidth);
  info->ptMinTrackSize.y = ScaleY(state_.view.dpi, kMinimumWindowHeight);
  return Default();
}

// The window moved onto a monitor of another scale, or its monitor's scale changed: the window
// takes the rectangle the system suggests (its size scaled with the DPI), and the minimum size,
// the picture control and the fitted view follow the new DPI. The fitted copy for the new size
// is made on the worker, as for any resize.
LRESULT CVistrelDlg::OnDpiChanged(WPARAM wParam, LPARAM lParam) {
  const DisplayDpi dpi{LOWORD(wParam), HIWORD(wParam)};
  if (dpi.x > 0 && dpi.y > 0) state_.view.dpi = dpi;
  RECT before{};
  GetClientRect(hwnd_, &before);
  const auto* suggested = reinterpret_cast<const RECT*>(lParam);
  // Full screen keeps covering the screen, whose size in pixels a new scale does not change.
  if (suggested != nullptr && viewState.fullScreen == 0) {
    SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, suggested->right - suggested->left,
                 suggested->bottom - suggested->top, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  RECT after{};
  GetClientRect(hwnd_, &after);
  // A new size has been laid out and refitted by OnSize; the same size still needs the control
  // laid out at the new scale and the fitted view back.
  if (initialLayoutDone != 0 && after.right == before.right && after.bottom == before.bottom) {
    LayOutPictureOverClient();
    viewState.zoom = 1.0f;
    Redraw(state_.view);
  }
  return 0;
}

// The picture control is owner-drawn: when the system asks it to repaint (it was covered, or
// the platform keeps no window contents), the last composed frame is put back as it was.
LRESULT CVistrelDlg::OnDrawItem(WPARAM wParam, LPARAM lParam) {
  if (wParam != IDC_PICTURE) return Default();
  const auto& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
  // Until the first frame (the start picture still decoding) the area shows the background, so
  // nothing but the background comes before the picture.
  if (initialLayoutDone == 0 || !RepaintKeptFrame(state_.view, item)) PaintBackgroundOnly(item);
  return TRUE;
}

LRESULT CVistrelDlg::OnMove(WPARAM, LPARAM) {
  Default();
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  if ((style & (WS_MINIMIZE | WS_MAXIMIZE)) != 0 || viewState.fullScreen != 0) return 0;
  RememberNormalRect();
  if (initialLayoutDone != 0) {
    Redraw(state_.view);
    FollowDisplayProfile(state_.browse, DisplayCheck::kIfMonitorChanged);  // onto another monitor
  }
  return 0;
}

LRESULT CVistrelDlg::OnDisplayChange(WPARAM, LPARAM) {
  if (initialLayoutDone != 0) FollowDisplayProfile(state_.browse, DisplayCheck::kAlways);
  return Default();
}

LRESULT CVistrelDlg::OnDropFiles(WPARAM wParam, LPARAM) {
  OpenDroppedFiles(state_.browse, reinterpret_cast<HDROP>(wParam));
  return Default();
}

// Opens at the message's screen point, (-1, -1) included when raised from the keyboard.
LRESULT CVistrelDlg::OnContextMenu(WPARAM, LPARAM lParam) {
  StopSlideshow(state_.commands);
  ShowContextMenu(hwnd_, POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
  return 0;
}

// Input that must wait for the list or the picture is taken out of delivery here and given
// back in order once the wait is over (OnWorkerResults).
BOOL CVistrelDlg::FilterQueuedMessage(MSG* msg) {
  if (DeferWhileBusy(state_.input, *msg)) return TRUE;
  FilterViewerInput(state_.input, *msg);
  return FALSE;
}

// Results may arrive inside a nested loop (the delete prompt's, a menu's): they are taken there,
// but held input waits for the viewer's own loop (OnLoopTurn).
LRESULT CVistrelDlg::OnWorkerResults(WPARAM, LPARAM) {
  state_.tasks.TakeReplies();
  // The start folder's listing waits for the first picture (shown or failed): a large folder's
  // listing would otherwise share the cores with its decode and blit.
  if (initialLayoutDone != 0 && !PictureLoading(state_.browse)) StartFolderListing(state_.browse);
  FinishSlideshowStep(state_.commands);
  return 0;
}

LRESULT CVistrelDlg::OnTimer(WPARAM wParam, LPARAM) {
  if (wParam == kAnimationTimer) {
    AnimationTick(state_.browse);
    return 0;
  }
  if (wParam == kHeldStepTimer) {
    KillTimer(hwnd_, kHeldStepTimer);  // the loop's turn after this message replays
    return 0;
  }
  if (wParam != kExactViewTimer) return Default();
  AskForExactView(state_.view);
  return 0;
}

void CVistrelDlg::OnLoopTurn() {
  if (state_.tasks.RepliesWaiting()) OnWorkerResults(0, 0);
  ReplayDeferredInput(state_.input);
  // What a killed viewer left behind waits until the start picture is up; the files are looked
  // at on the worker.
  if (!settingsTidied_ && initialLayoutDone != 0 && !PictureLoading(state_.browse)) {
    settingsTidied_ = true;
    const std::wstring settings = SettingsFilePath();
    state_.tasks.PostTaskAndReply(
        TaskRunner::Placement::kLast,
        [settings](const std::atomic<bool>&) {
          RemoveStaleSettingsTemporaries(settings);
          return true;
        },
        [](bool&) {});
  }
}

// How long closing waits for a task that is told to stop; a decode inside the imaging library
// cannot stop early, and closing does not wait for it to end.
constexpr DWORD kWorkerStopWaitMs = 250;

// The worker and everything prepared go with the window: nothing of them may outlive it.
LRESULT CVistrelDlg::OnDestroy(WPARAM, LPARAM) {
  DropDeferredInput(state_.input);
  StopSlideshow(state_.commands);
  AbandonFolderListing(state_.browse);
  ForgetPreparedPictures(state_.browse);
  AbandonTurn(state_.view);
  CancelExactViewJobs(state_.view);
  StopWorker();
  return Default();
}

bool CVistrelDlg::StopWorker() { return state_.tasks.Shutdown(kWorkerStopWaitMs); }
