// What colour management and JPEG 2000 cost, against the decode of the same picture in this run:
// (a) the conversion of a 24 MP and a 12 MP photo from an embedded wide-gamut profile to the
//     display's (sRGB under Wine), cached transform, against the JPEG decode of the same file
//     into its DIB (target: at most 0.3); the first conversion, which also makes the transform,
//     is shown beside it;
// (b) a 12 MP JPEG 2000 file (openjpeg's irreversible wavelet at 10:1, the same pixels) decoded
//     into its DIB, against the JPEG decode of that picture.
// Medians of 5, the routes taking turns. Prints figures; it is not a test.
//   colour_bench.exe
#include <windows.h>

#include <lcms2.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "decode/colour_transform.h"
#include "decode/win32/colour_managed.h"
#include "decode/win32/display_profile.h"
#include "decode/win32/image_decode.h"
#include "decode/jpeg2000/win32/jpeg2000_decode.h"
#include "support/photo_jpeg.h"
#include "support/test_jpeg2000.h"
#include "support/test_paths.h"
#include "picture/win32/dib_image.h"
#include "decode/jpeg/win32/jpeg_decode.h"

namespace {

constexpr int kRuns = 5;

// A wide-gamut RGB profile made by Little CMS: Adobe RGB (1998)'s primaries, D65 white, gamma 2.2.
std::vector<uint8_t> WideGamutProfile() {
  cmsCIExyY white;
  cmsWhitePointFromTemp(&white, 6504);
  const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1}, {0.21, 0.71, 1}, {0.15, 0.06, 1}};
  cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.19921875);
  cmsToneCurve* curves[3] = {gamma, gamma, gamma};
  cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
  cmsFreeToneCurve(gamma);
  cmsUInt32Number bytes = 0;
  std::vector<uint8_t> out;
  if (profile != nullptr && cmsSaveProfileToMem(profile, nullptr, &bytes)) {
    out.resize(bytes);
    if (!cmsSaveProfileToMem(profile, out.data(), &bytes)) out.clear();
  }
  if (profile != nullptr) cmsCloseProfile(profile);
  return out;
}

void Measure(const char* label, const std::wstring& jpeg, const std::vector<uint8_t>& profile) {
  std::vector<double> decode, convert, oneThread, behind;
  ColourConverter alone;
  double first = 0;
  for (int run = 0; run < kRuns; ++run) {
    CImage image;
    double t = NowMs();
    if (DecodeJpegFile(jpeg, image) != FileDecodeOutcome::kDecoded) {
      std::printf("%s: the JPEG did not decode\n", label);
      return;
    }
    decode.push_back(NowMs() - t);
    t = NowMs();
    ConvertColours(image, profile, *DisplayProfileBytes(DisplayTargetOf(nullptr)));
    (run == 0 ? first : convert.emplace_back()) = NowMs() - t;
    t = NowMs();
    alone.Convert(profile, {}, image.TopRow(), image.Pitch(), image.Width(), image.Height(), ColourPixels::kBgr24, 1);
    oneThread.push_back(NowMs() - t);
    // The route a tagged file takes: rows converted on a second thread right behind the decoder.
    CImage tagged;
    t = NowMs();
    if (DecodeJpegFile(jpeg, tagged, nullptr, profile) != FileDecodeOutcome::kDecoded) return;
    behind.push_back(NowMs() - t);
  }
  const double d = Median(decode), c = Median(convert);
  const double one = Median(oneThread), b = Median(behind);
  std::printf("| %s | %.1f ms | %.1f ms (first, making the transform: %.1f ms) | %.3f | %.1f ms, %.3f | %.1f ms, %.3f |\n",
              label, d, c, first, c / d, one, one / d, b, (b - d) / d);
}

}  // namespace

int main() {
  const std::wstring folder = MakeScratchDir(L"colour-bench");
  const std::vector<uint8_t> profile = WideGamutProfile();
  if (profile.empty()) {
    std::printf("no profile could be made\n");
    return 1;
  }
  std::printf("| picture | JPEG decode into the DIB | conversion to the display's profile, cached | conversion / decode |"
              " the same on one thread, / decode | decode with the conversion behind it, (that - decode) / decode |\n"
              "|---|---|---|---|---|---|\n");
  const std::wstring big = folder + L"\\24mp.jpg", twelve = folder + L"\\12mp.jpg";
  if (!WritePhotoJpeg(big, 6000, 4000, 1) || !WritePhotoJpeg(twelve, 4000, 3000, 11)) {
    std::printf("the photos could not be written\n");
    return 1;
  }
  Measure("24 MP photo", big, profile);
  Measure("12 MP photo", twelve, profile);

  // The 12 MP photo's own pixels as a JPEG 2000 file.
  CImage photo;
  if (DecodeJpegFile(twelve, photo) != FileDecodeOutcome::kDecoded) return 1;
  Jpeg2000Options options;
  options.width = photo.Width(), options.height = photo.Height(), options.compressionRatio = 10;
  const double encodeStart = NowMs();
  const std::vector<uint8_t> jp2 = EncodeJpeg2000(options, [&](int32_t x, int32_t y, int32_t c) {
    return uint32_t{photo.TopRow()[static_cast<ptrdiff_t>(y) * photo.Pitch() + x * 3 + (2 - c)]};
  });
  const std::wstring jp2Path = folder + L"\\12mp.jp2";
  if (jp2.empty() || !WriteFileBytes(jp2Path, jp2)) return 1;
  std::printf("\n12 MP JP2 written by openjpeg in %.0f ms: %.1f MB\n\n", NowMs() - encodeStart, jp2.size() / 1e6);
  std::vector<double> jpegTimes, jp2Times;
  for (int run = 0; run < kRuns; ++run) {
    CImage a, b;
    double t = NowMs();
    DecodeJpegFile(twelve, a);
    jpegTimes.push_back(NowMs() - t);
    t = NowMs();
    if (DecodeFileWith(DecodeJpeg2000, jp2Path, b) != FileDecodeOutcome::kDecoded) {
      std::printf("the JP2 file did not decode\n");
      return 1;
    }
    jp2Times.push_back(NowMs() - t);
  }
  const double jpeg = Median(jpegTimes), j2 = Median(jp2Times);
  std::printf("| 12 MP picture | JPEG decode | JPEG 2000 decode | JPEG 2000 / JPEG |\n|---|---|---|---|\n");
  std::printf("| same pixels | %.1f ms | %.1f ms | %.2f |\n", jpeg, j2, j2 / jpeg);
  RemoveTree(folder);
  return 0;
}
