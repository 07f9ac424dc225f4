// WebP pictures on the real viewer window, made at test time by the host's cwebp and webpmux from
// pictures made here: a lossy and a lossless one shown upright with their pixels, a lossy one with
// alpha composed over the background like a transparent PNG, one tagged with a wide-gamut profile
// shown converted, a WebP named .jpg, and a cut file and a huge header failing quietly.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "decode/win32/colour_managed.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "decode/win32/picture_header_check.h"
#include "resource.h"
#include "support/host_tool.h"
#include "view/fit_layout.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kW = 160, kH = 90;
const char* const kProfile = "/usr/share/color/icc/colord/AdobeRGB1998.icc";

// Four flat quarters, top-left first; the last two are see-through in the alpha picture.
const uint32_t kQuarters[4] = {0xFFC81E1Eu, 0xFF28B43Cu, 0x801E3CD2u, 0x00E6C828u};
uint32_t Quarters(int32_t x, int32_t y) { return kQuarters[(y < kH / 2 ? 0 : 2) + (x < kW / 2 ? 0 : 1)]; }
uint32_t Varied(int32_t x, int32_t y) { return static_cast<uint32_t>((x * 7 % 256) << 16 | (y * 5 % 256) << 8 | (x + y) % 256); }
int Channel(uint32_t c, int shift) { return static_cast<int>(c >> shift & 0xFF); }

// A pixel of the shown picture as 0xAARRGGBB (alpha 0xFF for a 24-bit one), top row first.
uint32_t Shown(const CImage& image, int32_t x, int32_t y) {
  const int n = image.BitsPerPixel() / 8;
  const uint8_t* p = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch() + x * n;
  return (n == 4 ? uint32_t{p[3]} << 24 : 0xFF000000u) | uint32_t{p[2]} << 16 | uint32_t{p[1]} << 8 | p[0];
}

class ViewerWebp : public ViewerWindowTest {
 protected:
  void SetUp() override {
    for (const char* tool : {"/usr/bin/cwebp", "/usr/bin/webpmux", kProfile}) {
      if (!HostHasProgram(tool)) GTEST_SKIP() << tool << " is not on the host (Debian's webp, colord-data)";
    }
    folder_ = MakeScratchDir(L"webp-pictures");
  }
  void TearDown() override {
    if (!folder_.empty()) RemoveTree(folder_);
  }
  // Writes the picture as PAM and runs cwebp on it (then "then", when given) into name.
  void Make(const std::wstring& name, bool alpha, const std::string& options,
            const std::function<uint32_t(int32_t, int32_t)>& pixel, const std::string& then = "") {
    ASSERT_TRUE(WritePam(folder_ + L"\\in.pam", kW, kH, alpha, pixel));
    const std::string out = UnixPathOf(folder_ + L"\\" + name);
    std::string command = "/usr/bin/cwebp -quiet " + options + " '" + UnixPathOf(folder_ + L"\\in.pam") + "' -o '" + out + "'";
    if (!then.empty()) command += " && " + then + " '" + out + "' -o '" + out + "'";
    ASSERT_EQ(RunOnHost(command, folder_), 0) << command;
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
    return FramePixel(fit.x + fit.width * (q % 2 == 0 ? 1 : 3) / 4, fit.y + fit.height * (q < 2 ? 1 : 3) / 4);
  }
  std::wstring folder_;
};

