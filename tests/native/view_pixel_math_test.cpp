#include <gtest/gtest.h>

#include <string>

#include "picture/orientation.h"
#include "picture/pixel_layout.h"
#include "picture/premultiply.h"
#include "view/alpha_path.h"
#include "view/dpi_math.h"

namespace {

TEST(ViewDpiMath, MulDivRoundsHalvesAwayFromZero) {
  EXPECT_EQ(MulDivRounded(3, 1, 2), 2);
  EXPECT_EQ(MulDivRounded(-3, 1, 2), -2);
  EXPECT_EQ(MulDivRounded(3, -1, 2), -2);
  EXPECT_EQ(MulDivRounded(5, 1, 4), 1);
  EXPECT_EQ(MulDivRounded(7, 1, -2), -4);
  EXPECT_EQ(MulDivRounded(10, 7, 0), -1);
  EXPECT_EQ(MulDivRounded(INT32_MAX, INT32_MAX, INT32_MAX), INT32_MAX);  // 64-bit intermediate
  EXPECT_EQ(MulDivRounded(INT32_MAX, 2, 1), -1);                         // result too large
}

TEST(ViewDpiMath, MinimumWindowSizeAtCommonDpis) {
  EXPECT_EQ(ScaleForDpi(768, 96), 768);
  EXPECT_EQ(ScaleForDpi(536, 96), 536);
  EXPECT_EQ(ScaleForDpi(768, 120), 960);
  EXPECT_EQ(ScaleForDpi(536, 120), 670);
  EXPECT_EQ(ScaleForDpi(768, 144), 1152);
  EXPECT_EQ(ScaleForDpi(536, 144), 804);
}

TEST(ViewDpiMath, RoundTripsCanGainAPixel) {
  EXPECT_EQ(UnscaleForDpi(1003, 96), 1003);
  EXPECT_EQ(UnscaleForDpi(1003, 144), 669);
  EXPECT_EQ(ScaleForDpi(669, 144), 1004);
  EXPECT_EQ(UnscaleForDpi(1001, 120), 801);
  EXPECT_EQ(ScaleForDpi(801, 120), 1001);
}

TEST(ViewPremultiply, ColoursAreScaledByAlphaWithTruncation) {
  uint8_t px[] = {255, 128, 1, 128,  // half transparent
                  200, 100, 50, 0,   // fully transparent
                  9, 8, 7, 255,      // opaque
                  255, 255, 255, 1};
  PremultiplyPixels(px, 4);
  const uint8_t expected[] = {128, 64, 0, 128, 0, 0, 0, 0, 9, 8, 7, 255, 1, 1, 1, 1};
  for (size_t i = 0; i < sizeof(px); ++i) EXPECT_EQ(px[i], expected[i]) << "byte " << i;
}

TEST(ViewPremultiply, ApplyingTwiceDarkensAgainSoTheCallerMustGuard) {
  uint8_t px[] = {255, 128, 1, 128};
  PremultiplyPixels(px, 1);
  PremultiplyPixels(px, 1);
  EXPECT_EQ(px[0], 64);
  EXPECT_EQ(px[1], 32);
  EXPECT_EQ(px[3], 128);
}

TEST(ViewOrientation, MirroredOrientationsAreTurnedLikeTheirNeighbours) {
  const int32_t expected[] = {0, 0, 0, 3, 3, 1, 1, 2, 2, 0, 0};  // orientations 0..10
  for (int32_t o = 0; o <= 10; ++o) EXPECT_EQ(TurnForOrientation(o), expected[o]) << "orientation " << o;
  EXPECT_EQ(TurnForOrientation(-1), 0);
  EXPECT_EQ(TurnForOrientation(65535), 0);
}

TEST(ViewOrientation, TurnsMapToRotationsWithoutFlips) {
  EXPECT_EQ(RotateFlipCodeForTurn(1), 1);
  EXPECT_EQ(RotateFlipCodeForTurn(2), 3);
  EXPECT_EQ(RotateFlipCodeForTurn(3), 2);
  EXPECT_EQ(RotateFlipCodeForTurn(0), -1);
  EXPECT_EQ(RotateFlipCodeForTurn(4), -1);
  EXPECT_EQ(RotateFlipCodeForTurn(-1), -1);
}

TEST(ViewAlphaPath, CaseSensitiveSubstringAnywhereInThePath) {
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.png"));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\A.PNG"));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\anim.gif"));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\ANIM.GIF"));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\old.png\\photo.jpg"));  // a folder name counts
  EXPECT_FALSE(TakesAlphaPath(L"C:\\pics\\a.Png"));
  EXPECT_FALSE(TakesAlphaPath(L"C:\\pics\\a.gIF"));
  EXPECT_FALSE(TakesAlphaPath(L"C:\\pics\\apng.jpg"));
  EXPECT_FALSE(TakesAlphaPath(L""));
  // The newer kinds go by the picture: alpha only when it carries some, whatever the name.
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.jpg", PictureFormat::kWebp, true));
  EXPECT_FALSE(TakesAlphaPath(L"C:\\pics\\a.webp", PictureFormat::kWebp, false));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.heic", PictureFormat::kHeif, true));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.avif", PictureFormat::kAvif, true));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.jxl", PictureFormat::kJxl, true));
  // The older kinds keep the path's rule even when their bitmap has an alpha channel.
  EXPECT_FALSE(TakesAlphaPath(L"C:\\pics\\a.bmp", PictureFormat::kBmp, true));
  EXPECT_TRUE(TakesAlphaPath(L"C:\\pics\\a.png", PictureFormat::kPng, false));
}

