// The context menu: it opens where the message says and its items issue the viewer's commands.
// (Its items themselves are checked from the program's resources: Wine keeps menu handles
// private to their process.)
#include "e2e/picture_test_folder.h"

namespace e2e {
namespace {

using ContextMenu = PictureViewerTest;

TEST_F(ContextMenu, RightClickMenuOpensAndItsFirstItemTogglesFullScreen) {
  ASSERT_NO_FATAL_FAILURE(StartOn(kRed));
  PostMessageW(viewer_.Window(), WM_CONTEXTMENU, reinterpret_cast<WPARAM>(viewer_.Window()), MAKELPARAM(300, 300));
  HWND menuWindow = viewer_.WaitForOtherWindow(L"#32768", L"", kStateTimeoutMs);
  ASSERT_NE(menuWindow, nullptr) << "expected the context menu to open";
  RECT where;
  GetWindowRect(menuWindow, &where);
  EXPECT_EQ(where.left, 300) << "left-aligned at the message's screen point";
  EXPECT_EQ(where.top, 300);

  // The first item is "Full Screen Toggle  ( F )".
  PostMessageW(menuWindow, WM_KEYDOWN, VK_DOWN, 0);
  PostMessageW(menuWindow, WM_KEYDOWN, VK_RETURN, 0);
  const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
  EXPECT_TRUE(WaitUntil(
      [&] {
        RECT r = viewer_.WindowEdges();
        return r.left == 0 && r.right == screenWidth;
      },
      kStateTimeoutMs))
      << "expected a full-screen window, got " << WindowRectText(viewer_.Window());
  EXPECT_FALSE(viewer_.HasOtherWindow()) << "the menu closes after the choice";
}

}  // namespace
}  // namespace e2e
