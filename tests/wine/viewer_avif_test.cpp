// AVIF pictures on the real viewer window, made by avifenc when the tests were built
// (tests/avif/make_avif_pictures.sh): an upright lossless picture with its exact pixels, a 10-bit
// one, one turned and mirrored by its own irot/imir, one with alpha composed over the background,
// one tagged with a wide-gamut profile and converted, an AVIF named .jpg, a cut file and one whose
// ispe promises too large a picture, both failing quietly. (Every depth, subsampling and grid is
// checked against libavif's own decode by the native tests.)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/picture_header_check.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Hex(uint32_t colour) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%06X", colour);
  return text;
}

// The bitmap's pixel (x, y) as 0x00RRGGBB.
uint32_t ImagePixel(const CImage& image, int32_t x, int32_t y) {
  const uint8_t* p = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch() + x * (image.BitsPerPixel() / 8);
  return (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

// Each channel of got within tolerance of expected.
bool Near(uint32_t got, uint32_t expected, int tolerance) {
  for (int shift = 0; shift <= 16; shift += 8) {
    if (std::abs(static_cast<int>((got >> shift) & 255) - static_cast<int>((expected >> shift) & 255)) > tolerance) {
      return false;
    }
  }
  return true;
}

// The file with its primary item's ispe rewritten to width x height.
Bytes WithExtent(Bytes bytes, uint32_t width, uint32_t height) {
  for (size_t i = 0; i + 16 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, "ispe", 4) != 0) continue;
    for (int b = 0; b < 4; ++b) {
      bytes[i + 8 + b] = static_cast<uint8_t>(width >> (24 - 8 * b));
      bytes[i + 12 + b] = static_cast<uint8_t>(height >> (24 - 8 * b));
    }
    return bytes;
  }
  return {};
}

class ViewerAvif : public ViewerWindowTest {
 protected:
  void SetUp() override {
    pictures_ = BinaryDir() + L"\\..\\avif-pictures";
    if (GetFileAttributesW((pictures_ + L"\\complete").c_str()) == INVALID_FILE_ATTRIBUTES) {
      GTEST_SKIP() << "no AVIF pictures in build/windows/avif-pictures (avifenc, ImageMagick, tificc or "
                      "colord-data missing when the build ran)";
    }
    folder_ = MakeScratchDir(L"avif-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  Bytes Made(const wchar_t* name) {
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(pictures_ + L"\\" + name, &bytes)) << "expected the made picture";
    return bytes;
  }
  void Step() {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
  }
  // The frame's pixel dx, dy from its centre.
  uint32_t NearCentre(int32_t dx, int32_t dy) {
    int32_t width = 0, height = 0;
    FrameSize(width, height);
    return FramePixel(width / 2 + dx, height / 2 + dy);
  }
  std::wstring pictures_, folder_;
};

