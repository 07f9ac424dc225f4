// The PNG and BMP routes against the imaging library's, kind by kind: the same depth, row order,
// alpha flag, colour table and every stored byte.
#include <windows.h>
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/win32/bmp_file_decode.h"
#include "decode/win32/png_file_decode.h"
#include "support/raw_pictures.h"
#include "support/test_paths.h"
#include "picture/pixel_layout.h"
#include "framework/gdi_handles.h"
#include "decode/win32/image_decode.h"

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::vector<RGBQUAD> ColourTable(const CImage& image) {
  std::vector<RGBQUAD> table(256);
  MemoryDc dc(nullptr, image.Handle());
  table.resize(GetDIBColorTable(dc.Get(), 0, 256, table.data()));
  return table;
}

void ExpectSameImage(const CImage& library, const CImage& fast) {
  ASSERT_EQ(fast.Width(), library.Width());
  ASSERT_EQ(fast.Height(), library.Height());
  ASSERT_EQ(fast.BitsPerPixel(), library.BitsPerPixel()) << "bits per pixel";
  ASSERT_EQ(fast.Pitch(), library.Pitch());
  EXPECT_EQ(fast.HasAlpha(), library.HasAlpha()) << "alpha flag";
  const std::vector<RGBQUAD> tl = ColourTable(library), tf = ColourTable(fast);
  ASSERT_EQ(tf.size(), tl.size());
  for (size_t i = 0; i < tl.size(); ++i) {
    const uint32_t l = *reinterpret_cast<const uint32_t*>(&tl[i]), f = *reinterpret_cast<const uint32_t*>(&tf[i]);
    ASSERT_EQ(f, l) << "colour table entry " << i << ": expected " << std::hex << l << ", got " << f;
  }
  // Wine's imaging library drops the last byte of a 1- or 4-bit row when it holds only part of it
  // (those pixels come out as index 0); the routes keep them, and callers check them on their own.
  const int32_t rowBytes = fast.Width() * fast.BitsPerPixel() / 8;
  for (int32_t y = 0; y < fast.Height(); ++y) {
    const uint8_t* l = library.TopRow() + static_cast<ptrdiff_t>(y) * library.Pitch();
    const uint8_t* f = fast.TopRow() + static_cast<ptrdiff_t>(y) * fast.Pitch();
    for (int32_t x = 0; x < rowBytes; ++x) {
      ASSERT_EQ(f[x], l[x]) << "row " << y << " byte " << x << ": expected " << int{l[x]} << ", got " << int{f[x]};
    }
  }
}

// Every index of a picture of 8 or fewer bits against the one written.
void ExpectIndices(const CImage& image, const std::function<uint32_t(int32_t, int32_t)>& index) {
  if (image.IsNull() || image.BitsPerPixel() > 8) return;
  const int bits = image.BitsPerPixel();
  for (int32_t y = 0; y < image.Height(); ++y) {
    const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
    for (int32_t x = 0; x < image.Width(); ++x) {
      const int shift = 8 - bits - (x * bits) % 8;
      const uint32_t got = (row[x * bits / 8] >> shift) & ((1u << bits) - 1);
      ASSERT_EQ(got, index(x, y)) << "index at (" << x << ", " << y << "): expected " << index(x, y) << ", got " << got;
    }
  }
}

// One file through the route under test, the imaging library, and DecodeFileToImage.
// index (may be empty): the index written at (x, y), for pictures of 8 or fewer bits.
template <typename Route>
void ExpectLikeImagingLibrary(Route route, const std::wstring& path, bool expectTaken,
                              const std::function<uint32_t(int32_t, int32_t)>& index = {}) {
  CImage fast, library, combined;
  const FileDecodeOutcome outcome = route(path, fast, nullptr);
  const bool libraryOk = DecodeWithImagingLibrary(path, library);
  const bool combinedOk = DecodeFileToImage(path, combined);
  const bool taken = outcome == FileDecodeOutcome::kDecoded;
  EXPECT_EQ(taken, expectTaken) << "expected the route " << (expectTaken ? "to take" : "to leave") << " it";
  EXPECT_EQ(combinedOk, taken || libraryOk) << "DecodeFileToImage disagrees with its two routes";
  if (!taken) {
    EXPECT_TRUE(fast.IsNull());
    if (combinedOk && libraryOk) ExpectSameImage(library, combined);
    return;
  }
  ASSERT_TRUE(libraryOk) << "expected the imaging library to decode what the route took, got a failure";
  ExpectSameImage(library, fast);
  ExpectSameImage(library, combined);
  if (index) ExpectIndices(fast, index);
}

