// Render into a picture control, read back from the kept frame.
#include <windows.h>
#include <gtest/gtest.h>

#include "decode/win32/image_decode.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "support/render_calls.h"
#include "view/view_state.h"
#include "view/win32/dpi.h"
#include "view/win32/kept_frame.h"
#include "view/win32/render.h"
#include "view_fixture.h"

namespace {

constexpr Rgb kLight = MakeRgb(250, 250, 250);
constexpr Rgb kBlack = MakeRgb(0, 0, 0);
constexpr Rgb kGreen = MakeRgb(10, 200, 30);

class ViewRenderTest : public ViewWindowTest {
 protected:
  // A solid-colour opaque picture as a 24-bit BMP.
  std::wstring SolidBmp(const std::wstring& name, int32_t w, int32_t h, Rgb colour = kGreen) {
    const std::wstring path = Scratch(name);
    EXPECT_TRUE(SaveTestImage(path, w, h, L"image/bmp", [&](int32_t, int32_t) { return 0xFF000000u | colour; }));
    return path;
  }
  void ExpectFrame(int32_t x, int32_t y, Rgb expected, int tolerance = 2) {
    const Rgb got = FramePixel(x, y);
    EXPECT_TRUE(RgbNear(got, expected, tolerance))
        << "at (" << x << ", " << y << ") expected " << RgbText(expected) << ", got " << RgbText(got);
  }
};

TEST_F(ViewRenderTest, FittedWideImageHasMarginsInTheBackgroundOnLightAndDark) {
  const std::wstring path = SolidBmp(L"wide.bmp", 100, 50);
  for (int32_t level : {250, 0}) {
    viewState.backgroundLevel = level;
    const Rgb bg = level == 250 ? kLight : kBlack;
    ASSERT_EQ(ShowFile(path), 0);
    ReadFrame();
    ASSERT_EQ(frameWidth_, kWidth);
    ASSERT_EQ(frameHeight_, kHeight);
    ExpectFrame(400, 0, bg);
    ExpectFrame(400, 99, bg);
    ExpectFrame(0, 100, kGreen);
    ExpectFrame(799, 499, kGreen);
    ExpectFrame(400, 500, bg);
    ExpectFrame(799, 599, bg);
  }
}

TEST_F(ViewRenderTest, TallImageHasSideMarginsAndToggleNeedsNoDecode) {
  ASSERT_EQ(ShowFile(SolidBmp(L"tall.bmp", 300, 600)), 0);
  ReadFrame();
  ExpectFrame(249, 300, kLight);
  ExpectFrame(250, 300, kGreen);
  ExpectFrame(549, 300, kGreen);
  ExpectFrame(550, 300, kLight);
  // The file is gone, so only the kept bitmap can be drawn.
  ASSERT_TRUE(DeleteFileW(ImageList[0].c_str()));
  viewState.backgroundLevel = 0;
  ASSERT_EQ(Redraw(View()), 0);
  ReadFrame();
  ExpectFrame(249, 300, kBlack);
  ExpectFrame(400, 300, kGreen);
}

TEST_F(ViewRenderTest, ZoomedViewsArePannedAndLeaveNoStaleRows) {
  ASSERT_EQ(ShowFile(SolidBmp(L"wide.bmp", 100, 50)), 0);
  viewState.zoom = 2.0f;
  viewState.panX = -400.0f;
  viewState.panY = -300.0f;
  ASSERT_EQ(Redraw(View()), 0);
  ReadFrame();
  ASSERT_EQ(frameWidth_, kWidth);  // the frame has the control's size, not the zoomed image's
  ExpectFrame(0, 0, kGreen);
  ExpectFrame(799, 599, kGreen);

  // Just above 1.0 the pan applies; the float strips miss the bottom row, which must still be
  // background rather than what the previous frame had there.
  viewState.zoom = 1.0000001f;
  viewState.panX = 10.0f;
  viewState.panY = 20.0f;
  ASSERT_EQ(Redraw(View()), 0);
  ReadFrame();
  ExpectFrame(9, 300, kLight);
  ExpectFrame(10, 300, kGreen);
  ExpectFrame(400, 119, kLight);
  ExpectFrame(400, 120, kGreen);
  ExpectFrame(400, 520, kLight);
  ExpectFrame(400, 599, kLight);

  // Dragged wholly out of the area: only background.
  viewState.zoom = 3.0f;
  viewState.panX = 5000.0f;
  ASSERT_EQ(Redraw(View()), 0);
  ReadFrame();
  ExpectFrame(400, 300, kLight);
}

TEST_F(ViewRenderTest, AlphaPathComposesOverTheBackground) {
  // Left half transparent red, right half half-transparent blue.
  const std::wstring path = Scratch(L"alpha.png");
  ASSERT_TRUE(SaveTestImage(path, 80, 60, L"image/png", [](int32_t x, int32_t) {
    return x < 40 ? 0x00FF0000u : 0x800000FFu;
  }));
  ASSERT_EQ(ShowFile(path), 0);
  EXPECT_TRUE(currentImage.HasAlpha());
  EXPECT_EQ(viewState.alphaPrepared, 1);
  ReadFrame();
  ExpectFrame(200, 300, kLight);                       // transparent: background
  ExpectFrame(600, 300, MakeRgb(125, 125, 253), 3);    // 128 + 250 x 127/255 in blue
  viewState.backgroundLevel = 0;
  ASSERT_EQ(Redraw(View()), 0);
  ReadFrame();
  ExpectFrame(200, 300, kBlack);
  ExpectFrame(600, 300, MakeRgb(0, 0, 128), 3);
}

TEST_F(ViewRenderTest, MixedCaseExtensionTakesThePlainPathAndShowsStoredColours) {
  const std::wstring path = Scratch(L"alpha.Png");
  ASSERT_TRUE(SaveTestImage(path, 80, 60, L"image/png", [](int32_t, int32_t) { return 0x00FF0000u; }));
  ASSERT_EQ(ShowFile(path), 0);
  EXPECT_EQ(viewState.alphaPrepared, 0);
  ReadFrame();
  ExpectFrame(400, 300, MakeRgb(255, 0, 0));
}

TEST_F(ViewRenderTest, JpegInAFolderNamedPngIsDrawnOpaqueThroughTheAlphaPath) {
  const std::wstring folder = Scratch(L"photos.png");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  const std::wstring path = folder + L"\\a.jpg";
  ASSERT_TRUE(SaveTestImage(path, 64, 48, L"image/jpeg", [](int32_t, int32_t) { return 0xFF0A64C8u; }));
  ASSERT_EQ(ShowFile(path), 0);
  EXPECT_FALSE(currentImage.HasAlpha());
  EXPECT_EQ(viewState.alphaPrepared, 1);
  ReadFrame();
  ExpectFrame(400, 300, MakeRgb(10, 100, 200), 8);
}

TEST_F(ViewRenderTest, EmptyListPaintsTheBackground) {
  ASSERT_EQ(ShowFile(SolidBmp(L"wide.bmp", 100, 50)), 0);
  ImageList.clear();
  EXPECT_EQ(Reload(View()), -1);
  EXPECT_EQ(Redraw(View()), -1);
  ReadFrame();
  ExpectFrame(400, 300, kLight);
  ExpectFrame(0, 0, kLight);
}

TEST_F(ViewRenderTest, UndecodableFileKeepsThePreviousFrame) {
  ASSERT_EQ(ShowFile(SolidBmp(L"wide.bmp", 100, 50)), 0);
  ReadFrame();
  const std::vector<uint32_t> before = frame_;
  const std::wstring bogus = Scratch(L"not-an-image.png");
  ASSERT_TRUE(WriteBytes(bogus, "this is plain text, not a picture\n"));
  EXPECT_EQ(ShowFile(bogus), -1);
  EXPECT_EQ(viewState.loadFailed, 1);
  EXPECT_TRUE(currentImage.IsNull());
  EXPECT_EQ(Redraw(View()), -1);   // reusing draws nothing until a decode succeeds
  EXPECT_EQ(Turn(View(), kTurnClockwise), -1);
  ReadFrame();
  EXPECT_TRUE(frame_ == before) << "the kept frame changed after a failed decode";
  // An index outside the list fails the same way instead of reading past it.
  ImageList = {bogus};
  currentIndex = 5;
  EXPECT_EQ(Reload(View()), -1);
  EXPECT_EQ(viewState.loadFailed, 1);
}

TEST_F(ViewRenderTest, MissingPictureControlDrawsNothing) {
  const std::wstring path = SolidBmp(L"wide.bmp", 100, 50);
  DestroyWindow(picture_);
  ImageList = {path};
  EXPECT_EQ(Reload(View()), -1);
}

TEST_F(ViewRenderTest, KeptFrameIsRepaintedIntoTheDrawItemContext) {
  ASSERT_EQ(ShowFile(SolidBmp(L"wide.bmp", 100, 50)), 0);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  HBITMAP target = CreateCompatibleBitmap(screen, kWidth, kHeight);
  HGDIOBJ old = SelectObject(dc, target);
  PatBlt(dc, 0, 0, kWidth, kHeight, WHITENESS);
  DRAWITEMSTRUCT item = {};
  item.CtlType = ODT_STATIC;
  item.hwndItem = picture_;
  item.hDC = dc;
  item.rcItem = RECT{0, 0, kWidth, kHeight};
  EXPECT_TRUE(RepaintKeptFrame(View(), item));
  const COLORREF top = GetPixel(dc, 400, 10);
  const COLORREF middle = GetPixel(dc, 400, 300);
  SelectObject(dc, old);
  DeleteObject(target);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  EXPECT_TRUE(RgbNear(MakeRgb(GetRValue(top), GetGValue(top), GetBValue(top)), kLight, 1));
  EXPECT_TRUE(RgbNear(MakeRgb(GetRValue(middle), GetGValue(middle), GetBValue(middle)), kGreen, 2));
}

TEST_F(ViewRenderTest, LayoutMovesTheControlOverTheGivenRectangle) {
  // 640 x 480 in 96-dpi units at the view's DPI of 144: 960 x 720 device pixels.
  View().dpi = DisplayDpi{144, 144};
  LayoutPictureControl(View(), 0, 0, 640, 480);
  RECT client{};
  GetClientRect(picture_, &client);
  EXPECT_EQ(client.right, 960) << "expected a control 960 wide at 144 dpi, got " << client.right;
  EXPECT_EQ(client.bottom, 720) << "expected a control 720 high at 144 dpi, got " << client.bottom;
  ASSERT_EQ(ShowFile(SolidBmp(L"wide.bmp", 100, 50)), 0);
  ReadFrame();
  EXPECT_EQ(frameWidth_, 960);
  EXPECT_EQ(frameHeight_, 720);
}

}  // namespace