TEST_F(ViewerAvif, ShownUprightTurnedComposedAndConvertedAndFailuresQuiet) {
  const Bytes upright = Made(L"upright.avif");
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\a-upright.avif", upright));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\b-deep.avif", Made(L"deep.avif")));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\c-turned.AVIF", Made(L"turned.avif")));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\d-alpha.avif", Made(L"alpha.avif")));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\e-icc.avif", Made(L"icc.avif")));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\f-lying.jpg", upright));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\g-cut.avif", Made(L"cut.avif")));
  const Bytes huge = WithExtent(upright, 60000, 60000);
  ASSERT_FALSE(huge.empty()) << "expected an ispe box in the upright picture";
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\h-huge.avif", huge));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\z.bmp", 40, 30, Rgb{255, 0, 0}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\h-huge.avif")) << "expected the ispe to refuse it";
  EXPECT_FALSE(PictureTooLargeToDecode(folder_ + L"\\a-upright.avif"));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\z.bmp");
  ASSERT_EQ(ImageList.size(), 9u) << "expected .avif, .AVIF and .jpg listed beside the BMP";

  Step();
  EXPECT_EQ(Caption(), L"Vistrel - a-upright.avif");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the upright AVIF to decode";
  ASSERT_EQ(currentImage.Width(), 160);
  ASSERT_EQ(currentImage.Height(), 90);
  EXPECT_EQ(currentImage.BitsPerPixel(), 24) << "expected an opaque picture drawn like a JPEG";
  EXPECT_EQ(ImagePixel(currentImage, 5, 5), 0xE6C828u) << "expected the marker top left, got "
                                                        << Hex(ImagePixel(currentImage, 5, 5));
  EXPECT_EQ(ImagePixel(currentImage, 150, 80), 0x1EC85Au);
  EXPECT_EQ(CentreOfFrame(), 0x1EC85Au) << "expected the lossless picture's exact colour, got " << Hex(CentreOfFrame());

  Step();
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the 10-bit AVIF to decode";
  EXPECT_EQ(currentImage.Width(), 96);
  EXPECT_TRUE(Near(CentreOfFrame(), 0x6496C8u, 2)) << "expected 10-bit rgb(100,150,200) within 2, got "
                                                   << Hex(CentreOfFrame());

  // irot 1 (a quarter anticlockwise) then imir 0 (top and bottom exchanged): the quadrants red,
  // green / blue, yellow become red, blue / green, yellow, on a picture turned upright.
  Step();
  EXPECT_EQ(Caption(), L"Vistrel - c-turned.AVIF");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the turned AVIF to decode";
  ASSERT_EQ(currentImage.Width(), 80) << "expected width and height exchanged by the quarter turn";
  ASSERT_EQ(currentImage.Height(), 120);
  const uint32_t quadrants[4] = {0xDC1E1Eu, 0x283CDCu, 0x1EC83Cu, 0xF0DC28u};  // TL, TR, BL, BR
  const int32_t at[4][2] = {{20, 30}, {60, 30}, {20, 90}, {60, 90}};
  for (int q = 0; q < 4; ++q) {
    EXPECT_EQ(ImagePixel(currentImage, at[q][0], at[q][1]), quadrants[q])
        << "quadrant " << q << ": expected " << Hex(quadrants[q]) << ", got "
        << Hex(ImagePixel(currentImage, at[q][0], at[q][1]));
    // The picture is fitted to the frame's height (enlarged, smoothed across the quadrants'
    // edges): an eighth of that height from the centre lies well inside each quadrant.
    int32_t frameWidth = 0, frameHeight = 0;
    FrameSize(frameWidth, frameHeight);
    const int32_t d = frameHeight / 8;
    const uint32_t shown = NearCentre(q % 2 == 0 ? -d : d, q < 2 ? -d : d);
    EXPECT_EQ(shown, quadrants[q]) << "frame near the centre, quadrant " << q << ": expected " << Hex(quadrants[q])
                                   << ", got " << Hex(shown);
  }

  // Straight alpha 128 over the light grey background: 200 x 128/255 + 250 x 127/255 = 225, and
  // 40 x 128/255 + 250 x 127/255 = 145.
  Step();
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the AVIF with alpha to decode";
  EXPECT_EQ(currentImage.BitsPerPixel(), 32);
  EXPECT_TRUE(currentImage.HasAlpha()) << "expected the alpha path for a picture with an alpha plane";
  EXPECT_TRUE(Near(CentreOfFrame(), 0xE19191u, 2)) << "expected rgb(225,145,145) within 2, got " << Hex(CentreOfFrame());

  Step();
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the tagged AVIF to decode";
  const auto display = DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow()));
  const ProfileKind kind = ClassifyProfile(*display);
  if (kind == ProfileKind::kNone || kind == ProfileKind::kSrgb || kind == ProfileKind::kUnusable) {
    Bytes text;
    ASSERT_TRUE(ReadFileBytes(pictures_ + L"\\icc-expected.txt", &text));
    text.push_back(0);
    int r = 0, g = 0, b = 0;
    ASSERT_EQ(std::sscanf(reinterpret_cast<const char*>(text.data()), "%d %d %d", &r, &g, &b), 3);
    const uint32_t expected = (static_cast<uint32_t>(r) << 16) | (static_cast<uint32_t>(g) << 8) | static_cast<uint32_t>(b);
    EXPECT_FALSE(Near(expected, 0x5AC8DCu, 10)) << "the profile must matter for the test to mean anything";
    EXPECT_TRUE(Near(CentreOfFrame(), expected, 2)) << "expected Little CMS's " << Hex(expected) << " within 2, got "
                                                    << Hex(CentreOfFrame());
  } else {
    std::printf("the display has a profile other than sRGB here: the tagged picture's colour is not checked\n");
  }

  Step();
  EXPECT_EQ(Caption(), L"Vistrel - f-lying.jpg");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected an AVIF named .jpg to show by its bytes";
  EXPECT_EQ(CentreOfFrame(), 0x1EC85Au) << "got " << Hex(CentreOfFrame());

  for (const wchar_t* failing : {L"g-cut.avif", L"h-huge.avif"}) {
    SCOPED_TRACE(std::string(failing, failing + wcslen(failing)));
    Step();
    EXPECT_EQ(viewState.loadFailed, 1) << "expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  Step();
  EXPECT_EQ(Caption(), L"Vistrel - z.bmp");
  EXPECT_EQ(viewState.loadFailed, 0);
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u);
}

}  // namespace