bool WriteFile(const std::wstring& path, const std::vector<uint8_t>& bytes) { return WriteFileBytes(path, bytes); }

uint32_t Sample(int32_t x, int32_t y, int c) { return static_cast<uint32_t>(x * 37 + y * 91 + c * 1111 + x * y * 7); }

TEST(DecodePngBmpTest, EveryPngKindDecodesLikeTheImagingLibrary) {
  const std::wstring dir = MakeScratchDir(L"png_kinds");
  std::vector<uint8_t> palette, alphas;
  for (int i = 0; i < 256; ++i) palette.insert(palette.end(), {uint8_t(i * 7), uint8_t(255 - i), uint8_t(i * 3)});
  for (int i = 0; i < 256; ++i) alphas.push_back(static_cast<uint8_t>(i * 13));
  struct Kind {
    uint8_t colourType, depth;
    bool interlaced;
    std::vector<uint8_t> transparency;
  };
  const std::vector<uint8_t> greyKey = {0, 5}, rgbKey = {0, 5, 0, 6, 0, 7}, wideKey = {1, 2, 3, 4, 5, 6};
  const std::vector<Kind> kinds = {
      {3, 1, false, {}}, {3, 2, false, {}}, {3, 4, false, {}}, {3, 8, false, {}}, {3, 8, false, alphas},
      {3, 4, true, {}}, {3, 1, true, {}},  {3, 2, true, alphas},
      {0, 1, false, {}}, {0, 2, false, {}}, {0, 4, false, {}}, {0, 8, false, {}}, {0, 16, false, {}},
      {0, 8, false, greyKey}, {0, 1, true, {}}, {0, 4, true, {}},
      {2, 8, false, {}}, {2, 16, false, {}}, {2, 8, false, rgbKey}, {2, 16, false, wideKey}, {2, 8, true, {}},
      {4, 8, false, {}}, {4, 16, false, {}}, {6, 8, false, {}}, {6, 16, false, {}}, {6, 8, true, {}}, {6, 16, true, {}},
  };
  for (const Kind& k : kinds) {
    RawPng png;
    png.colourType = k.colourType;
    png.depth = k.depth;
    png.interlaced = k.interlaced;
    if (k.colourType == 3) png.palette.assign(palette.begin(), palette.begin() + 3 * (1 << k.depth));
    png.transparency = k.transparency;
    if (k.colourType == 3 && !k.transparency.empty()) png.transparency.resize(static_cast<size_t>(1) << k.depth);
    const std::string name = "type" + std::to_string(k.colourType) + "_" + std::to_string(k.depth) +
                             (k.interlaced ? "_interlaced" : "") + (k.transparency.empty() ? "" : "_trns");
    SCOPED_TRACE(name);
    const std::wstring path = dir + L"\\" + std::wstring(name.begin(), name.end()) + L".png";
    ASSERT_TRUE(WriteFile(path, MakeRawPng(png, Sample)));
    const uint32_t mask = k.depth == 16 ? 0xFFFF : (1u << k.depth) - 1;
    ExpectLikeImagingLibrary(DecodePngFile, path, true, [&](int32_t x, int32_t y) { return Sample(x, y, 0) & mask; });
  }

  // A picture too large to hold is refused outright; one cut short is left to the imaging
  // library; a cancelled decode leaves nothing.
  RawPng large;
  std::vector<uint8_t> bytes = MakeRawPng(large, Sample);
  bytes[16] = bytes[20] = 0x01;  // 16 M x 16 M pixels
  const uint32_t crc = PngCrc32(bytes.data() + 12, 17);
  for (int i = 0; i < 4; ++i) bytes[29 + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
  CImage image;
  ASSERT_TRUE(WriteFile(dir + L"\\large.png", bytes));
  EXPECT_EQ(DecodePngFile(dir + L"\\large.png", image), FileDecodeOutcome::kRefused);
  bytes = MakeRawPng(large, Sample);
  bytes.resize(bytes.size() - 40);
  ASSERT_TRUE(WriteFile(dir + L"\\cut.png", bytes));
  ExpectLikeImagingLibrary(DecodePngFile, dir + L"\\cut.png", false);
  const std::atomic<bool> cancelled{true};
  EXPECT_EQ(DecodePngFile(dir + L"\\type2_8.png", image, &cancelled), FileDecodeOutcome::kCancelled);
  EXPECT_TRUE(image.IsNull());

  const std::wstring data = TestDataDir();
  if (data.empty()) {
    std::printf("shared test data absent: only the generated PNGs were compared\n");
  } else {
    int taken = 0, files = 0;
    for (const std::wstring& path : FilesUnder(data + L"\\pngsuite\\png")) {
      SCOPED_TRACE(Narrow(path));
      // Every sound file is taken; a damaged one (x*) only if libspng finishes it, and then only
      // as the imaging library shows it.
      const bool damaged = path.find(L"\\png\\x") != std::wstring::npos;
      CImage probe;
      const bool wasTaken = DecodePngFile(path, probe) == FileDecodeOutcome::kDecoded;
      ExpectLikeImagingLibrary(DecodePngFile, path, wasTaken || !damaged);
      ++files;
      taken += wasTaken;
    }
    std::printf("%d of %d PngSuite files compared through the PNG route\n", taken, files);
  }
  RemoveTree(dir);
}

TEST(DecodePngBmpTest, EveryBmpDepthDecodesLikeTheImagingLibrary) {
  const std::wstring dir = MakeScratchDir(L"bmp_kinds");
  auto table = [](size_t n) {
    std::vector<uint8_t> t;
    for (size_t i = 0; i < n; ++i) t.insert(t.end(), {uint8_t(i * 5), uint8_t(200 - i), uint8_t(i * 11), 0});
    return t;
  };
  struct Kind {
    const char* name;
    RawBmp bmp;
    bool taken;
  };
  const std::vector<uint32_t> fields565 = {0xF800, 0x07E0, 0x001F}, fields555 = {0x7C00, 0x03E0, 0x001F},
                              fields888 = {0xFF0000, 0xFF00, 0xFF, 0xFF000000};
  const std::vector<Kind> kinds = {
      {"1", {13, 7, 1, false, 40, {}, table(2)}, true},
      {"4", {13, 7, 4, false, 40, {}, table(16)}, true},
      {"4 short table", {13, 7, 4, false, 40, {}, table(5)}, true},
      {"8", {13, 7, 8, false, 40, {}, table(256)}, true},
      {"8 top-down", {13, 7, 8, true, 40, {}, table(40)}, true},
      {"16", {13, 7, 16, false, 40, {}, {}}, true},
      {"16 5-5-5 fields", {13, 7, 16, false, 40, fields555, {}}, true},
      {"16 5-6-5 fields", {13, 7, 16, false, 40, fields565, {}}, true},
      {"16 5-6-5 fields v5 top-down", {13, 7, 16, true, 124, fields565, {}}, true},
      {"24", {13, 7, 24, false, 40, {}, {}}, true},
      {"24 top-down", {13, 7, 24, true, 40, {}, {}}, true},
      {"24 one row", {301, 1, 24, false, 40, {}, {}}, true},
      {"32", {13, 7, 32, false, 40, {}, {}}, true},
      {"32 fields v5", {13, 7, 32, false, 124, fields888, {}}, true},
      {"32 fields top-down", {13, 7, 32, true, 40, fields888, {}}, true},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.name);
    const std::string name(k.name);
    const std::wstring path = dir + L"\\" + std::wstring(name.begin(), name.end()) + L".bmp";
    const int bits = k.bmp.bitsPerPixel;
    const uint32_t colours = static_cast<uint32_t>(k.bmp.colourTable.size() / 4);
    const auto value = [&](int32_t x, int32_t y) {
      const uint32_t v = Sample(x, y, 0) * 2654435761u;
      return bits <= 8 ? v % colours : v;
    };
    ASSERT_TRUE(WriteFile(path, MakeRawBmp(k.bmp, value)));
    ExpectLikeImagingLibrary(DecodeBmpFile, path, k.taken, value);
  }
  // Run-length encoded (RLE8, one run and the end of the picture) goes to the imaging library;
  // a file cut short is left to it too.
  std::vector<uint8_t> rle = MakeRawBmp({4, 1, 8, false, 40, {}, table(4)}, [](int32_t, int32_t) { return 1u; });
  rle[30] = 1;
  rle.resize(rle.size() - 4);
  rle.insert(rle.end(), {4, 2, 0, 1});
  ASSERT_TRUE(WriteFile(dir + L"\\rle8.bmp", rle));
  ExpectLikeImagingLibrary(DecodeBmpFile, dir + L"\\rle8.bmp", false);
  std::vector<uint8_t> cut = MakeRawBmp({13, 7, 24, false, 40, {}, {}}, [](int32_t x, int32_t) { return x * 999u; });
  cut.resize(cut.size() - 50);
  ASSERT_TRUE(WriteFile(dir + L"\\cut.bmp", cut));
  ExpectLikeImagingLibrary(DecodeBmpFile, dir + L"\\cut.bmp", false);
  RemoveTree(dir);
}

}  // namespace
