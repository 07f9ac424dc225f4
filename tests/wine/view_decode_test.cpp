// Decoding every kind of file into currentImage, orientation, turns and premultiplication.
#include <windows.h>
#include <gdiplus.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "support/test_paths.h"
#include "view/view_state.h"
#include "view/win32/current_picture.h"
#include "view/win32/render.h"
#include "view_fixture.h"

using namespace Gdiplus::DllExports;

namespace {

// The pixels of currentImage as colours, top row first.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<Rgb> pixels;
  Rgb At(int32_t x, int32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Picture Snapshot() {
  Picture p;
  p.width = currentImage.Width();
  p.height = currentImage.Height();
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) p.pixels.push_back(ImagePixel(x, y));
  return p;
}

Picture Mirrored(const Picture& p) {
  Picture m = p;
  for (int32_t y = 0; y < p.height; ++y)
    for (int32_t x = 0; x < p.width; ++x) m.pixels[static_cast<size_t>(y) * p.width + x] = p.At(p.width - 1 - x, y);
  return m;
}

// Mean absolute channel difference; the pictures come from separately compressed files.
double MeanDifference(const Picture& a, const Picture& b) {
  double sum = 0;
  for (size_t i = 0; i < a.pixels.size(); ++i)
    for (int shift = 0; shift <= 16; shift += 8)
      sum += std::abs(static_cast<int>((a.pixels[i] >> shift) & 0xFF) - static_cast<int>((b.pixels[i] >> shift) & 0xFF));
  return sum / (3.0 * static_cast<double>(a.pixels.size()));
}

// What the imaging library itself reports for the file at a grid of points.
void ExpectMatchesDecoder(const std::wstring& path, int tolerance) {
  Gdiplus::GpBitmap* bitmap = nullptr;
  ASSERT_EQ(GdipCreateBitmapFromFile(path.c_str(), &bitmap), Gdiplus::Ok);
  UINT w = 0, h = 0;
  GdipGetImageWidth(bitmap, &w);
  GdipGetImageHeight(bitmap, &h);
  EXPECT_EQ(static_cast<int32_t>(w), currentImage.Width());
  EXPECT_EQ(static_cast<int32_t>(h), currentImage.Height());
  int mismatches = 0;
  for (UINT y = 0; y < h && y < static_cast<UINT>(currentImage.Height()); y += h / 7 + 1) {
    for (UINT x = 0; x < w && x < static_cast<UINT>(currentImage.Width()); x += w / 7 + 1) {
      Gdiplus::ARGB argb = 0;
      GdipBitmapGetPixel(bitmap, static_cast<INT>(x), static_cast<INT>(y), &argb);
      const Rgb got = ImagePixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
      if (!RgbNear(got, argb & 0xFFFFFF, tolerance) && ++mismatches <= 3) {
        ADD_FAILURE() << "at (" << x << ", " << y << ") expected " << RgbText(argb & 0xFFFFFF) << ", got " << RgbText(got);
      }
    }
  }
  GdipDisposeImage(bitmap);
}

class ViewDecodeTest : public ViewWindowTest {
 protected:
  std::wstring Sample(const wchar_t* name) { return SourceDir() + L"\\samples\\" + name; }
  bool Decode(const std::wstring& path, RotateRequest& rotation) {
    ImageList = {path};
    currentIndex = 0;
    return DecodeCurrentFile(View(), rotation);
  }
  bool Decode(const std::wstring& path) {
    RotateRequest ignored = kTurnNone;
    return Decode(path, ignored);
  }
};

TEST_F(ViewDecodeTest, EachKindGetsTheDescribedDepthAlphaAndColours) {
  if (GetFileAttributesW(Sample(L"1.jpg").c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "samples folder absent";
  struct Kind {
    const wchar_t* name;
    int32_t bits;
    bool alpha;
  };
  for (const Kind& k : {Kind{L"1.jpg", 24, false}, Kind{L"5.bmp", 24, false}, Kind{L"3-alpha.png", 32, true},
                        Kind{L"4-palette.gif", 8, false}}) {
    SCOPED_TRACE(testing::Message() << "file " << std::string(k.name, k.name + wcslen(k.name)));
    ASSERT_TRUE(Decode(Sample(k.name)));
    EXPECT_EQ(viewState.loadFailed, 0);
    EXPECT_EQ(currentImage.BitsPerPixel(), k.bits);
    EXPECT_EQ(currentImage.HasAlpha(), k.alpha);
    EXPECT_LT(currentImage.Pitch(), 0);  // rows stored bottom-up
    ExpectMatchesDecoder(Sample(k.name), 0);
  }
  // TIFF: whatever depth the decoder hands over, the colours arrive intact.
  ASSERT_TRUE(Decode(Sample(L"6.tif")));
  EXPECT_TRUE(currentImage.BitsPerPixel() == 24 || currentImage.BitsPerPixel() == 32) << currentImage.BitsPerPixel();
  ExpectMatchesDecoder(Sample(L"6.tif"), 0);
}

TEST_F(ViewDecodeTest, EveryPngSuiteLayoutArrivesPixelForPixel) {
  // Grey, 2- and 4-bit palettes, 16-bit channels: row copies and library conversions alike.
  const std::wstring dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data absent";
  for (const wchar_t* name : {L"basn0g01", L"basn0g02", L"basn0g04", L"basn0g08", L"basn0g16", L"basn2c08",
                              L"basn2c16", L"basn3p01", L"basn3p02", L"basn3p04", L"basn3p08", L"basn4a16",
                              L"basn6a16", L"basi2c16"}) {
    const std::wstring path = dir + L"\\pngsuite\\png\\" + name + L".png";
    SCOPED_TRACE(std::string(path.begin(), path.end()));
    ASSERT_TRUE(Decode(path));
    ExpectMatchesDecoder(path, 1);
  }
}

TEST_F(ViewDecodeTest, PaletteImageKeepsItsColourTableWithoutTransparency) {
  if (GetFileAttributesW(Sample(L"4-palette.gif").c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "samples folder absent";
  ASSERT_TRUE(Decode(Sample(L"4-palette.gif")));
  ASSERT_EQ(currentImage.BitsPerPixel(), 8);
  RGBQUAD table[256] = {};
  HDC dc = CreateCompatibleDC(nullptr);
  HGDIOBJ old = SelectObject(dc, currentImage.Handle());
  const UINT count = GetDIBColorTable(dc, 0, 256, table);
  SelectObject(dc, old);
  DeleteDC(dc);
  EXPECT_EQ(count, 256u);
  int distinct = 0;
  for (int i = 1; i < 256; ++i) distinct += (table[i].rgbRed != table[0].rgbRed || table[i].rgbBlue != table[0].rgbBlue);
  EXPECT_GT(distinct, 0) << "colour table left empty";
  for (const RGBQUAD& q : table) EXPECT_EQ(q.rgbReserved, 0);
}

TEST_F(ViewDecodeTest, OddWidthRowsAreCopiedWithTheirPadding) {
  const std::wstring path = Scratch(L"odd.bmp");
  ASSERT_TRUE(SaveTestImage(path, 5, 3, L"image/bmp", [](int32_t x, int32_t y) {
    return 0xFF000000u | MakeRgb(40 * x, 80 * y, 7 + x + y);
  }));
  ASSERT_TRUE(Decode(path));
  ASSERT_EQ(currentImage.BitsPerPixel(), 24);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(ImagePixel(x, y), MakeRgb(40 * x, 80 * y, 7 + x + y)) << x << "," << y;
}

TEST_F(ViewDecodeTest, ExifOrientationTurnsButNeverFlips) {
  const std::wstring dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data absent";
  for (const wchar_t* shape : {L"Landscape", L"Portrait"}) {
    const std::wstring base = dir + L"\\exif-orientation-examples\\" + shape + L"_";
    RotateRequest rotation = kTurnHalf;  // the decode must replace it
    ASSERT_TRUE(Decode(base + L"1.jpg", rotation));
    EXPECT_EQ(rotation, kTurnNone);
    const Picture upright = Snapshot();
    const Picture mirror = Mirrored(upright);
    for (int o = 0; o <= 8; ++o) {
      SCOPED_TRACE(testing::Message() << std::string(shape, shape + wcslen(shape)) << " orientation " << o);
      ASSERT_TRUE(Decode(base + std::to_wstring(o) + L".jpg", rotation));
      RotateCurrentImage(View(), rotation);
      const Picture shown = Snapshot();
      ASSERT_EQ(shown.width, upright.width);
      ASSERT_EQ(shown.height, upright.height);
      const bool mirrored = o == 2 || o == 4 || o == 5 || o == 7;
      const double matching = MeanDifference(shown, mirrored ? mirror : upright);
      const double opposite = MeanDifference(shown, mirrored ? upright : mirror);
      EXPECT_LT(matching, 6.0);
      EXPECT_GT(opposite, matching * 3);  // the comparison tells the two apart
    }
  }
}

TEST_F(ViewDecodeTest, FourClockwiseTurnsGiveTheStartingPixelsBack) {
  const std::wstring jpeg = Scratch(L"photo.jpg");
  ASSERT_TRUE(SaveTestImage(jpeg, 37, 21, L"image/jpeg", [](int32_t x, int32_t y) {
    return 0xFF000000u | MakeRgb(x * 6, y * 12, 128);
  }));
  const std::wstring png = Scratch(L"alpha.png");
  ASSERT_TRUE(SaveTestImage(png, 37, 21, L"image/png", [](int32_t x, int32_t y) {
    return (static_cast<uint32_t>(x * 6) << 24) | MakeRgb(200, y * 12, 40);
  }));
  for (const std::wstring& path : {jpeg, png}) {
    ASSERT_EQ(ShowFile(path), 0);  // the PNG is premultiplied by this first draw
    const Picture start = Snapshot();
    for (int turn = 1; turn <= 4; ++turn) {
      viewState.zoom = 3.0f;
      ASSERT_EQ(Turn(View(), kTurnClockwise), 0);
      EXPECT_EQ(viewState.zoom, 1.0f);
      EXPECT_EQ(currentImage.Width(), turn % 2 ? 21 : 37);
    }
    const Picture end = Snapshot();
    ASSERT_EQ(end.width, start.width);
    EXPECT_TRUE(end.pixels == start.pixels) << "pixels changed after four turns";
    // Two left turns after two right ones as well.
    ASSERT_EQ(Turn(View(), kTurnCounterClockwise), 0);
    ASSERT_EQ(Turn(View(), kTurnCounterClockwise), 0);
    ASSERT_EQ(Turn(View(), kTurnHalf), 0);
    EXPECT_TRUE(Snapshot().pixels == start.pixels);
  }
}

TEST_F(ViewDecodeTest, TransparentPngTurnedAfterDrawingKeepsItsTransparency) {
  const std::wstring path = Scratch(L"half.png");
  ASSERT_TRUE(SaveTestImage(path, 40, 20, L"image/png", [](int32_t x, int32_t) {
    return x < 20 ? 0x0000FF00u : 0xFFFF0000u;  // left transparent, right opaque red
  }));
  ASSERT_EQ(ShowFile(path), 0);
  ASSERT_EQ(Turn(View(), kTurnClockwise), 0);  // clockwise: the transparent half goes to the top
  EXPECT_TRUE(currentImage.HasAlpha());
  ASSERT_EQ(currentImage.Width(), 20);
  EXPECT_EQ(ImageAlpha(10, 5), 0);
  EXPECT_EQ(ImageAlpha(10, 35), 255);
  ReadFrame();
  // Fitted 20 x 40 in 800 x 600: (250, 0, 300, 600).
  EXPECT_TRUE(RgbNear(FramePixel(400, 100), MakeRgb(250, 250, 250), 1)) << RgbText(FramePixel(400, 100));
  EXPECT_TRUE(RgbNear(FramePixel(400, 500), MakeRgb(255, 0, 0), 2)) << RgbText(FramePixel(400, 500));
}

TEST_F(ViewDecodeTest, PaletteImageTurnedAfterDrawingKeepsItsColours) {
  if (GetFileAttributesW(Sample(L"4-palette.gif").c_str()) == INVALID_FILE_ATTRIBUTES) GTEST_SKIP() << "samples folder absent";
  ASSERT_EQ(ShowFile(Sample(L"4-palette.gif")), 0);
  const Picture start = Snapshot();
  ASSERT_EQ(Turn(View(), kTurnClockwise), 0);
  ASSERT_EQ(currentImage.Width(), start.height);
  // Clockwise: new (x, y) comes from old (y, height - 1 - x).
  int mismatches = 0;
  for (int32_t y = 0; y < currentImage.Height(); y += 7)
    for (int32_t x = 0; x < currentImage.Width(); x += 7)
      if (ImagePixel(x, y) != start.At(y, start.height - 1 - x) && ++mismatches <= 3)
        ADD_FAILURE() << "at (" << x << ", " << y << ") expected " << RgbText(start.At(y, start.height - 1 - x))
                      << ", got " << RgbText(ImagePixel(x, y));
}

TEST_F(ViewDecodeTest, PremultiplyUsesExactIntegerArithmeticOnce) {
  const std::wstring path = Scratch(L"pm.png");
  const uint32_t pixels[4] = {0x8001807Fu, 0x00C86432u, 0xFF070809u, 0x800180FFu};
  // ARGB: (a128 r1 g128 b127), (a0 ...), (a255 ...), (a128 r1 g128 b255)
  ASSERT_TRUE(SaveTestImage(path, 4, 1, L"image/png", [&](int32_t x, int32_t) { return pixels[x]; }));
  ASSERT_TRUE(Decode(path));
  ASSERT_EQ(currentImage.BitsPerPixel(), 32);
  PremultiplyAlpha(View());
  EXPECT_EQ(viewState.alphaPrepared, 1);
  const uint8_t* p = currentImage.TopRow();
  const uint8_t expected[16] = {63, 64, 0, 128, 0, 0, 0, 0, 9, 8, 7, 255, 128, 64, 0, 128};
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], expected[i]) << "byte " << i;
  PremultiplyAlpha(View());
  for (int i = 0; i < 16; ++i) EXPECT_EQ(p[i], expected[i]) << "byte " << i << " after a second call";
}

TEST_F(ViewDecodeTest, OrientationIsReadOnlyFromJpegFiles) {
  const std::wstring dir = TestDataDir();
  if (dir.empty()) GTEST_SKIP() << "shared test data absent";
  int32_t orientation = 0;
  ImageList = {dir + L"\\exif-orientation-examples\\Landscape_6.jpg"};
  ASSERT_TRUE(ReadOrientation(orientation));
  EXPECT_EQ(orientation, 6);
  const std::wstring png = Scratch(L"plain.png");
  ASSERT_TRUE(SaveTestImage(png, 4, 4, L"image/png", [](int32_t, int32_t) { return 0xFF123456u; }));
  ImageList = {png};
  EXPECT_FALSE(ReadOrientation(orientation));
  ImageList = {Scratch(L"missing.jpg")};
  EXPECT_FALSE(ReadOrientation(orientation));
  ImageList.clear();
  EXPECT_FALSE(ReadOrientation(orientation));
}

}  // namespace
