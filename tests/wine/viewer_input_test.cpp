// Keys, the wheel and the left button as the viewer's input filter sees them, and the commands
// they share with the context menu, on the real viewer window.
#include <windows.h>

#include <gtest/gtest.h>

#include "input/win32/full_screen.h"
#include "resource.h"
#include "support/render_calls.h"
#include "view/win32/render.h"
#include "viewer_window_fixture.h"

namespace {

constexpr uint32_t kLightGrey = 0x00FAFAFA;
constexpr uint32_t kBlack = 0x00000000;
constexpr uint32_t kRed = 0x00FF0000;

class ViewerInput : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"input");
    // Wide pictures: fitted into the picture area they leave bands above and below, and
    // turned a quarter they leave bands at the sides instead.
    ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\a.bmp", 80, 20, Rgb{255, 0, 0}));
    ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\b.bmp", 80, 20, Rgb{0, 0, 255}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    ShowWindow(Hwnd(), SW_RESTORE);
    SetWindowPos(Hwnd(), HWND_TOP, 100, 100, 900, 700, SWP_SHOWWINDOW);
    OpenStartFile(true, folder_ + L"\\a.bmp");
    viewState.backgroundLevel = kLightBackground;
    viewState.zoom = 1.0f;
    Reload(View());
  }
  void TearDown() override {
    if (viewState.fullScreen != 0) ToggleFullScreen(View());
    RemoveTree(folder_);
  }

  // Hands one queued message to the filter, as the modal loop does, and reports what it said.
  BOOL Filter(UINT message, WPARAM wParam, LPARAM lParam = 0) {
    MSG msg{GetDlgItem(Hwnd(), IDC_PICTURE), message, wParam, lParam, 0, {}};
    return viewer_.FilterQueuedMessage(&msg);
  }
  BOOL Key(WPARAM key) { return Filter(WM_KEYDOWN, key); }

  uint32_t LeftMiddle() {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(2, height / 2);
  }
  uint32_t TopMiddle() {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(width / 2, 2);
  }

  std::wstring folder_;
};

TEST_F(ViewerInput, ArrowsStepAndEveryMessageGoesOnToDelivery) {
  EXPECT_FALSE(Key(VK_RIGHT));
  EXPECT_EQ(Caption(), L"Vistrel - b.bmp");
  EXPECT_FALSE(Key(VK_RIGHT));
  EXPECT_EQ(Caption(), L"Vistrel - a.bmp");
  EXPECT_FALSE(Key(VK_LEFT));
  EXPECT_EQ(Caption(), L"Vistrel - b.bmp");
  WaitForPicture();  // input that comes while a picture decodes waits for it
  EXPECT_FALSE(Key(VK_RETURN));
  EXPECT_FALSE(Key(VK_ESCAPE));
  EXPECT_EQ(viewState.fullScreen, 0) << "Esc only leaves full screen";
}

// Enter and Esc queued to the picture control of a viewer running its real modal loop: the
// dialog manager's key handling would turn them into OK and Cancel and end it. A background
// command queued behind them shows they were taken while the window was still running; only
// the Cancel sent afterwards ends it.
struct ModalProbe {
  CVistrelDlg* viewer = nullptr;
  int32_t startLevel = -1;
  int phase = 0;
  bool runningAfterKeys = false;
};
ModalProbe* modalProbe = nullptr;

void CALLBACK StepModalProbe(HWND, UINT, UINT_PTR, DWORD) {
  ModalProbe& p = *modalProbe;
  HWND window = p.viewer->GetSafeHwnd();
  if (window == nullptr || !p.viewer->InitialLayoutDone()) return;
  if (p.phase == 0) {
    p.startLevel = viewState.backgroundLevel;
    HWND picture = GetDlgItem(window, IDC_PICTURE);
    for (WPARAM key : {VK_RETURN, VK_ESCAPE}) {
      PostMessageW(picture, WM_KEYDOWN, key, 1);
      PostMessageW(picture, WM_KEYUP, key, 0xC0000001);
    }
    PostMessageW(window, WM_COMMAND, ID_BACKGROUND, 0);
    p.phase = 1;
  } else if (p.phase == 1 && viewState.backgroundLevel != p.startLevel) {
    p.runningAfterKeys = IsWindow(window) && !p.viewer->Ended();
    PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    p.phase = 2;
  }
}

TEST(ViewerModalLoop, EnterAndEscNeverEndTheViewer) {
  CVistrelDlg viewer;
  ModalProbe probe;
  probe.viewer = &viewer;
  modalProbe = &probe;
  const UINT_PTR timer = SetTimer(nullptr, 0, 50, StepModalProbe);
  ASSERT_NE(timer, 0u);
  const INT_PTR result = viewer.DoModal();
  KillTimer(nullptr, timer);
  modalProbe = nullptr;
  EXPECT_EQ(probe.phase, 2) << "the keys and the background command never all arrived";
  EXPECT_TRUE(probe.runningAfterKeys) << "Enter or Esc ended the viewer";
  EXPECT_EQ(result, IDCANCEL) << "expected the Cancel command to end it, got " << result;
}