TEST_F(ViewerWebp, ShownUprightComposedConvertedAndFailingQuietly) {
  ASSERT_NO_FATAL_FAILURE(Make(L"a.webp", false, "-q 90", Quarters));
  ASSERT_NO_FATAL_FAILURE(Make(L"b.webp", false, "-lossless", Varied));
  ASSERT_NO_FATAL_FAILURE(Make(L"c.webp", true, "-q 90", Quarters));
  ASSERT_NO_FATAL_FAILURE(Make(L"d.webp", false, "-lossless", Quarters, "/usr/bin/webpmux -set icc " + std::string(kProfile)));
  ASSERT_NO_FATAL_FAILURE(Make(L"d-plain.webp", false, "-lossless", Quarters));
  ASSERT_NO_FATAL_FAILURE(Make(L"e.jpg", false, "-lossless", [](int32_t, int32_t) { return 0xFF0A64C8u; }));
  Bytes lossy;
  ASSERT_TRUE(ReadFileBytes(folder_ + L"\\a.webp", &lossy));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\f-cut.webp", Bytes(lossy.begin(), lossy.begin() + lossy.size() / 2)));
  // RIFF, WEBP, a VP8X chunk for a 60000 x 60000 canvas, and nothing more.
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\g-huge.webp", {'R', 'I', 'F', 'F', 22, 0, 0, 0, 'W', 'E', 'B', 'P', 'V', 'P', '8', 'X',
                                                          10, 0, 0, 0, 0, 0, 0, 0, 0x5F, 0xEA, 0, 0x5F, 0xEA, 0}));
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\h.bmp", 40, 30, Rgb{255, 0, 0}));
  EXPECT_TRUE(PictureTooLargeToDecode(folder_ + L"\\g-huge.webp")) << "expected the VP8X header to refuse it";
  EXPECT_FALSE(PictureTooLargeToDecode(folder_ + L"\\a.webp"));

  // What the tagged quarters must become: the untagged ones converted to the display's profile.
  const auto display = DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow()));
  CImage converted;
  Bytes profile;
  ASSERT_TRUE(DecodeFileToImage(folder_ + L"\\d-plain.webp", converted));
  ASSERT_TRUE(ReadFileBytes(L"Z:" + std::wstring(kProfile, kProfile + strlen(kProfile)), &profile));
  ConvertColours(converted, profile, *display);
  ASSERT_TRUE(DeleteFileW((folder_ + L"\\d-plain.webp").c_str()));
  ASSERT_TRUE(DeleteFileW((folder_ + L"\\in.pam").c_str()));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\h.bmp");
  ASSERT_EQ(ImageList.size(), 8u) << "expected every picture listed";

  Step();  // a.webp: lossy, upright on the screen
  EXPECT_EQ(Caption(), L"Vistrel - a.webp");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the lossy WebP to decode";
  EXPECT_EQ(currentImage.Width(), kW);
  EXPECT_EQ(currentImage.BitsPerPixel(), 24);
  for (int q = 0; q < 4; ++q) {
    const uint32_t want = kQuarters[q], got = FrameQuarter(q);
    for (int shift : {16, 8, 0})
      EXPECT_NEAR(Channel(got, shift), Channel(want, shift), 6)
          << "quarter " << q << ": expected " << std::hex << (want & 0xFFFFFF) << ", got " << got;
  }

  Step();  // b.webp: lossless, every pixel
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the lossless WebP to decode";
  ASSERT_EQ(currentImage.Height(), kH);
  int wrong = 0;
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) wrong += Shown(currentImage, x, y) != (Varied(x, y) | 0xFF000000u);
  EXPECT_EQ(wrong, 0) << "expected every lossless pixel exact, got " << wrong << " wrong";

  Step();  // c.webp: lossy with alpha, over the light grey background
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the WebP with alpha to decode";
  EXPECT_TRUE(currentImage.HasAlpha());
  EXPECT_EQ(viewState.alphaPrepared, 1) << "expected the alpha path";
  const uint32_t half = FrameQuarter(2), clear = FrameQuarter(3);
  EXPECT_EQ(clear, 0x00FAFAFAu) << "expected the background through the clear quarter, got " << std::hex << clear;
  // 128/255 of the colour over 127/255 of 250.
  for (const auto& [shift, want] : {std::pair{16, 30 / 2 + 125}, {8, 60 / 2 + 125}, {0, 210 / 2 + 125}})
    EXPECT_NEAR(Channel(half, shift), want, 5) << "half-clear quarter: expected " << want << ", got " << Channel(half, shift);

  Step();  // d.webp: its AdobeRGB numbers converted
  ASSERT_EQ(viewState.loadFailed, 0) << "expected the tagged WebP to decode";
  ASSERT_FALSE(converted.IsNull());
  int moved = 0;  // the largest change the profile made
  for (int q = 0; q < 4; ++q) {
    const int32_t x = (q % 2 == 0 ? kW / 4 : 3 * kW / 4), y = (q < 2 ? kH / 4 : 3 * kH / 4);
    const uint32_t got = Shown(currentImage, x, y);
    EXPECT_EQ(got, Shown(converted, x, y)) << "quarter " << q << ": expected " << std::hex << Shown(converted, x, y)
                                           << ", got " << got;
    for (int shift : {16, 8, 0}) moved = std::max(moved, std::abs(Channel(got, shift) - Channel(kQuarters[q], shift)));
  }
  EXPECT_GT(moved, 10) << "expected the profile to matter, got at most " << moved << " levels of change";

  Step();  // e.jpg: chosen by its bytes
  EXPECT_EQ(Caption(), L"Vistrel - e.jpg");
  ASSERT_EQ(viewState.loadFailed, 0) << "expected a WebP named .jpg to show";
  EXPECT_EQ(CentreOfFrame(), 0x000A64C8u);

  for (const wchar_t* failing : {L"f-cut.webp", L"g-huge.webp"}) {
    SCOPED_TRACE(Narrow(failing));
    Step();
    EXPECT_EQ(viewState.loadFailed, 1) << "expected a quiet failure";
    EXPECT_TRUE(currentImage.IsNull());
  }
  Step();
  EXPECT_EQ(Caption(), L"Vistrel - h.bmp");
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u);
}

}  // namespace
