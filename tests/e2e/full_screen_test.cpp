// Full screen as a first start meets it: entered from the maximised window, left, and entered
// again, it must cover the whole screen with nothing of the frame left each time.
#include "e2e/viewer_fixture.h"

namespace e2e {
namespace {

using FullScreen = ViewerTest;

TEST_F(FullScreen, EnteredFromAMaximisedWindowCoversTheWholeScreenEveryTime) {
  // A wide picture fitted to the screen leaves bands of background above and below it.
  const std::wstring picture = scratch_ + L"\\wide.bmp";
  ASSERT_TRUE(WriteSolidBmp(picture, 400, 100, Rgb{200, 40, 40}));
  ASSERT_NO_FATAL_FAILURE(StartViewer(ViewerExePath(), Quote(picture)));
  ExpectMaximizedSoon();
  std::wstring seen;
  ASSERT_TRUE(viewer_.WaitForCaption(L"Vistrel - wide.bmp", kStateTimeoutMs, &seen))
      << "expected the caption \"Vistrel - wide.bmp\", got \"" << Narrow(seen) << "\"";
  RECT desktop = {};
  GetWindowRect(GetDesktopWindow(), &desktop);
  const RECT topRow{desktop.left, desktop.top, desktop.right, desktop.top + 1};
  auto style = [&] { return GetWindowLongW(viewer_.Window(), GWL_STYLE); };

  for (int entry = 1; entry <= 2; ++entry) {
    SCOPED_TRACE("entry " + std::to_string(entry));
    viewer_.PostKey('F');
    RECT client = {};
    EXPECT_TRUE(WaitUntil([&] {
      client = viewer_.ClientScreenEdges();
      return EqualRect(&client, &desktop) != FALSE;
    }, kStateTimeoutMs)) << "expected the client area at 0, 0, " << desktop.right << ", " << desktop.bottom
                         << ", got " << client.left << ", " << client.top << ", " << client.right << ", "
                         << client.bottom;
    EXPECT_EQ(style() & (WS_CAPTION | WS_THICKFRAME | WS_MAXIMIZE), 0)
        << "expected no caption, border or maximised style";
    // Nothing of the caption or border may be left on screen: the top row is background only.
    ScreenCapture row;
    PixelEdges content;
    const bool dark = WaitUntil([&] {
      row = CaptureScreen(topRow);
      content = FindContentEdges(row, kBlack, 0);
      return !row.Empty() && content.Width() == 0;
    }, kStateTimeoutMs);
    EXPECT_TRUE(dark) << "expected the screen's top row dark, got "
                      << (row.Empty() ? std::string("no capture")
                                      : ToString(ToRgb(row.At(content.left, 0))) + " from x " +
                                            std::to_string(content.left) + " to " + std::to_string(content.right));
    if (entry == 2) break;

    viewer_.PostKey('F');
    EXPECT_TRUE(WaitUntil([&] { return viewer_.IsMaximized() && (style() & WS_CAPTION) == WS_CAPTION; },
                          kStateTimeoutMs))
        << "expected the caption and the maximised style back, got style " << std::hex << style();
    EXPECT_TRUE(WaitUntil([&] { return viewer_.ClientScreenEdges().top > desktop.top; }, kStateTimeoutMs))
        << "expected the caption above the client area again";
  }
  CloseViewerAndWait();
}

}  // namespace
}  // namespace e2e
