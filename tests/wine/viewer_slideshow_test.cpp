// The slideshow on the real viewer window: its title, its steps on the window's thread, and
// the inputs that stop it.
#include <windows.h>

#include <gtest/gtest.h>

#include "commands/win32/slideshow.h"
#include "resource.h"
#include "viewer_window_fixture.h"

namespace {

class ViewerSlideshow : public ViewerWindowTest {
 protected:
  void SetUp() override {
    folder_ = MakeScratchDir(L"slideshow");
    for (const wchar_t* name : {L"a.bmp", L"b.bmp", L"c.bmp"})
      ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\" + name, 40, 30, Rgb{10, 200, 10}));
    ASSERT_NO_FATAL_FAILURE(OpenViewer());
    OpenStartFile(true, folder_ + L"\\c.bmp");
    SetWindowTextW(Hwnd(), L"Vistrel - c.bmp");
  }
  void TearDown() override {
    StopSlideshow(State().commands);
    RemoveTree(folder_);
  }
  void Key(WPARAM key) {
    MSG msg{Hwnd(), WM_KEYDOWN, key, 0, 0, {}};
    viewer_.FilterQueuedMessage(&msg);
  }
  // Lets the window's thread run for a while, as its message loop would.
  static void PumpFor(DWORD ms) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) Pump();
  }

  std::wstring folder_;
};

TEST_F(ViewerSlideshow, StepsEveryIntervalUnderItsTitleAndWrapsAround) {
  Key('S');
  ASSERT_EQ(viewState.slideshowRunning, 1);
  EXPECT_EQ(Caption(), L"Vistrel - Running Slide Show");
  EXPECT_EQ(currentIndex, 2) << "starting changes nothing until the first interval is over";
  viewState.zoom = 2.0f;
  PumpFor(3600);
  EXPECT_EQ(currentIndex, 0) << "one step after about 3 s, wrapping from the last entry";
  EXPECT_EQ(viewState.zoom, 1.0f);
  EXPECT_EQ(Caption(), L"Vistrel - Running Slide Show") << "a step of the slideshow leaves its title";
  Key('S');
  EXPECT_EQ(viewState.slideshowRunning, 0);
  EXPECT_EQ(Caption(), L"Vistrel - a.bmp");
  PumpFor(3600);
  EXPECT_EQ(currentIndex, 0) << "no step may follow the stop";
}

TEST_F(ViewerSlideshow, OtherKeysButtonsWheelMenuAndResizeStopItFirst) {
  Key('S');
  Key(VK_RIGHT);  // stops, then steps with the file-name title
  EXPECT_EQ(viewState.slideshowRunning, 0);
  EXPECT_EQ(currentIndex, 0);
  EXPECT_EQ(Caption(), L"Vistrel - a.bmp");
  WaitForPicture();  // input that comes while a picture decodes waits for it

  Key('S');
  Key(VK_SHIFT);
  EXPECT_EQ(viewState.slideshowRunning, 0) << "a key without an action stops it too";

  Key('S');
  MSG wheel{Hwnd(), WM_MOUSEWHEEL, MAKEWPARAM(0, WHEEL_DELTA), 0, 0, {}};
  viewer_.FilterQueuedMessage(&wheel);
  EXPECT_EQ(viewState.slideshowRunning, 0);

  StartSlideshow(State().commands);
  MSG press{Hwnd(), WM_LBUTTONDOWN, MK_LBUTTON, 0, 0, {}};
  viewer_.FilterQueuedMessage(&press);
  EXPECT_EQ(viewState.slideshowRunning, 0);

  StartSlideshow(State().commands);
  SetWindowPos(Hwnd(), nullptr, 0, 0, 1000, 760, SWP_NOMOVE | SWP_NOZORDER);
  EXPECT_EQ(viewState.slideshowRunning, 0) << "a resize stops it";

  SendMessageW(Hwnd(), WM_COMMAND, ID_SLIDESHOW, 0);
  EXPECT_EQ(viewState.slideshowRunning, 1) << "the menu command starts it";
  SendMessageW(Hwnd(), WM_COMMAND, ID_SLIDESHOW, 0);
  EXPECT_EQ(viewState.slideshowRunning, 0);
}

TEST_F(ViewerSlideshow, EmptyListStartsNothing) {
  ImageList.clear();
  SetWindowTextW(Hwnd(), L"Vistrel");
  StartSlideshow(State().commands);
  EXPECT_EQ(viewState.slideshowRunning, 0);
  EXPECT_EQ(Caption(), L"Vistrel");
}

}  // namespace
