// The PNG and BMP routes against the imaging library's, kind by kind: the same depth, row order,
// alpha flag, colour table and every stored byte; and DecodeFileToImage taking the route.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include "decode/bmp/win32/bmp_decode.h"
#include "decode/win32/image_decode.h"
#include "decode/png/win32/png_decode.h"
#include "framework/gdi_handles.h"
#include "support/raw_pictures.h"
#include "support/test_paths.h"

namespace {

using IndexAt = std::function<uint32_t(int32_t, int32_t)>;

void ExpectSameImage(const CImage& library, const CImage& fast) {
  ASSERT_TRUE(fast.Width() == library.Width() && fast.Height() == library.Height()) << "expected the library's size";
  ASSERT_EQ(fast.BitsPerPixel(), library.BitsPerPixel()) << "bits per pixel";
  ASSERT_EQ(fast.Pitch(), library.Pitch());
  EXPECT_EQ(fast.HasAlpha(), library.HasAlpha()) << "alpha flag";
  RGBQUAD tl[256] = {}, tf[256] = {};
  const UINT nl = GetDIBColorTable(MemoryDc(nullptr, library.Handle()).Get(), 0, 256, tl);
  const UINT nf = GetDIBColorTable(MemoryDc(nullptr, fast.Handle()).Get(), 0, 256, tf);
  ASSERT_TRUE(nf == nl && std::memcmp(tf, tl, sizeof tl) == 0)
      << "expected the library's colour table of " << nl << " entries, got another of " << nf;
  // Wine's imaging library drops the last byte of a 1- or 4-bit row when it holds only part of it
  // (those pixels come out as index 0); the routes keep them, and ExpectIndices checks them.
  const int32_t rowBytes = fast.Width() * fast.BitsPerPixel() / 8;
  for (int32_t y = 0; y < fast.Height(); ++y) {
    const uint8_t* l = library.TopRow() + static_cast<ptrdiff_t>(y) * library.Pitch();
    const uint8_t* f = fast.TopRow() + static_cast<ptrdiff_t>(y) * fast.Pitch();
    for (int32_t x = 0; x < rowBytes; ++x)
      ASSERT_EQ(f[x], l[x]) << "row " << y << " byte " << x << ": expected " << int{l[x]} << ", got " << int{f[x]};
  }
}

// Every index of a picture of 8 or fewer bits against the one written.
void ExpectIndices(const CImage& image, const IndexAt& index) {
  const int bits = image.BitsPerPixel();
  for (int32_t y = 0; bits <= 8 && y < image.Height(); ++y) {
    const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
    for (int32_t x = 0; x < image.Width(); ++x) {
      const uint32_t got = (row[x * bits / 8] >> (8 - bits - x * bits % 8)) & ((1u << bits) - 1);
      ASSERT_EQ(got, index(x, y)) << "index at (" << x << ", " << y << "): expected " << index(x, y) << ", got " << got;
    }
  }
}

// One file through the route under test, the imaging library and DecodeFileToImage. index (may
// be empty): the index written at (x, y).
template <typename Route>
void ExpectLikeImagingLibrary(Route route, const std::wstring& path, bool expectTaken, const IndexAt& index = {}) {
  CImage fast, library, combined;
  const bool taken = DecodeFileWith(route, path, fast) == FileDecodeOutcome::kDecoded;
  const bool libraryOk = DecodeWithImagingLibrary(path, library);
  const bool combinedOk = DecodeFileToImage(path, combined);
  EXPECT_EQ(taken, expectTaken) << "expected the route " << (expectTaken ? "to take" : "to leave") << " it";
  EXPECT_EQ(combinedOk, taken || libraryOk) << "DecodeFileToImage disagrees with its two routes";
  EXPECT_EQ(fast.IsNull(), !taken);
  if (!taken) return (combinedOk && libraryOk) ? ExpectSameImage(library, combined) : void();
  ASSERT_TRUE(libraryOk) << "expected the imaging library to decode what the route took, got a failure";
  ExpectSameImage(library, fast);
  ExpectSameImage(library, combined);
  if (index) ExpectIndices(fast, index);
}

uint32_t Sample(int32_t x, int32_t y, int c) { return static_cast<uint32_t>(x * 37 + y * 91 + c * 1111 + x * y * 7); }

TEST(DecodePngBmpTest, EveryPngKindDecodesLikeTheImagingLibrary) {
  const std::wstring dir = MakeScratchDir(L"png_kinds");
  std::vector<uint8_t> palette, alphas(256);
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)});
  for (int i = 0; i < 256; ++i) alphas[i] = static_cast<uint8_t>(i * 13);
  const std::vector<uint8_t> greyKey = {0, 5}, rgbKey = {0, 5, 0, 6, 0, 7}, wideKey = {1, 2, 3, 4, 5, 6};
  // Colour type, depth, interlaced, tRNS.
  const std::vector<std::tuple<uint8_t, uint8_t, bool, std::vector<uint8_t>>> kinds = {
      {3, 1, false, {}}, {3, 2, false, {}}, {3, 4, false, {}}, {3, 8, false, {}}, {3, 8, false, alphas},
      {3, 4, true, {}}, {3, 1, true, {}}, {3, 2, true, alphas}, {0, 1, false, {}}, {0, 2, false, {}},
      {0, 4, false, {}}, {0, 8, false, {}}, {0, 16, false, {}}, {0, 8, false, greyKey}, {0, 1, true, {}},
      {0, 4, true, {}}, {2, 8, false, {}}, {2, 16, false, {}}, {2, 8, false, rgbKey}, {2, 16, false, wideKey},
      {2, 8, true, {}}, {4, 8, false, {}}, {4, 16, false, {}}, {6, 8, false, {}}, {6, 16, false, {}},
      {6, 8, true, {}}, {6, 16, true, {}}};
  for (const auto& [type, depth, interlaced, transparency] : kinds) {
    RawPng png{13, 7, type, depth, interlaced, {}, transparency};
    if (type == 3) png.palette.assign(palette.begin(), palette.begin() + 3 * (1 << depth));
    if (type == 3 && !transparency.empty()) png.transparency.resize(size_t{1} << depth);
    const std::wstring name = L"type" + std::to_wstring(type) + L"-" + std::to_wstring(depth) +
                              (interlaced ? L"-interlaced" : L"") + (transparency.empty() ? L"" : L"-trns");
    SCOPED_TRACE(std::string(name.begin(), name.end()));
    ASSERT_TRUE(WriteFileBytes(dir + L"\\" + name + L".png", MakeRawPng(png, Sample)));
    const uint32_t mask = depth == 16 ? 0xFFFF : (1u << depth) - 1;
    ExpectLikeImagingLibrary(DecodePng, dir + L"\\" + name + L".png", true,
                             [&](int32_t x, int32_t y) { return Sample(x, y, 0) & mask; });
  }

  // A file cut short is left to the imaging library; a cancelled decode leaves nothing. (Sizes
  // over the limit are refused by the header check before any route.)
  CImage image;
  std::vector<uint8_t> bytes = MakeRawPng(RawPng{}, Sample);
  bytes.resize(bytes.size() - 40);
  ASSERT_TRUE(WriteFileBytes(dir + L"\\cut.png", bytes));
  ExpectLikeImagingLibrary(DecodePng, dir + L"\\cut.png", false);
  const std::atomic<bool> cancelled{true};
  EXPECT_EQ(DecodeFileWith(DecodePng, dir + L"\\type2-8.png", image, &cancelled), FileDecodeOutcome::kCancelled);
  EXPECT_TRUE(image.IsNull());
  RemoveTree(dir);
}

