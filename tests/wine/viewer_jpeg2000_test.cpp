// JPEG 2000 pictures on the real viewer window, shown like any other: a JP2 file and a bare, tiled
// codestream with alpha decoded on the worker and drawn, a codestream whose header promises too
// large a picture refused from that header, and a cut file failing quietly. (Their samples are
// checked one by one by the native tests.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "resource.h"
#include "support/test_jpeg2000.h"
#include "picture/win32/dib_image.h"
#include "decode/win32/picture_header_check.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Mostly one colour (the frame's centre shows it), with a band of varying samples at the top.
uint32_t Sample(int32_t x, int32_t y, int32_t c) {
  static const uint32_t kBase[4] = {30, 200, 90, 255};
  return y < 8 ? static_cast<uint32_t>((x * 5 + y * 11 + c * 70) % 256) : kBase[c];
}

// SOC and a SIZ for a 60000 x 60000 RGB picture, then nothing: only the header is real.
Bytes HugeCodestreamHeader() {
  Bytes b = {0xFF, 0x4F, 0xFF, 0x51, 0x00, 0x2F, 0x00, 0x00};
  for (uint32_t v : {60000u, 60000u, 0u, 0u, 60000u, 60000u, 0u, 0u}) {
    b.insert(b.end(), {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)});
  }
  b.insert(b.end(), {0x00, 0x03, 7, 1, 1, 7, 1, 1, 7, 1, 1, 0xFF, 0xD9});
  return b;
}

class ViewerJpeg2000 : public ViewerWindowTest {
 protected:
  void SetUp() override { folder_ = MakeScratchDir(L"jpeg2000-pictures"); }
  void TearDown() override { RemoveTree(folder_); }
  void Step(UINT command) {
    SendMessageW(Hwnd(), WM_COMMAND, command, 0);
    WaitForPicture();
  }
  std::wstring folder_;
};

TEST_F(ViewerJpeg2000, ShownLikeAnyOtherPicture) {
  Jpeg2000Options rgb;
  rgb.width = 160, rgb.height = 90, rgb.components = 3;
  Jpeg2000Options rgba = rgb;
  rgba.width = 150, rgba.components = 4, rgba.tileSize = 64, rgba.container = Jpeg2000Container::kCodestream;
  const Bytes jp2 = EncodeJpeg2000(rgb, Sample), j2k = EncodeJpeg2000(rgba, Sample);
  ASSERT_FALSE(jp2.empty() || j2k.empty()) << "openjpeg's encoder made no test picture";
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\a.jp2", jp2));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\b.J2K", j2k));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\c-huge.j2k", HugeCodestreamHeader()));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\d-cut.jpf", Bytes(jp2.begin(), jp2.begin() + 70)));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\e.bmp", 40, 30, Rgb{255, 0, 0}));

  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\c-huge.j2k")) << "expected the SIZ header to refuse it";
  EXPECT_FALSE(PictureTooLargeToDecode(folder_ + L"\\a.jp2"));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\e.bmp");
  ASSERT_EQ(ImageList.size(), 5u) << "every JPEG 2000 extension is listed";
  Step(ID_NEXT);
  EXPECT_EQ(Caption(), L"Vistrel - a.jp2");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the JP2 file to decode";
  EXPECT_EQ(currentImage.Width(), 160);
  EXPECT_EQ(currentImage.Height(), 90);
  EXPECT_EQ(currentImage.BitsPerPixel(), 24);
  EXPECT_EQ(CentreOfFrame(), 0x001EC85Au) << "expected the JP2 picture's colour in the frame";

  Step(ID_NEXT);
  EXPECT_EQ(Caption(), L"Vistrel - b.J2K");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the tiled codestream to decode";
  EXPECT_EQ(currentImage.Width(), 150);
  EXPECT_EQ(currentImage.BitsPerPixel(), 32);
  EXPECT_TRUE(currentImage.HasAlpha());
  EXPECT_EQ(CentreOfFrame(), 0x001EC85Au) << "expected the codestream's colour in the frame";

  for (const wchar_t* failing : {L"c-huge.j2k", L"d-cut.jpf"}) {
    SCOPED_TRACE(std::string(failing, failing + wcslen(failing)));
    Step(ID_NEXT);
    EXPECT_EQ(viewState.loadFailed, 1) << "expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  Step(ID_NEXT);
  EXPECT_EQ(Caption(), L"Vistrel - e.bmp");
  EXPECT_EQ(viewState.loadFailed, 0);
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u);
}

}  // namespace