TEST_F(ViewerInput, BackgroundKeyAndCommandToggleTheMarginColour) {
  EXPECT_EQ(TopMiddle(), kLightGrey);
  Key('C');
  EXPECT_EQ(viewState.backgroundLevel, 0);
  EXPECT_EQ(TopMiddle(), kBlack);
  SendMessageW(Hwnd(), WM_COMMAND, ID_BACKGROUND, 0);
  EXPECT_EQ(viewState.backgroundLevel, 250);
  EXPECT_EQ(TopMiddle(), kLightGrey);
}

TEST_F(ViewerInput, RotationKeysAndCommandsTurnTheKeptPicture) {
  EXPECT_EQ(LeftMiddle(), kRed) << "a wide picture reaches the sides";
  EXPECT_EQ(TopMiddle(), kLightGrey);
  viewState.zoom = 2.0f;
  Key('R');
  EXPECT_EQ(viewState.zoom, 1.0f) << "a turn shows the whole picture fitted";
  EXPECT_EQ(LeftMiddle(), kLightGrey) << "turned, it is tall and leaves side bands";
  EXPECT_EQ(TopMiddle(), kRed);
  Key('L');
  EXPECT_EQ(LeftMiddle(), kRed);
  SendMessageW(Hwnd(), WM_COMMAND, ID_ROTATE_RIGHT, 0);
  EXPECT_EQ(TopMiddle(), kRed);
  SendMessageW(Hwnd(), WM_COMMAND, ID_ROTATE_LEFT, 0);
  EXPECT_EQ(TopMiddle(), kLightGrey);
}

TEST_F(ViewerInput, WheelAndArrowKeysZoomAndAPressStartsADragOnlyWhenZoomed) {
  Filter(WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_EQ(viewState.dragging, 0) << "no drag in the fitted view";
  Filter(WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA));
  EXPECT_EQ(viewState.zoom, 1.2000000477f);
  Key(VK_UP);
  EXPECT_EQ(viewState.zoom, 1.4000000954f);
  Filter(WM_LBUTTONDOWN, MK_LBUTTON);
  EXPECT_EQ(viewState.dragging, 1);
  Filter(WM_LBUTTONUP, 0);
  EXPECT_EQ(viewState.dragging, 0);
  Filter(WM_MOUSEWHEEL, MAKEWPARAM(0, 0));  // a delta of 0 zooms out
  Key(VK_DOWN);
  EXPECT_EQ(viewState.zoom, 1.0f);
  Key(VK_DOWN);
  EXPECT_EQ(viewState.zoom, 1.0f) << "never below the fitted view";
}

TEST_F(ViewerInput, DoubleClickOnThePictureTogglesBetweenFittedAndThreeTimes) {
  HWND picture = GetDlgItem(Hwnd(), IDC_PICTURE);
  SendMessageW(picture, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
  EXPECT_EQ(viewState.zoom, 3.0f) << "the picture control's double-click notification zooms";
  POINT cursor;
  GetCursorPos(&cursor);
  ScreenToClient(Hwnd(), &cursor);
  EXPECT_EQ(viewState.zoomAnchorX, cursor.x) << "the anchor is the cursor, not the message's point";
  EXPECT_EQ(viewState.panX, -(static_cast<float>(cursor.x) * 2.0f));
  SendMessageW(picture, WM_LBUTTONDBLCLK, MK_LBUTTON, MAKELPARAM(100, 100));
  EXPECT_EQ(viewState.zoom, 1.0f);
}

TEST_F(ViewerInput, FullScreenCoversThePrimaryScreenDarkAndComesBack) {
  RECT before;
  GetWindowRect(Hwnd(), &before);
  Key('F');
  ASSERT_EQ(viewState.fullScreen, 1);
  RECT screen, window;
  GetWindowRect(GetDesktopWindow(), &screen);
  GetWindowRect(Hwnd(), &window);
  EXPECT_EQ(window.right - window.left, screen.right - screen.left);
  EXPECT_EQ(window.bottom - window.top, screen.bottom - screen.top);
  EXPECT_EQ(GetWindowLongW(Hwnd(), GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_EQ(viewState.backgroundLevel, 0);
  EXPECT_EQ(viewState.windowRect.right - viewState.windowRect.left, before.right - before.left)
      << "the remembered normal rectangle is not the full-screen one";

  Key('C');
  EXPECT_EQ(viewState.backgroundLevel, 250) << "the background still toggles in full screen";
  Key(VK_ESCAPE);
  EXPECT_EQ(viewState.fullScreen, 0);
  GetWindowRect(Hwnd(), &window);
  EXPECT_EQ(window.left, before.left);
  EXPECT_EQ(window.top, before.top);
  EXPECT_EQ(window.right, before.right);
  EXPECT_EQ(window.bottom, before.bottom);
  EXPECT_NE(GetWindowLongW(Hwnd(), GWL_STYLE) & WS_CAPTION, 0);
  EXPECT_EQ(viewState.backgroundLevel, 250);
  SendMessageW(Hwnd(), WM_COMMAND, ID_FULLSCREEN, 0);
  EXPECT_EQ(viewState.fullScreen, 1) << "the menu command toggles too";
}

}  // namespace