TEST(DecodePngBmpTest, EveryBmpDepthDecodesLikeTheImagingLibrary) {
  const std::wstring dir = MakeScratchDir(L"bmp_kinds");
  auto table = [](size_t n) {
    std::vector<uint8_t> t;
    for (size_t i = 0; i < n; ++i) t.insert(t.end(), {uint8_t(i * 5), uint8_t(200 - i), uint8_t(i * 11), 0});
    return t;
  };
  const std::vector<uint32_t> f565 = {0xF800, 0x07E0, 0x001F}, f555 = {0x7C00, 0x03E0, 0x001F},
                              f888 = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  // Width, height, bits, top-down, header bytes, bit fields, colour table.
  const std::vector<RawBmp> kinds = {
      {13, 7, 1, false, 40, {}, table(2)},     {13, 7, 4, false, 40, {}, table(16)},
      {13, 7, 4, false, 40, {}, table(5)},     {13, 7, 8, false, 40, {}, table(256)},
      {13, 7, 8, true, 40, {}, table(40)},     {13, 7, 16, false, 40, {}, {}},
      {13, 7, 16, false, 40, f555, {}},        {13, 7, 16, false, 40, f565, {}},
      {13, 7, 16, true, 124, f565, {}},        {13, 7, 24, false, 40, {}, {}},
      {13, 7, 24, true, 40, {}, {}},           {301, 1, 24, false, 40, {}, {}},
      {13, 7, 32, false, 40, {}, {}},          {13, 7, 32, false, 124, f888, {}},
      {13, 7, 32, true, 40, f888, {}}};
  int n = 0;
  for (const RawBmp& bmp : kinds) {
    SCOPED_TRACE(std::to_string(bmp.bitsPerPixel) + " bits, kind " + std::to_string(n));
    const std::wstring path = dir + L"\\kind" + std::to_wstring(n++) + L".bmp";
    const uint32_t colours = static_cast<uint32_t>(bmp.colourTable.size() / 4);
    const IndexAt value = [&](int32_t x, int32_t y) {
      const uint32_t v = Sample(x, y, 0) * 2654435761u;
      return bmp.bitsPerPixel <= 8 ? v % colours : v;
    };
    ASSERT_TRUE(WriteFileBytes(path, MakeRawBmp(bmp, value)));
    ExpectLikeImagingLibrary(DecodeBmp, path, true, value);
  }
  // Run-length encoded (RLE8: one run, then the end of the picture) goes to the imaging library,
  // and so does a file cut short.
  std::vector<uint8_t> rle = MakeRawBmp({4, 1, 8, false, 40, {}, table(4)}, [](int32_t, int32_t) { return 1u; });
  rle[30] = 1;
  rle.resize(rle.size() - 4);
  rle.insert(rle.end(), {4, 2, 0, 1});
  ASSERT_TRUE(WriteFileBytes(dir + L"\\rle8.bmp", rle));
  ExpectLikeImagingLibrary(DecodeBmp, dir + L"\\rle8.bmp", false);
  std::vector<uint8_t> cut = MakeRawBmp({13, 7, 24, false, 40, {}, {}}, [](int32_t x, int32_t) { return x * 999u; });
  cut.resize(cut.size() - 50);
  ASSERT_TRUE(WriteFileBytes(dir + L"\\cut.bmp", cut));
  ExpectLikeImagingLibrary(DecodeBmp, dir + L"\\cut.bmp", false);
  RemoveTree(dir);
}

}  // namespace
