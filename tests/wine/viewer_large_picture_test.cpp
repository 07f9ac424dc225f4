// Pictures too large to decode are refused from their header on the real viewer window, while a
// large picture below the limit still decodes into currentImage. Every file is made here: the refused ones are
// headers alone, since no decoder may ever see them.
#include <windows.h>
#include <gdiplus.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "decode/win32/image_decode.h"
#include "framework/gdiplus_handles.h"
#include "framework/unique_handle.h"
#include "picture/orientation.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "support/image_encoders.h"
#include "viewer_window_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

void Be16(Bytes& b, uint32_t v) { b.insert(b.end(), {uint8_t(v >> 8), uint8_t(v)}); }
void Be32(Bytes& b, uint32_t v) { Be16(b, v >> 16), Be16(b, v & 0xFFFF); }

// A baseline JPEG's markers up to a scan of a few bytes: what a 46000 x 16000 panorama's
// header says, without the 11 MB of scan data.
Bytes PanoramaJpegHeader() {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
  b.insert(b.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
  b.insert(b.end(), 64, uint8_t{1});
  b.insert(b.end(), {0xFF, 0xC0, 0x00, 0x11, 0x08});
  Be16(b, 16000);
  Be16(b, 46000);
  b.insert(b.end(), {3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});
  b.insert(b.end(), {0xFF, 0xDA, 0x00, 0x0C, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 0x3F, 0});
  b.insert(b.end(), {0x12, 0x34, 0x56, 0xFF, 0xD9});
  return b;
}

// A PNG signature and a 30000 x 30000 IHDR followed by a short IDAT: only the header is real.
Bytes ZerosPngHeader() {
  Bytes b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  Be32(b, 13);
  b.insert(b.end(), {'I', 'H', 'D', 'R'});
  Be32(b, 30000);
  Be32(b, 30000);
  b.insert(b.end(), {8, 0, 0, 0, 0, 0x4F, 0x5A, 0x1F, 0x33});
  Be32(b, 6);
  b.insert(b.end(), {'I', 'D', 'A', 'T', 0x78, 0x9C, 0x63, 0x60, 0x00, 0x00, 0, 0, 0, 0});
  return b;
}

// A real side x side PNG of one colour: 1 bit per pixel, so the encoder, the decoder and the DIB
// each handle only side x side / 8 bytes.
bool WriteSolidLargePng(const std::wstring& path, int32_t side, Gdiplus::ARGB colour) {
  if (!EnsureImagingStarted()) return false;
  CLSID png;
  if (!FindImageEncoder(L"image/png", png)) return false;
  const INT stride = (side + 31) / 32 * 4;
  std::vector<uint8_t> bits(static_cast<size_t>(stride) * static_cast<size_t>(side), 0);
  GpBitmapOwner bitmap;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(side, side, stride, PixelFormat1bppIndexed, bits.data(),
                                                     bitmap.Out()) != Gdiplus::Ok) {
    return false;
  }
  struct {
    UINT flags;
    UINT count;
    Gdiplus::ARGB entries[2];
  } palette = {0, 2, {colour, 0xFF000000}};
  auto* table = reinterpret_cast<Gdiplus::ColorPalette*>(&palette);
  if (Gdiplus::DllExports::GdipSetImagePalette(bitmap.Get(), table) != Gdiplus::Ok) return false;
  return Gdiplus::DllExports::GdipSaveImageToFile(bitmap.Get(), path.c_str(), &png, nullptr) == Gdiplus::Ok;
}

class ViewerLargePicture : public ViewerWindowTest {
 protected:
  void SetUp() override { folder_ = MakeScratchDir(L"large-pictures"); }
  void TearDown() override { RemoveTree(folder_); }

  // A step as the menu takes it; the picture is decoded on the worker, so wait for it.
  void Step(UINT command) {
    SendMessageW(Hwnd(), WM_COMMAND, command, 0);
    WaitForPicture();
  }

  std::wstring folder_;
};

TEST_F(ViewerLargePicture, TooLargeIsRefusedQuietlyAndLargeStillDecodes) {
  constexpr int32_t kLargeSide = 16000;
  const DWORD made = GetTickCount();
  ASSERT_TRUE(WriteSolidLargePng(folder_ + L"\\a-large.png", kLargeSide, 0xFF0000FF)) << "no large PNG made";
  std::printf("16000 x 16000 PNG made in %lu ms\n", GetTickCount() - made);
  ASSERT_TRUE(WriteSolidBmp(folder_ + L"\\b-normal.bmp", 40, 30, Rgb{255, 0, 0}));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\c-panorama.jpg", PanoramaJpegHeader()));
  ASSERT_TRUE(WriteFileBytes(folder_ + L"\\d-zeros.png", ZerosPngHeader()));

  ASSERT_NO_FATAL_FAILURE(OpenViewer());
  OpenStartFile(true, folder_ + L"\\d-zeros.png");
  ASSERT_EQ(ImageList.size(), 4u);
  ASSERT_EQ(currentIndex, 3);

  // Stepped onto as the user would: decoded on the worker, drawn fitted from its average.
  const DWORD decoding = GetTickCount();
  Step(ID_NEXT);
  std::printf("16000 x 16000 PNG decoded and drawn in %lu ms\n", GetTickCount() - decoding);
  EXPECT_EQ(Caption(), L"Vistrel - a-large.png");
  EXPECT_EQ(viewState.loadFailed, 0) << "the allowed large picture must decode";
  EXPECT_EQ(currentImage.Width(), kLargeSide);
  EXPECT_EQ(currentImage.Height(), kLargeSide);
  EXPECT_EQ(CentreOfFrame(), 0x000000FFu) << "expected the blue large picture in the frame";

  Step(ID_NEXT);
  EXPECT_EQ(Caption(), L"Vistrel - b-normal.bmp");
  ASSERT_EQ(viewState.loadFailed, 0);
  ASSERT_EQ(CentreOfFrame(), 0x00FF0000u) << "expected the red normal picture in the frame";

  for (const wchar_t* refused : {L"c-panorama.jpg", L"d-zeros.png"}) {
    SCOPED_TRACE(std::string(refused, refused + wcslen(refused)));
    Step(ID_NEXT);
    EXPECT_EQ(Caption(), std::wstring(L"Vistrel - ") + refused);
    EXPECT_EQ(viewState.loadFailed, 1) << "a picture too large to decode must fail to load";
    EXPECT_TRUE(currentImage.IsNull()) << "nothing of it may be kept";
    EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "the previous frame must stay";
    // A redraw that reuses the kept picture still draws nothing and keeps the frame.
    SendMessageW(Hwnd(), WM_COMMAND, ID_ZOOM_IN, 0);
    EXPECT_EQ(viewState.loadFailed, 1);
    EXPECT_EQ(CentreOfFrame(), 0x00FF0000u) << "zooming a refused picture must keep the previous frame";
  }

  // Back past the panorama, refused again, to the normal picture: the viewer is still whole.
  Step(ID_PREVIOUS);
  EXPECT_EQ(viewState.loadFailed, 1);
  Step(ID_PREVIOUS);
  EXPECT_EQ(Caption(), L"Vistrel - b-normal.bmp");
  EXPECT_EQ(viewState.loadFailed, 0);
  EXPECT_EQ(currentImage.Width(), 40);
  EXPECT_EQ(CentreOfFrame(), 0x00FF0000u);
}

}  // namespace
