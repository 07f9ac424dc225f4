// The libjpeg-turbo route against the imaging library's, file by file: same size, depth, colour
// table and row order, and pixels within one level on average.
#include <windows.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/win32/colour_managed.h"
#include "decode/win32/image_decode.h"
#include "decode/jpeg/win32/jpeg_decode.h"
#include "framework/gdi_handles.h"
#include "picture/win32/dib_image.h"
#include "support/test_jpeg.h"
#include "support/test_paths.h"
#include "view_fixture.h"

namespace {

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::vector<RGBQUAD> ColourTable(const CImage& image) {
  std::vector<RGBQUAD> table(256);
  MemoryDc dc(nullptr, image.Handle());
  table.resize(GetDIBColorTable(dc.Get(), 0, 256, table.data()));
  return table;
}

// Blue, green, red of (x, y), top row first, through the colour table when there is one.
void PixelAt(const CImage& image, const std::vector<RGBQUAD>& table, int32_t x, int32_t y, int out[3]) {
  const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
  if (image.BitsPerPixel() == 8) {
    const RGBQUAD& q = table[row[x] < table.size() ? row[x] : 0];
    out[0] = q.rgbBlue, out[1] = q.rgbGreen, out[2] = q.rgbRed;
    return;
  }
  const uint8_t* p = row + x * (image.BitsPerPixel() / 8);
  out[0] = p[0], out[1] = p[1], out[2] = p[2];
}

struct Difference {
  double mean = 0;      // per channel, over blue, green and red
  double lumaMean = 0;  // of the brightness 0.299 R + 0.587 G + 0.114 B
  int largest = 0;
};

Difference Compare(const CImage& a, const CImage& b) {
  const std::vector<RGBQUAD> ta = ColourTable(a), tb = ColourTable(b);
  Difference d;
  double sum = 0, lumaSum = 0;
  for (int32_t y = 0; y < a.Height(); ++y) {
    for (int32_t x = 0; x < a.Width(); ++x) {
      int pa[3], pb[3];
      PixelAt(a, ta, x, y, pa);
      PixelAt(b, tb, x, y, pb);
      for (int c = 0; c < 3; ++c) {
        const int diff = std::abs(pa[c] - pb[c]);
        sum += diff;
        d.largest = std::max(d.largest, diff);
      }
      lumaSum += std::fabs(0.114 * (pa[0] - pb[0]) + 0.587 * (pa[1] - pb[1]) + 0.299 * (pa[2] - pb[2]));
    }
  }
  const double pixels = static_cast<double>(a.Width()) * a.Height();
  d.mean = sum / (3.0 * pixels);
  d.lumaMean = lumaSum / pixels;
  return d;
}

// Whether the file's frame stores colour at a lower resolution than brightness (4:2:2, 4:2:0...).
bool ChromaSubsampled(const std::wstring& path) {
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (file == nullptr) return false;
  std::vector<uint8_t> bytes;
  uint8_t chunk[4096];
  for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;)
    bytes.insert(bytes.end(), chunk, chunk + got);
  std::fclose(file);
  for (size_t at = 2; at + 4 <= bytes.size();) {
    if (bytes[at] != 0xFF) return false;
    const uint8_t marker = bytes[at + 1];
    const size_t length = static_cast<size_t>(bytes[at + 2]) << 8 | bytes[at + 3];
    const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame && at + 10 <= bytes.size()) {
      const size_t components = bytes[at + 9];
      bool differ = false;
      for (size_t c = 1; c < components && at + 11 + 3 * c < bytes.size(); ++c)
        differ |= bytes[at + 11 + 3 * c] != bytes[at + 11];
      return differ;
    }
    if (marker == 0xDA) return false;
    at += 2 + length;
  }
  return false;
}

bool IsJpegName(const std::wstring& path) {
  std::wstring lower = path.substr(path.find_last_of(L'\\') + 1);
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  const size_t dot = lower.rfind(L'.');
  return dot != std::wstring::npos && (lower.substr(dot) == L".jpg" || lower.substr(dot) == L".jpeg");
}

