// WebP pictures on the real viewer window, made at test time by the host's cwebp and webpmux from
// pictures made here: a lossy and a lossless one shown upright with their pixels, a lossy one with
// alpha composed over the background like a transparent PNG, one tagged with a wide-gamut profile
// shown converted, a WebP named .jpg, and a cut file and a huge header failing quietly.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "decode/win32/colour_managed.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/picture_header_check.h"
#include "resource.h"
#include "support/host_tool.h"
#include "support/image_encoders.h"
#include "view/fit_layout.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kW = 160, kH = 90;
const std::string kProfile = "/usr/share/color/icc/colord/AdobeRGB1998.icc";
// Four flat quarters, top-left first; the last two are see-through where the picture has alpha.
const uint32_t kQuarters[4] = {0xFFC81E1Eu, 0xFF28B43Cu, 0x801E3CD2u, 0x00E6C828u};
uint32_t Quarters(int32_t x, int32_t y) { return kQuarters[(y < kH / 2 ? 0 : 2) + (x < kW / 2 ? 0 : 1)]; }
uint32_t Opaque(int32_t x, int32_t y) { return Quarters(x, y) | 0xFF000000u; }
uint32_t Varied(int32_t x, int32_t y) { return 0xFF000000u | (x * 7 % 256) << 16 | (y * 5 % 256) << 8 | (x + y) % 256; }
// The largest difference of red, green or blue between two colours.
int Farthest(uint32_t a, uint32_t b) {
  int most = 0;
  for (int shift : {16, 8, 0}) most = std::max(most, std::abs(static_cast<int>((a >> shift & 0xFF) - (b >> shift & 0xFF))));
  return most;
}

