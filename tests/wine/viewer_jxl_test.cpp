// JPEG XL pictures on the real viewer window, made by cjxl when the tests run
// (tests/jxl/make_jxl_pictures.sh): lossless and lossy pictures against the numbers they were made
// from, one turned upright by its codestream's orientation (never again by its Exif box), alpha
// composed over the background, one tagged Adobe RGB converted like Little CMS's own tificc, an
// animation's first frame, a JPEG XL named .jpg, and a cut file and a huge size header failing
// quietly.
#include <windows.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/picture_header_check.h"
#include "resource.h"
#include "support/test_jxl.h"
#include "support/test_paths.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

// How far the shown picture's pixels are from the raw numbers (RGB or RGBA, top row first) it was
// made from: the largest difference of any channel and the mean one; -1 when the sizes differ.
struct Difference {
  int largest = -1;
  double mean = 0;
};

Difference Compare(const CImage& image, const Bytes& raw, int rawChannels) {
  Difference d;
  const int bytes = image.BitsPerPixel() / 8;
  if (image.IsNull() || raw.size() != static_cast<size_t>(image.Width()) * image.Height() * rawChannels) return d;
  d.largest = 0;
  double sum = 0;
  int reported = 0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
    for (int32_t x = 0; x < image.Width(); ++x) {
      const uint8_t* want = raw.data() + (static_cast<size_t>(y) * image.Width() + x) * rawChannels;
      for (int c = 0; c < 3; ++c) {
        const int got = row[x * bytes + 2 - c], diff = std::abs(got - want[c]);
        if (diff > d.largest && reported++ < 3)
          std::printf("(%d, %d) channel %d: expected %d, got %d\n", x, y, c, want[c], got);
        d.largest = std::max(d.largest, diff);
        sum += diff;
      }
    }
  }
  d.mean = sum / (3.0 * image.Width() * image.Height());
  return d;
}

// The raw numbers of a picture turned a quarter clockwise (EXIF orientation 6).
Bytes TurnedClockwise(const Bytes& raw, int32_t width, int32_t height) {
  Bytes out(raw.size());
  for (int32_t y = 0; y < width; ++y)
    for (int32_t x = 0; x < height; ++x)
      for (int c = 0; c < 3; ++c)
        out[(static_cast<size_t>(y) * height + x) * 3 + c] = raw[(static_cast<size_t>(height - 1 - x) * width + y) * 3 + c];
  return out;
}

class ViewerJxl : public ViewerWindowTest {
 protected:
  void SetUp() override {
    pictures_ = BinaryDir() + L"\\..\\jxl-pictures";
    if (GetFileAttributesW((pictures_ + L"\\complete").c_str()) == INVALID_FILE_ATTRIBUTES) {
      Bytes why;
      ReadFileBytes(pictures_ + L"\\missing", &why);
      GTEST_SKIP() << "no JPEG XL pictures in " << Narrow(pictures_) << ": "
                   << (why.empty() ? "the jxl_pictures test did not run" : std::string(why.begin(), why.end()));
    }
    folder_ = MakeScratchDir(L"jxl-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  Bytes Made(const wchar_t* name) {
    Bytes bytes;
    EXPECT_TRUE(ReadFileBytes(pictures_ + L"\\" + name, &bytes)) << "expected " << Narrow(name) << " made";
    return bytes;
  }
  // Steps to the next picture and checks it was decoded at this size.
  void StepTo(const wchar_t* name, int32_t width, int32_t height, int32_t bits) {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + name);
    ASSERT_EQ(viewState.loadFailed, 0) << "expected " << Narrow(name) << " to decode";
    EXPECT_EQ(currentImage.Width(), width) << "expected width " << width << ", got " << currentImage.Width();
    EXPECT_EQ(currentImage.Height(), height) << "expected height " << height << ", got " << currentImage.Height();
    EXPECT_EQ(currentImage.BitsPerPixel(), bits);
    EXPECT_EQ(View().shown.rules.exifTurn, kTurnNone) << "the codestream's orientation must not be applied twice";
  }
  std::wstring pictures_, folder_;
};