TEST(ViewPixelLayout, RowSizesArePaddedAndGuardedAgainstOverflow) {
  EXPECT_EQ(DibRowBytes(3, 24), 12);
  EXPECT_EQ(DibRowBytes(1, 1), 4);
  EXPECT_EQ(DibRowBytes(33, 1), 8);
  EXPECT_EQ(DibRowBytes(5, 8), 8);
  EXPECT_EQ(PackedRowBytes(3, 24), 9);
  EXPECT_EQ(PackedRowBytes(9, 1), 2);
  EXPECT_EQ(PackedRowBytes(3, 4), 2);
  EXPECT_EQ(DibImageBytes(100, 10, 32), 4000);
  EXPECT_EQ(DibImageBytes(65535, 65535, 32), -1);
  EXPECT_EQ(DibImageBytes(65535, 65535, 8), -1);
  EXPECT_EQ(DibRowBytes(INT32_MAX, 32), -1);
}

TEST(ViewPixelLayout, FormatChoiceKeepsBlittableFormatsAndGivesAlphaPriority) {
  struct Case {
    uint32_t source;
    int32_t bits;
    uint32_t format;
    bool alpha;
  };
  const Case cases[] = {
      {0x00021808, 24, 0x00021808, false},  // 24-bit RGB: copied as it is
      {0x00030803, 8, 0x00030803, false},   // 8-bit indexed
      {0x00030402, 4, 0x00030402, false},   // 4-bit indexed
      {0x00030101, 1, 0x00030101, false},   // 1-bit indexed
      {0x00021005, 16, 0x00021005, false},  // 16-bit 5-5-5
      {0x00022009, 32, 0x00022009, false},  // 32-bit RGB
      {0x0026200A, 32, 0x0026200A, true},   // 32-bit ARGB
      {0x000E200B, 32, 0x0026200A, true},   // premultiplied ARGB: drawn into straight ARGB
      {0x00061007, 32, 0x0026200A, true},   // 16-bit with one alpha bit
      {0x0034400D, 32, 0x0026200A, true},   // 64-bit ARGB
      {0x0010300C, 32, 0x00022009, false},  // 48-bit RGB: drawn into 32-bit RGB
      {0x0000200F, 32, 0x00022009, false},  // CMYK
      {0x00101004, 32, 0x00022009, false},  // 16-bit grey
      {0x00021006, 32, 0x00022009, false},  // 5-6-5 would lose its colours in a 5-5-5 bitmap
  };
  for (const Case& c : cases) {
    const DibChoice choice = ChooseDibFormat(c.source);
    EXPECT_EQ(choice.bitsPerPixel, c.bits) << std::hex << c.source;
    EXPECT_EQ(choice.format, c.format) << std::hex << c.source;
    EXPECT_EQ(choice.hasAlpha, c.alpha) << std::hex << c.source;
  }
}

}  // namespace