// A pixel of a picture as 0xAARRGGBB (alpha 0xFF for a 24-bit one), top row first.
uint32_t Pixel(const CImage& image, int32_t x, int32_t y) {
  const int n = image.BitsPerPixel() / 8;
  const uint8_t* p = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch() + x * n;
  return (n == 4 ? uint32_t{p[3]} << 24 : 0xFF000000u) | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

class ViewerWebp : public ViewerWindowTest {
 protected:
  void SetUp() override {
    for (const std::string& tool : {std::string("/usr/bin/cwebp"), std::string("/usr/bin/webpmux"), kProfile}) {
      if (!HostHasProgram(tool)) GTEST_SKIP() << tool << " is not on the host (Debian's webp, colord-data)";
    }
    folder_ = MakeScratchDir(L"webp-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  // The picture as a PNG, through cwebp with options (and then "then" in place) into name.
  void Make(const wchar_t* name, const std::string& options, uint32_t (*pixel)(int32_t, int32_t),
            const std::string& then = "") {
    ASSERT_TRUE(SaveTestImage(folder_ + L"\\in.png", kW, kH, L"image/png", pixel));
    const std::string in = UnixPathOf(folder_ + L"\\in.png"), out = UnixPathOf(folder_ + L"\\" + name);
    std::string command = "/usr/bin/cwebp -quiet " + options + " '" + in + "' -o '" + out + "'";
    if (!then.empty()) command += " && " + then + " '" + out + "' -o '" + out + "'";
    ASSERT_EQ(RunOnHost(command, folder_), 0) << command;
    ASSERT_TRUE(DeleteFileW((folder_ + L"\\in.png").c_str()));
  }
  void Step() {
    SendMessageW(Hwnd(), WM_COMMAND, ID_NEXT, 0);
    WaitForPicture();
  }
  // The kept frame's pixel in the middle of quarter q of the fitted picture.
  uint32_t FrameQuarter(int q) {
    int32_t w = 0, h = 0;
    FrameSize(w, h);
    const XywhRect fit = FitImage(kW, kH, w, h);
    return FramePixel(fit.x + fit.width * (q % 2 * 2 + 1) / 4, fit.y + fit.height * (q / 2 * 2 + 1) / 4);
  }
  std::wstring folder_;
};

TEST_F(ViewerWebp, ShownUprightComposedConvertedAndFailingQuietly) {
  ASSERT_NO_FATAL_FAILURE(Make(L"a.webp", "-q 90", Opaque));
  ASSERT_NO_FATAL_FAILURE(Make(L"b.webp", "-lossless", Varied));
  ASSERT_NO_FATAL_FAILURE(Make(L"c.webp", "-q 90", Quarters));
  ASSERT_NO_FATAL_FAILURE(Make(L"d.webp", "-lossless", Opaque, "/usr/bin/webpmux -set icc " + kProfile));
  ASSERT_NO_FATAL_FAILURE(Make(L"e.jpg", "-lossless", [](int32_t, int32_t) { return 0xFF0A64C8u; }));
  Bytes lossy, profile;
  ASSERT_TRUE(ReadFileBytes(folder_ + L"\\a.webp", &lossy));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\f-cut.webp", Bytes(lossy.begin(), lossy.begin() + lossy.size() / 2)));
  // RIFF, WEBP, a VP8X chunk for a 60000 x 60000 canvas, and nothing more.
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\g-huge.webp", {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8',
                                                          'X', 10, 0, 0, 0, 0, 0, 0, 0, 0x5F, 0xEA, 0, 0x5F, 0xEA, 0}));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\h.bmp", 40, 30, Rgb{255, 0, 0}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\g-huge.webp")) << "expected the VP8X header to refuse it";
  // What the tagged quarters must become: their numbers converted from the profile to the display's.
  ASSERT_TRUE(ReadFileBytes(L"Z:" + std::wstring(kProfile.begin(), kProfile.end()), &profile));
  CImage converted;  // one pixel a quarter, blue, green and red first in memory as in kQuarters
  ASSERT_TRUE(converted.Create(4, 1, 32, false));
  std::memcpy(converted.TopRow(), kQuarters, sizeof kQuarters);
  ConvertColours(converted, profile, *DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow())));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\h.bmp");
  ASSERT_EQ(ImageList.size(), 8u) << "expected every picture listed";
  Step();  // a.webp: lossy, upright on the screen
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the lossy WebP to decode";
  EXPECT_EQ(currentImage.BitsPerPixel(), 24);
  for (int q = 0; q < 4; ++q) {
    EXPECT_LE(Farthest(FrameQuarter(q), kQuarters[q]), 6)
        << "quarter " << q << ": expected " << std::hex << (kQuarters[q] & 0xFFFFFF) << ", got " << FrameQuarter(q);
  }
  Step();  // b.webp: lossless, every pixel
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the lossless WebP to decode";
  int wrong = 0;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) wrong += Pixel(currentImage, x, y) != Varied(x, y);
  EXPECT_EQ(wrong, 0) << "expected every lossless pixel exact, got " << wrong << " wrong";
  Step();  // c.webp: lossy with alpha, over the light grey background
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the WebP with alpha to decode";
  EXPECT_TRUE(currentImage.HasAlpha());
  EXPECT_EQ(viewState.alphaPrepared, 1) << "expected the alpha path";
  EXPECT_EQ(FrameQuarter(3), 0x00FAFAFAu) << "expected the background through the clear quarter, got " << std::hex
                                          << FrameQuarter(3);
  // Half of (30, 60, 210) over 127/255 of 250.
  EXPECT_LE(Farthest(FrameQuarter(2), 0x8C9BE6u), 5) << "half-clear: expected 8c9be6, got " << std::hex << FrameQuarter(2);
  Step();  // d.webp: its AdobeRGB numbers converted
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the tagged WebP to decode";
  int moved = 0;  // the largest change the profile made
  for (int q = 0; q < 4; ++q) {
    const int32_t x = kW * (q % 2 * 2 + 1) / 4, y = kH * (q / 2 * 2 + 1) / 4;
    const uint32_t got = Pixel(currentImage, x, y), want = Pixel(converted, q, 0) | 0xFF000000u;
    EXPECT_EQ(got, want) << "quarter " << q << ": expected " << std::hex << want << ", got " << got;
    moved = std::max(moved, Farthest(got, kQuarters[q]));
  }
  EXPECT_GT(moved, 10) << "expected the profile to matter, got at most " << moved << " levels of change";
  Step();  // e.jpg: chosen by its bytes
  EXPECT_EQ(Caption(), L"Vistrel - e.jpg");
  EXPECT_EQ(CentreOfFrame(), 0x000A64C8u) << "expected a WebP named .jpg to show";
  for (const wchar_t* failing : {L"f-cut.webp", L"g-huge.webp"}) {
    Step();
    EXPECT_EQ(viewState.loadFailed, 1) << Narrow(failing) << ": expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  Step();
  EXPECT_EQ(Caption(), L"Vistrel - h.bmp");
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u);
}

}  // namespace
