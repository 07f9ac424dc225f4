// JPEG XL pictures on the real viewer window, made by cjxl when the tests run
// (tests/jxl/make_jxl_pictures.sh): lossless and lossy pictures against the numbers they were made
// from, one turned upright by its codestream's orientation (and not again by its Exif box), alpha
// composed over the background, one tagged Adobe RGB against Little CMS's tificc, an animation's
// first frame, a JPEG XL named .jpg, and a cut file and a huge size header failing quietly.
#include <windows.h>

#include <gtest/gtest.h>

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

// The largest difference of any colour channel between the shown picture and raw numbers (RGB or
// RGBA, top row first); -1 when the sizes differ. The first few differences are printed.
int Largest(const CImage& image, const Bytes& raw, size_t channels, double* mean = nullptr) {
  const int bytes = image.BitsPerPixel() / 8;
  if (image.IsNull() || raw.size() != static_cast<size_t>(image.Width()) * image.Height() * channels) return -1;
  int largest = 0, reported = 0;
  double sum = 0;
  for (int32_t y = 0; y < image.Height(); ++y) {
    for (int32_t x = 0; x < image.Width(); ++x) {
      const uint8_t* want = &raw[(static_cast<size_t>(y) * image.Width() + x) * channels];
      for (int c = 0; c < 3; ++c) {
        const int got = image.TopRow()[y * image.Pitch() + x * bytes + 2 - c], diff = std::abs(got - want[c]);
        if (diff > largest && reported++ < 3) std::printf("(%d, %d) channel %d: expected %d, got %d\n", x, y, c, want[c], got);
        largest = std::max(largest, diff);
        sum += diff;
      }
    }
  }
  if (mean != nullptr) *mean = sum / (3.0 * image.Width() * image.Height());
  return largest;
}

class ViewerJxl : public ViewerWindowTest {
 protected:
  void SetUp() override {
    if (GetFileAttributesW((pictures_ + L"\\complete").c_str()) == INVALID_FILE_ATTRIBUTES) {
      const Bytes why = Made(L"missing");
      GTEST_SKIP() << "no JPEG XL pictures: " << (why.empty() ? "the jxl_pictures test did not run" : std::string(why.begin(), why.end()));
    }
    folder_ = MakeScratchDir(L"jxl-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  Bytes Made(const wchar_t* name) {
    Bytes bytes;
    ReadFileBytes(pictures_ + L"\\" + name, &bytes);
    return bytes;
  }
  // Steps to the next picture and checks it was decoded at this size, without an EXIF turn.
  void StepTo(const wchar_t* name, int32_t width, int32_t height, int32_t bits) {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + name);
    ASSERT_EQ(viewState.loadFailed, 0) << "expected it to decode";
    EXPECT_TRUE(currentImage.Width() == width && currentImage.Height() == height && currentImage.BitsPerPixel() == bits)
        << "expected " << width << " x " << height << " x " << bits << ", got " << currentImage.Width() << " x "
        << currentImage.Height() << " x " << currentImage.BitsPerPixel();
    EXPECT_EQ(View().shown.rules.exifTurn, kTurnNone) << "the codestream's orientation must not be applied twice";
  }
  const std::wstring pictures_ = BinaryDir() + L"\\..\\jxl-pictures";
  std::wstring folder_;
};

