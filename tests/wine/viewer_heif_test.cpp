// HEIF pictures on the real viewer window, made by heif-enc when the build ran
// (tests/heif/make_heif_pictures.sh): upright pixels, the file's irot applied once (its EXIF
// orientation never on top), alpha composed over the background, an Adobe RGB profile and Display
// P3 code points converted, a 10-bit picture, a HEIF named .jpg, and a cut file and a huge ispe failing quietly.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/picture_header_check.h"
#include "resource.h"
#include "support/test_paths.h"
#include "view/fit_layout.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Expects the frame's pixel (0x00RRGGBB) within 3 of `expected` in every channel.
void ExpectNear(uint32_t pixel, const Rgb& expected, const std::string& what) {
  EXPECT_TRUE(Near(ToRgb(pixel), expected, 3))
      << what << ": expected about " << ToString(expected) << ", got " << ToString(ToRgb(pixel));
}

class ViewerHeif : public ViewerWindowTest {
 protected:
  void SetUp() override {
    pictures_ = BinaryDir() + L"\\..\\heif-pictures";
    if (GetFileAttributesW((pictures_ + L"\\complete").c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "no HEIF pictures in " << Narrow(pictures_)
                   << " (heif-enc, ImageMagick, tificc or colord-data missing when the build ran)";
    }
    folder_ = MakeScratchDir(L"heif-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  void Copy(const wchar_t* from, const wchar_t* to) {
    ASSERT_TRUE(CopyFileW((pictures_ + L"\\" + from).c_str(), (folder_ + L"\\" + to).c_str(), FALSE))
        << "could not copy " << Narrow(from);
  }
  void Step() {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
  }
  // The frame's pixel at the centre of the given quarter of the fitted picture (0: left or top,
  // 1: right or bottom).
  uint32_t Quarter(int column, int row) {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    const XywhRect fitted = FitImage(currentImage.Width(), currentImage.Height(), width, height);
    return FramePixel(fitted.x + fitted.width * (1 + 2 * column) / 4, fitted.y + fitted.height * (1 + 2 * row) / 4);
  }
  // The four quadrants heif-enc was given: red, green over blue, yellow, on a 96 x 64 picture.
  void ExpectQuadrants(const std::string& what) {
    ASSERT_EQ(viewState.loadFailed, 0) << what << ": expected it to decode";
    EXPECT_EQ(currentImage.Width(), 96) << what;
    EXPECT_EQ(currentImage.Height(), 64) << what;
    ExpectNear(Quarter(0, 0), Rgb{200, 40, 40}, what + ", top left");
    ExpectNear(Quarter(1, 0), Rgb{40, 180, 60}, what + ", top right");
    ExpectNear(Quarter(0, 1), Rgb{30, 60, 210}, what + ", bottom left");
    ExpectNear(Quarter(1, 1), Rgb{230, 200, 40}, what + ", bottom right");
  }
  std::wstring pictures_, folder_;
};

TEST_F(ViewerHeif, ShownUprightInTheirColoursAndFailingQuietly) {
  Copy(L"upright.heic", L"a-upright.heic");
  Copy(L"turned.heic", L"b-turned.HEIC");
  Copy(L"alpha.heic", L"c-alpha.heif");
  Copy(L"icc.heic", L"d-icc.hif");
  Copy(L"nclx.heic", L"e-nclx.heic");
  Copy(L"deep.heic", L"f-deep.heic");
  Copy(L"upright.heic", L"g-lying.jpg");
  Copy(L"huge.heic", L"h-huge.heic");
  Bytes whole;
  ASSERT_TRUE(ReadFileBytes(pictures_ + L"\\upright.heic", &whole));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\i-cut.heic", Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3)));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\j.bmp", 40, 30, Rgb{0, 0, 255}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\h-huge.heic")) << "expected the ispe box to refuse it";
  EXPECT_FALSE(PictureTooLargeToDecode(folder_ + L"\\a-upright.heic"));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\j.bmp");
  ASSERT_EQ(ImageList.size(), 10u) << "expected every HEIF extension listed";

  Step();
  EXPECT_EQ(Caption(), L"Vistrel - a-upright.heic");
  ExpectQuadrants("upright");
  EXPECT_EQ(currentImage.BitsPerPixel(), 24);
  EXPECT_FALSE(currentImage.HasAlpha());

  // Stored 64 x 96 with irot (turn it back) and an EXIF orientation 6 (the same turn): one turn.
  Step();
  ExpectQuadrants("turned by its irot");

  Step();
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the picture with alpha to decode";
  EXPECT_EQ(currentImage.BitsPerPixel(), 32);
  EXPECT_TRUE(currentImage.HasAlpha()) << "expected the alpha path";
  // Red at alpha 128 over the light background (250), and opaque green.
  ExpectNear(Quarter(0, 0), Rgb{252, 124, 124}, "half-transparent red over 250 grey");
  ExpectNear(Quarter(1, 0), Rgb{0, 160, 0}, "opaque green");

  // The same numbers as Adobe RGB (an ICC profile) and as Display P3 (nclx code points), each
  // against its reference in sRGB: Little CMS's tificc, and a conversion from the primaries.
  const auto display = DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow()));
  const ProfileKind kind = ClassifyProfile(*display);
  const bool srgbDisplay = kind == ProfileKind::kNone || kind == ProfileKind::kSrgb || kind == ProfileKind::kUnusable;
  if (!srgbDisplay) std::printf("the display has a profile other than sRGB: the tagged references are not checked\n");
  for (const wchar_t* tagged : {L"icc", L"nclx"}) {
    const std::string name = Narrow(tagged);
    SCOPED_TRACE(name);
    Step();
    ASSERT_EQ(viewState.loadFailed, 0) << "expected the tagged picture to decode";
    if (!srgbDisplay) continue;
    Bytes text;
    Rgb reference{-1, -1, -1};
    ASSERT_TRUE(ReadFileBytes(pictures_ + L"\\" + tagged + L"-reference.txt", &text));
    text.push_back(0);
    ASSERT_EQ(std::sscanf(reinterpret_cast<const char*>(text.data()), "%d %d %d", &reference.r, &reference.g,
                          &reference.b), 3);
    ExpectNear(CentreOfFrame(), reference, name + ": (40,180,60) converted");
    EXPECT_FALSE(Near(ToRgb(CentreOfFrame()), Rgb{40, 180, 60}, 6)) << name << ": expected the numbers converted";
  }

  Step();
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the 10-bit picture to decode";
  ExpectNear(CentreOfFrame(), Rgb{200, 40, 40}, "10-bit red");

  Step();
  EXPECT_EQ(Caption(), L"Vistrel - g-lying.jpg");
  ExpectQuadrants("a HEIF named .jpg");

  for (const char* failing : {"h-huge.heic", "i-cut.heic"}) {
    SCOPED_TRACE(failing);
    Step();
    EXPECT_EQ(viewState.loadFailed, 1) << "expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  Step();
  EXPECT_EQ(Caption(), L"Vistrel - j.bmp");
  EXPECT_EQ(viewState.loadFailed, 0);
  EXPECT_EQ(CentreOfFrame(), 0x000000FFu) << "expected the BMP after the HEIF pictures";
}

}  // namespace