TEST_F(ViewerJxl, ShownUprightInTheirColoursAndFailingQuietly) {
  const Bytes lossless = Made(L"lossless.jxl");
  const std::vector<std::pair<const wchar_t*, Bytes>> files = {
      {L"a-lossless.jxl", lossless},           {L"b-lossy.JXL", Made(L"lossy.jxl")},
      {L"c-oriented.jxl", Made(L"oriented.jxl")}, {L"d-alpha.jxl", Made(L"alpha.jxl")},
      {L"e-tagged.jxl", Made(L"tagged.jxl")},   {L"f-animated.jxl", Made(L"animated.jxl")},
      {L"g-lying.jpg", lossless},              {L"h-cut.jxl", Bytes(lossless.begin(), lossless.end() - 20)},
      {L"i-huge.jxl", MakeJxlCodestreamHeader({1u << 30, 1u << 30, 1, true, true})}};
  for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFileBytes(folder_ + L"\\" + name, bytes));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\z.bmp", 40, 30, Rgb{255, 0, 0}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\i-huge.jxl")) << "expected the size header to refuse it";
  EXPECT_FALSE(PictureTooLargeToDecode(folder_ + L"\\a-lossless.jxl"));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\z.bmp");
  ASSERT_EQ(ImageList.size(), 10u) << "every picture is listed";
  const Bytes chart = Made(L"chart.rgb");

  ASSERT_NO_FATAL_FAILURE(StepTo(L"a-lossless.jxl", 160, 90, 24));
  EXPECT_FALSE(currentImage.HasAlpha());
  EXPECT_EQ(Compare(currentImage, chart, 3).largest, 0) << "expected the lossless picture's numbers exactly";

  ASSERT_NO_FATAL_FAILURE(StepTo(L"b-lossy.JXL", 160, 90, 24));
  const Difference lossy = Compare(currentImage, chart, 3);
  std::printf("lossy: largest difference %d, mean %.2f\n", lossy.largest, lossy.mean);
  EXPECT_TRUE(lossy.largest >= 0 && lossy.largest <= 40 && lossy.mean <= 2.0)
      << "expected the lossy picture close to its numbers, got largest " << lossy.largest << ", mean " << lossy.mean;
  const uint32_t field = CentreOfFrame();
  EXPECT_TRUE(std::abs(int(field >> 16 & 255) - 30) <= 4 && std::abs(int(field >> 8 & 255) - 200) <= 4 &&
              std::abs(int(field & 255) - 90) <= 4)
      << "expected the flat field's colour 0x1EC85A in the frame, got 0x" << std::hex << field;

  // Stored 64 x 48 with orientation 6: shown 48 x 64, the JPEG's own numbers turned clockwise.
  ASSERT_NO_FATAL_FAILURE(StepTo(L"c-oriented.jxl", 48, 64, 24));
  const Difference turned = Compare(currentImage, TurnedClockwise(Made(L"quadrants.rgb"), 64, 48), 3);
  EXPECT_TRUE(turned.largest >= 0 && turned.largest <= 4)
      << "expected the JPEG's numbers turned a quarter clockwise, got largest difference " << turned.largest;

  // Red at half alpha beside an opaque strip: the frame's centre is its numbers composed over
  // the background.
  ASSERT_NO_FATAL_FAILURE(StepTo(L"d-alpha.jxl", 160, 60, 32));
  EXPECT_TRUE(currentImage.HasAlpha());
  EXPECT_TRUE(View().shown.rules.alphaPath) << "expected the alpha path for a JPEG XL with alpha";
  const Bytes rgba = Made(L"alpha.rgba");
  ASSERT_EQ(rgba.size(), 160u * 60u * 4u);
  const uint8_t* middle = rgba.data() + (30 * 160 + 80) * 4;
  const int back = viewState.backgroundLevel;
  const auto over = [&](int c) { return (middle[c] * middle[3] + back * (255 - middle[3]) + 127) / 255; };
  const uint32_t centre = CentreOfFrame();
  const int got[3] = {int(centre >> 16 & 255), int(centre >> 8 & 255), int(centre & 255)};
  const int want[3] = {over(0), over(1), over(2)};
  for (int c = 0; c < 3; ++c)
    EXPECT_LE(std::abs(got[c] - want[c]), 2) << "channel " << c << ": expected " << want[c] << ", got " << got[c];

  ASSERT_NO_FATAL_FAILURE(StepTo(L"e-tagged.jxl", 256, 128, 24));
  const ProfileKind display = ClassifyProfile(*DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow())));
  if (display == ProfileKind::kNone || display == ProfileKind::kSrgb || display == ProfileKind::kUnusable) {
    // Patch interiors against tificc's conversion to sRGB; the untagged numbers are far off.
    const Difference tagged = Compare(currentImage, Made(L"tagged.rgb"), 3);
    std::printf("tagged: largest difference from tificc %d, mean %.2f\n", tagged.largest, tagged.mean);
    EXPECT_TRUE(tagged.largest >= 0 && tagged.largest <= 2)
        << "expected within 2 levels of Little CMS, got " << tagged.largest;
    const uint8_t* redPatch = currentImage.TopRow() + 32 * currentImage.Pitch() + 32 * 3;
    EXPECT_GT(std::abs(redPatch[2] - 200), 10) << "expected Adobe RGB's red converted, got " << int(redPatch[2]);
  } else {
    std::printf("the display has a profile other than sRGB: the tagged picture's colours are not compared\n");
  }

  ASSERT_NO_FATAL_FAILURE(StepTo(L"f-animated.jxl", 40, 30, 32));
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "expected the first frame's red";

  ASSERT_NO_FATAL_FAILURE(StepTo(L"g-lying.jpg", 160, 90, 24));
  EXPECT_EQ(Compare(currentImage, chart, 3).largest, 0) << "expected the JPEG XL named .jpg decoded as JPEG XL";

  for (const wchar_t* failing : {L"h-cut.jxl", L"i-huge.jxl"}) {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + failing);
    EXPECT_EQ(viewState.loadFailed, 1) << Narrow(failing) << ": expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
  WaitForPicture();
  EXPECT_EQ(viewState.loadFailed, 0);
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "expected the BMP after the failures";
}

}  // namespace