TEST_F(ViewerJxl, ShownUprightInTheirColoursAndFailingQuietly) {
  const Bytes lossless = Made(L"lossless.jxl");
  ASSERT_FALSE(lossless.empty());
  const std::pair<const wchar_t*, Bytes> files[] = {
      {L"a-lossless.jxl", lossless}, {L"b-lossy.JXL", Made(L"lossy.jxl")},     {L"c-oriented.jxl", Made(L"oriented.jxl")},
      {L"d-alpha.jxl", Made(L"alpha.jxl")}, {L"e-tagged.jxl", Made(L"tagged.jxl")}, {L"f-animated.jxl", Made(L"animated.jxl")},
      {L"g-lying.jpg", lossless},    {L"h-cut.jxl", Bytes(lossless.begin(), lossless.end() - 20)},
      {L"i-huge.jxl", MakeJxlCodestreamHeader({1u << 30, 1u << 30, 1, true, true})}};
  for (const auto& [name, bytes] : files) ASSERT_TRUE(WriteFileBytes(folder_ + L"\\" + name, bytes));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\z.bmp", 40, 30, Rgb{255, 0, 0}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\i-huge.jxl")) << "expected the size header to refuse it";
  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\z.bmp");
  ASSERT_EQ(ImageList.size(), 10u) << "every picture is listed";
  const Bytes chart = Made(L"chart.rgb");

  ASSERT_NO_FATAL_FAILURE(StepTo(L"a-lossless.jxl", 160, 90, 24));
  EXPECT_EQ(Largest(currentImage, chart, 3), 0) << "expected the lossless picture's numbers exactly";
  ASSERT_NO_FATAL_FAILURE(StepTo(L"b-lossy.JXL", 160, 90, 24));
  double mean = 0;
  const int lossy = Largest(currentImage, chart, 3, &mean);
  EXPECT_TRUE(lossy >= 0 && lossy <= 40 && mean <= 2.0) << "expected close numbers, got largest " << lossy << ", mean " << mean;

  // Stored 64 x 48 with orientation 6: the JPEG's numbers turned a quarter clockwise.
  ASSERT_NO_FATAL_FAILURE(StepTo(L"c-oriented.jxl", 48, 64, 24));
  const Bytes stored = Made(L"quadrants.rgb");
  Bytes turned(stored.size());
  for (size_t y = 0; y < 64 && stored.size() == turned.size(); ++y)
    for (size_t x = 0; x < 48; ++x)
      for (size_t c = 0; c < 3; ++c) turned[(y * 48 + x) * 3 + c] = stored[((47 - x) * 64 + y) * 3 + c];
  const int oriented = Largest(currentImage, turned, 3);
  EXPECT_TRUE(oriented >= 0 && oriented <= 4) << "expected the numbers turned clockwise, got largest difference " << oriented;

  // Red at half alpha beside an opaque strip: the frame's centre is red composed over the background.
  ASSERT_NO_FATAL_FAILURE(StepTo(L"d-alpha.jxl", 160, 60, 32));
  EXPECT_TRUE(currentImage.HasAlpha() && View().shown.rules.alphaPath) << "expected the alpha path";
  const Bytes rgba = Made(L"alpha.rgba");
  ASSERT_EQ(rgba.size(), 160u * 60u * 4u);
  const uint8_t* middle = &rgba[(30 * 160 + 80) * 4];
  const uint32_t centre = CentreOfFrame();
  for (int c = 0; c < 3; ++c) {
    const int want = (middle[c] * middle[3] + viewState.backgroundLevel * (255 - middle[3]) + 127) / 255;
    const int got = static_cast<int>(centre >> (16 - 8 * c) & 255);
    EXPECT_LE(std::abs(got - want), 2) << "channel " << c << ": expected " << want << ", got " << got;
  }

  ASSERT_NO_FATAL_FAILURE(StepTo(L"e-tagged.jxl", 256, 128, 24));
  const ProfileKind display = ClassifyProfile(*DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow())));
  if (display == ProfileKind::kNone || display == ProfileKind::kSrgb || display == ProfileKind::kUnusable) {
    const int tagged = Largest(currentImage, Made(L"tagged.rgb"), 3);
    EXPECT_TRUE(tagged >= 0 && tagged <= 2) << "expected within 2 levels of tificc, got " << tagged;
    const int red = currentImage.TopRow()[32 * currentImage.Pitch() + 32 * 3 + 2];
    EXPECT_GT(std::abs(red - 200), 10) << "expected Adobe RGB's red 200 converted, got " << red;
  } else {
    std::printf("the display has a profile other than sRGB: the tagged picture's colours are not compared\n");
  }

  ASSERT_NO_FATAL_FAILURE(StepTo(L"f-animated.jxl", 40, 30, 32));
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "expected the first frame's red";
  ASSERT_NO_FATAL_FAILURE(StepTo(L"g-lying.jpg", 160, 90, 24));
  EXPECT_EQ(Largest(currentImage, chart, 3), 0) << "expected the JPEG XL named .jpg decoded as JPEG XL";
  for (const wchar_t* failing : {L"h-cut.jxl", L"i-huge.jxl", L"z.bmp"}) {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + failing);
    EXPECT_EQ(viewState.loadFailed, failing[0] == L'z' ? 0 : 1) << "expected a quiet failure, then the BMP";
    EXPECT_EQ(currentImage.IsNull(), failing[0] != L'z');
  }
}

}  // namespace
