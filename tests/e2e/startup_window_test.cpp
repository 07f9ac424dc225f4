// First start, the system-menu About item and the keys that must not close the viewer.
#include "e2e/viewer_fixture.h"
#include "resource.h"

namespace e2e {
namespace {

using StartupWindow = ViewerTest;

TEST_F(StartupWindow, FirstStartWithoutArgumentOrSettingsIsMaximisedWithPlainCaption) {
  const std::wstring copy = ViewerCopyWithoutImages();
  ASSERT_FALSE(copy.empty());
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  ExpectMaximizedSoon();
  WaitForBareBackground(kLightGrey);
  EXPECT_EQ(Narrow(viewer_.Caption()), "Vistrel");
}

// The system menu of another process cannot be read from here under Wine (GetSystemMenu
// returns no menu for a foreign window), so the menu is driven as a user would: opened from
// the keyboard, Up from the top lands on the last item, Enter chooses it.
TEST_F(StartupWindow, LastSystemMenuItemOpensTheAboutBoxWhichClosesWithOkAndWithClose) {
  const std::wstring copy = ViewerCopyWithoutImages();
  ASSERT_FALSE(copy.empty());
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  WaitForBareBackground(kLightGrey);

  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round == 0 ? "answered with OK" : "closed with WM_CLOSE");
    viewer_.PostSysCommand(SC_KEYMENU, L' ');
    HWND menu = viewer_.WaitForOtherWindow(L"#32768", L"", kStateTimeoutMs);
    ASSERT_NE(menu, nullptr) << "expected the system menu to open";
    viewer_.PostKey(VK_UP);
    viewer_.PostKey(VK_RETURN);

    HWND about = viewer_.WaitForOtherWindow(L"#32770", L" About Vistrel", kStateTimeoutMs);
    ASSERT_NE(about, nullptr) << "expected the about box \" About Vistrel\" after choosing the last item";
    EXPECT_NE(GetDlgItem(about, IDOK), nullptr) << "expected an OK button in the about box";
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(about, IDC_ABOUT_TEXT), text, 64);
    EXPECT_EQ(Narrow(text), "Vistrel");

    if (round == 0) {
      ViewerProcess::PressButton(about, IDOK);
    } else {
      PostMessageW(about, WM_CLOSE, 0, 0);
    }
    EXPECT_TRUE(WaitUntil([&] { return !IsWindow(about); }, kStateTimeoutMs)) << "expected the about box to close";
    EXPECT_TRUE(viewer_.Running()) << "expected the viewer to stay open after the about box";
    EXPECT_TRUE(IsWindowVisible(viewer_.Window()));
  }
  CloseViewerAndWait();
}

// Posting a minimise after the keys tells when they have been handled: the queue is in order.
TEST_F(StartupWindow, EnterAndEscapeDoNotCloseTheViewer) {
  const std::wstring copy = ViewerCopyWithoutImages();
  ASSERT_FALSE(copy.empty());
  ASSERT_NO_FATAL_FAILURE(StartViewer(copy, L""));
  WaitForBareBackground(kLightGrey);

  viewer_.PostKey(VK_RETURN);
  viewer_.PostKey(VK_ESCAPE);
  viewer_.PostSysCommand(SC_MINIMIZE);
  EXPECT_TRUE(WaitUntil([&] { return viewer_.IsMinimized() || !viewer_.Running(); }, kStateTimeoutMs));
  ASSERT_TRUE(viewer_.Running()) << "expected the viewer to survive Enter and Esc; it ended";
  EXPECT_TRUE(IsWindow(viewer_.Window()));
  EXPECT_TRUE(viewer_.IsMinimized()) << "expected the minimise posted after the keys to be handled";

  viewer_.PostSysCommand(SC_RESTORE);
  EXPECT_TRUE(WaitUntil([&] { return !viewer_.IsMinimized(); }, kStateTimeoutMs));
  EXPECT_TRUE(viewer_.Running());
  CloseViewerAndWait();
}

}  // namespace
}  // namespace e2e