// One file through both routes. taken: whether the fast route decoded it.
void ExpectSameAsImagingLibrary(const std::wstring& path, bool& taken) {
  CImage fast, library, combined;
  const FileDecodeOutcome outcome = DecodeJpegFile(path, fast);
  const bool libraryOk = DecodeWithImagingLibrary(path, library);
  const bool combinedOk = DecodeFileToImage(path, combined);
  taken = outcome == FileDecodeOutcome::kDecoded;
  ASSERT_NE(outcome, FileDecodeOutcome::kCancelled);
  EXPECT_EQ(fast.IsNull(), !taken);
  // What the viewer gets: the fast result when taken, the imaging library's otherwise.
  EXPECT_EQ(combinedOk, taken || libraryOk) << "DecodeFileToImage disagrees with its two routes";
  if (!taken) {
    std::printf("  %-60s not taken; imaging library %s\n", Narrow(path).c_str(),
                libraryOk ? "decodes it" : "fails");
    if (libraryOk && combinedOk) {
      EXPECT_EQ(Compare(combined, library).largest, 0);
    }
    return;
  }
  // The fast route never shows a file the imaging library refuses.
  ASSERT_TRUE(libraryOk) << "expected the imaging library to decode what the fast route took, got a failure";
  ASSERT_EQ(fast.Width(), library.Width());
  ASSERT_EQ(fast.Height(), library.Height());
  ASSERT_EQ(fast.BitsPerPixel(), library.BitsPerPixel());
  EXPECT_EQ(fast.Pitch(), library.Pitch());
  EXPECT_EQ(fast.HasAlpha(), library.HasAlpha());
  if (fast.BitsPerPixel() <= 8) {
    const std::vector<RGBQUAD> tf = ColourTable(fast), tl = ColourTable(library);
    ASSERT_EQ(tf.size(), tl.size());
    for (size_t i = 0; i < tf.size(); ++i) {
      EXPECT_TRUE(tf[i].rgbRed == tl[i].rgbRed && tf[i].rgbGreen == tl[i].rgbGreen &&
                  tf[i].rgbBlue == tl[i].rgbBlue && tf[i].rgbReserved == tl[i].rgbReserved)
          << "colour table entry " << i;
    }
  }
  // Brightness is decoded alike; subsampled colour is not: Wine's libjpeg 9 enlarges it in the
  // DCT domain, libjpeg-turbo with a triangle filter (so does the imaging library on Windows, with
  // its own filter). On photographs that is 0.1 to 1.6 levels on average; layout faults (swapped
  // channels, flipped rows, a wrong colour table) give tens.
  const bool subsampled = ChromaSubsampled(path);
  const double colourLimit = subsampled ? 2.0 : 1.0;
  const Difference d = Compare(fast, library);
  std::printf("  %-60s %dx%d %d-bit%s, largest difference %d, mean %.3f, brightness mean %.3f\n",
              Narrow(path).c_str(), fast.Width(), fast.Height(), fast.BitsPerPixel(),
              subsampled ? " subsampled" : "", d.largest, d.mean, d.lumaMean);
  EXPECT_LE(d.lumaMean, 1.0) << "expected a mean brightness difference of at most 1 level, got "
                             << d.lumaMean;
  EXPECT_LE(d.mean, colourLimit) << "expected a mean difference of at most " << colourLimit << " levels, got "
                                 << d.mean;
  // What the viewer shows: the fast route's pixels, in the display's colours when the file embeds
  // a profile other than sRGB.
  ConvertColours(fast, ReadEmbeddedProfile(path), *DisplayProfileBytes(DisplayTargetOf(nullptr)));
  EXPECT_EQ(Compare(combined, fast).largest, 0) << "DecodeFileToImage did not take the fast route";
}

class ViewJpegFastPathTest : public ViewWindowTest {};

TEST_F(ViewJpegFastPathTest, EveryJpegDecodesLikeTheImagingLibrary) {
  struct Generated {
    TestJpegOptions options;
    bool truncated;
    bool taken;
  };
  TestJpegOptions progressive = JpegOptions(TestJpegColour::kYcc420, 203, 117);
  progressive.progressive = true;
  TestJpegOptions restarts = JpegOptions(TestJpegColour::kYcc422, 150, 96);
  restarts.restartRows = 1;
  const std::vector<Generated> generated = {
      {JpegOptions(TestJpegColour::kYcc444, 61, 37), false, true},
      {JpegOptions(TestJpegColour::kYcc422, 61, 37), false, true},
      {JpegOptions(TestJpegColour::kYcc420, 640, 479), false, true},
      {JpegOptions(TestJpegColour::kGrey, 77, 45), false, true},
      {JpegOptions(TestJpegColour::kRgb, 33, 19), false, true},
      {progressive, false, true},
      {restarts, false, true},
      {JpegOptions(TestJpegColour::kCmyk, 64, 40), false, false},
      // Cut in the middle of the scan: left to the imaging library, which decides what shows.
      {JpegOptions(TestJpegColour::kYcc420, 320, 240), true, false},
      {progressive, true, false},
  };
  for (const Generated& g : generated) {
    const std::string name = TestJpegName(g.options) + (g.truncated ? " truncated" : "");
    SCOPED_TRACE(name);
    std::string bytes = MakeTestJpeg(g.options);
    if (g.truncated) bytes.resize(bytes.size() * 2 / 3);
    std::wstring file = Scratch(std::wstring(name.begin(), name.end()) + L".jpg");
    std::replace(file.begin() + static_cast<ptrdiff_t>(scratch_.size()) + 1, file.end(), L':', L'-');
    ASSERT_TRUE(WriteBytes(file, bytes));
    bool taken = false;
    ExpectSameAsImagingLibrary(file, taken);
    EXPECT_EQ(taken, g.taken) << "expected the fast route " << (g.taken ? "to take" : "to leave") << " it";
  }

  const std::wstring dir = TestDataDir();
  if (dir.empty()) {
    std::printf("shared test data absent: only the generated files were compared\n");
    return;
  }
  std::vector<std::wstring> files;
  for (const std::wstring& path : FilesUnder(dir)) {
    if (IsJpegName(path)) files.push_back(path);
  }
  ASSERT_FALSE(files.empty());
  int taken = 0;
  for (const std::wstring& path : files) {
    SCOPED_TRACE(Narrow(path));
    bool wasTaken = false;
    ExpectSameAsImagingLibrary(path, wasTaken);
    taken += wasTaken;
  }
  std::printf("%d of %zu shared test JPEGs taken by the fast route\n", taken, files.size());
  EXPECT_GT(taken * 2, static_cast<int>(files.size()));
}

}  // namespace
