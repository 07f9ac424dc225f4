// Pictures tagged with free wide-gamut profiles (colord-data), as JPEG, TIFF, PNG, JPEG 2000 and WebP, decoded
// as the worker decodes them: every flat patch within 2 levels on average of Little CMS's own
// conversion to sRGB (tificc, relative colorimetric, of the numbers each file decodes to), while untagged and sRGB-tagged pictures keep
// exactly the numbers they were decoded with. The pictures come from
// tests/colour/make_colour_pictures.sh, run by the build.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "picture/win32/dib_image.h"
#include "support/test_jpeg2000.h"
#include "support/test_paths.h"

namespace {

constexpr int kPatch = 64, kColumns = 4, kRows = 2, kInset = 8;

struct PatchMeans {
  bool ok = false;
  double bgr[kColumns * kRows][3] = {};
};

// Mean blue, green and red of each patch's interior (JPEG's ringing at the edges left out).
PatchMeans Means(const CImage& image) {
  PatchMeans means;
  const int bytes = image.BitsPerPixel() / 8;
  if (image.IsNull() || (bytes != 3 && bytes != 4) || image.Width() != kPatch * kColumns ||
      image.Height() != kPatch * kRows) {
    return means;
  }
  for (int p = 0; p < kColumns * kRows; ++p) {
    const int left = (p % kColumns) * kPatch, top = (p / kColumns) * kPatch;
    double sum[3] = {};
    for (int y = top + kInset; y < top + kPatch - kInset; ++y) {
      const uint8_t* row = image.TopRow() + static_cast<ptrdiff_t>(y) * image.Pitch();
      for (int x = left + kInset; x < left + kPatch - kInset; ++x)
        for (int c = 0; c < 3; ++c) sum[c] += row[x * bytes + c];
    }
    const double count = (kPatch - 2 * kInset) * (kPatch - 2 * kInset);
    for (int c = 0; c < 3; ++c) means.bgr[p][c] = sum[c] / count;
  }
  means.ok = true;
  return means;
}

PatchMeans Decoded(const std::wstring& path, bool asTheWorkerDoes) {
  CImage image;
  const bool ok = asTheWorkerDoes ? DecodeFileToImage(path, image) : DecodeWithImagingLibrary(path, image);
  return ok ? Means(image) : PatchMeans{};
}

// The largest difference of a patch's channel mean between two pictures.
double LargestDifference(const PatchMeans& a, const PatchMeans& b) {
  double largest = 0;
  for (int p = 0; p < kColumns * kRows; ++p)
    for (int c = 0; c < 3; ++c) largest = std::max(largest, std::fabs(a.bgr[p][c] - b.bgr[p][c]));
  return largest;
}

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

TEST(DecodeColour, TaggedPicturesMatchLittleCmsAndUntaggedStayExact) {
  const std::wstring folder = BinaryDir() + L"\\..\\colour-pictures";
  if (GetFileAttributesW((folder + L"\\complete").c_str()) == INVALID_FILE_ATTRIBUTES) {
    GTEST_SKIP() << "no colour pictures in " << Narrow(folder)
                 << " (ImageMagick, liblcms2-utils, webp or colord-data missing when the build ran)";
  }
  // What the display's profile is here decides the reference: Little CMS converted to sRGB.
  const auto displayProfile = DisplayProfileBytes(DisplayTargetOf(GetDesktopWindow()));
  const ProfileKind display = ClassifyProfile(*displayProfile);
  std::printf("display profile: %zu bytes\n", displayProfile->size());
  if (display != ProfileKind::kNone && display != ProfileKind::kSrgb && display != ProfileKind::kUnusable) {
    GTEST_SKIP() << "the display has a profile other than sRGB here; the references are in sRGB";
  }

  // Untagged and sRGB-tagged: the numbers as decoded, to the last bit.
  CImage untagged, srgb, png;
  ASSERT_TRUE(DecodeFileToImage(folder + L"\\untagged.jpg", untagged));
  ASSERT_TRUE(DecodeFileToImage(folder + L"\\srgb.jpg", srgb));
  ASSERT_TRUE(untagged.Height() == srgb.Height() && untagged.Pitch() == srgb.Pitch() && untagged.Pitch() < 0);
  const ptrdiff_t last = static_cast<ptrdiff_t>(untagged.Height() - 1) * untagged.Pitch();  // lowest in memory
  EXPECT_EQ(std::memcmp(untagged.TopRow() + last, srgb.TopRow() + last, static_cast<size_t>(-last - untagged.Pitch())), 0)
      << "an sRGB-tagged picture must stay exactly as decoded";
  const PatchMeans original = Decoded(folder + L"\\patches.png", true);
  ASSERT_TRUE(original.ok) << "expected the untagged patches to decode";
  EXPECT_EQ(original.bgr[0][2], 200.0) << "expected the untagged red patch's red exactly";

  for (const wchar_t* profile : {L"AdobeRGB1998", L"ProPhotoRGB"}) {
    const std::wstring base = folder + L"\\" + profile;
    const PatchMeans lossless = Decoded(base + L"-reference.tif", false);
    ASSERT_TRUE(lossless.ok) << "expected the tificc reference " << Narrow(base) << "-reference.tif";
    EXPECT_GT(LargestDifference(lossless, original), 10.0) << "the profile must matter for the test to mean anything";

    // The same patches as a JPEG 2000 file whose colour box holds the profile.
    std::vector<uint8_t> icc;
    ASSERT_TRUE(ReadFileBytes(base + L".icc", &icc));
    CImage patches;
    ASSERT_TRUE(DecodeWithImagingLibrary(folder + L"\\patches.png", patches));
    Jpeg2000Options options;
    options.width = patches.Width(), options.height = patches.Height(), options.iccProfile = icc;
    const int pixel = patches.BitsPerPixel() / 8;
    ASSERT_TRUE(WriteFileBytes(base + L".jp2", EncodeJpeg2000(options, [&](int32_t x, int32_t y, int32_t c) {
      return uint32_t{patches.TopRow()[static_cast<ptrdiff_t>(y) * patches.Pitch() + x * pixel + (2 - c)]};
    })));

    const PatchMeans jpegReference = Decoded(base + L"-jpeg-reference.tif", false);
    ASSERT_TRUE(jpegReference.ok);
    for (const wchar_t* extension : {L".jpg", L".tif", L".png", L".jp2", L".webp"}) {
      const PatchMeans& reference = extension[1] == L'j' && extension[2] == L'p' && extension[3] == L'g'
                                        ? jpegReference : lossless;
      const PatchMeans shown = Decoded(base + extension, true);
      ASSERT_TRUE(shown.ok) << "expected " << Narrow(base + extension) << " to decode";
      const double largest = LargestDifference(shown, reference);
      std::printf("%s: largest patch difference from tificc %.2f levels\n", Narrow(base + extension).c_str(), largest);
      EXPECT_LE(largest, 2.0) << Narrow(base + extension) << ": expected within 2 levels of Little CMS, got "
                              << largest;
    }
  }
}

}  // namespace
