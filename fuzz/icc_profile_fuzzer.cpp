// libFuzzer target: any bytes, searched for an embedded profile as a JPEG (APP2 segments), a TIFF
// (first directory) and a PNG (iCCP, inflated), then the profile found, or the input itself, handed to Little CMS as the
// untrusted profile it is and, when usable, made into a transform to sRGB and applied.
// Seeds (fuzz/corpus/icc_profile/) are tiny pictures ImageMagick tagged with colord-data's free
// profiles, e.g. convert -size 4x4 xc:red -profile /usr/share/color/icc/colord/AdobeRGB1998.icc a.jpg
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/icc_profile_extract.h"

namespace {

void Require(bool condition, const char* what) {
  if (condition) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

void Try(ColourConverter& converter, const std::vector<uint8_t>& profile) {
  uint8_t rows[2][16 * 4];
  for (size_t i = 0; i < sizeof rows; ++i) rows[i / 64][i % 64] = static_cast<uint8_t>(i * 37);
  uint8_t alpha[2][16];
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x) alpha[y][x] = rows[y][x * 4 + 3];
  const ProfileKind kind = ClassifyProfile(profile);
  const ColourOutcome outcome =
      converter.Convert(profile, {}, rows[1], -static_cast<ptrdiff_t>(sizeof rows[0]), 16, 2, ColourPixels::kBgra32);
  Require(outcome == ColourOutcome::kUntouched || kind == ProfileKind::kRgb || kind == ProfileKind::kGrey,
          "only RGB and grey profiles convert RGB pixels");
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 16; ++x) Require(alpha[y][x] == rows[y][x * 4 + 3], "alpha untouched");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  MemoryByteSource source(data, size);
  const std::vector<uint8_t> jpeg = JpegIccProfile(source);
  const std::vector<uint8_t> tiff = TiffIccProfile(source);
  const std::vector<uint8_t> png = PngIccProfile(source);
  Require(jpeg.size() <= size && tiff.size() <= size, "a profile is never larger than its file");
  Require(png.size() <= kMaxProfileBytes, "an inflated profile stays within the bound");
  Require(EmbeddedIccProfile(source) == (!jpeg.empty() ? jpeg : !tiff.empty() ? tiff : png),
          "the format's own reader decides");
  ColourConverter converter;
  if (!jpeg.empty()) Try(converter, jpeg);
  if (!tiff.empty()) Try(converter, tiff);
  if (!png.empty()) Try(converter, png);
  Try(converter, std::vector<uint8_t>(data, data + size));
  return 0;
}
