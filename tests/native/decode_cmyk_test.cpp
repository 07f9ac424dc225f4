// A CMYK JPEG as Photoshop writes one (inks inverted, Adobe's marker, a real CMYK profile in several
// APP2 segments), stored as CMYK and as YCCK, decoded and converted as the viewer does: each flat
// patch within 2 levels of Little CMS's own conversion of the inks written, every pixel opaque.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <lcms2.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/icc_profile_extract.h"
#include "decode/jpeg_rows.h"

namespace {

class StringReader final : public JpegByteReader {
 public:
  explicit StringReader(const std::string& bytes) : bytes_(bytes) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    const size_t n = std::min(capacity, bytes_.size() - at_);
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    return n;
  }

 private:
  const std::string& bytes_;
  size_t at_ = 0;
};

TEST(DecodeColour, CmykJpegShownThroughItsEmbeddedProfile) {
  std::ifstream in("/usr/share/color/icc/ghostscript/default_cmyk.icc", std::ios::binary);
  const std::vector<uint8_t> icc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (icc.empty()) GTEST_SKIP() << "libgs-common is not installed: no CMYK profile to embed";
  constexpr int kPatch = 16, kPatches = 6;
  const uint8_t inks[kPatches][4] = {{255, 0, 0, 0}, {0, 255, 0, 0}, {0, 0, 230, 0},
                                     {0, 0, 0, 128}, {40, 160, 200, 20}, {0, 0, 0, 0}};
  cmsHPROFILE cmyk = cmsOpenProfileFromMem(icc.data(), icc.size()), srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM reference = cmsCreateTransform(cmyk, TYPE_CMYK_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  ASSERT_NE(reference, nullptr);
  ColourConverter converter;
  EXPECT_FALSE(converter.Converts(icc, {}, ColourPixels::kBgra32)) << "a CMYK profile says nothing of RGB pixels";
  for (const J_COLOR_SPACE stored : {JCS_CMYK, JCS_YCCK}) {
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    jpeg_mem_dest(&info, &out, &outSize);
    info.image_width = kPatch * kPatches, info.image_height = kPatch;
    info.input_components = 4, info.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&info);
    jpeg_set_colorspace(&info, stored);  // Adobe's marker comes with either
    jpeg_set_quality(&info, 95, TRUE);
    jpeg_start_compress(&info, TRUE);
    jpeg_write_icc_profile(&info, icc.data(), static_cast<unsigned>(icc.size()));
    std::vector<JSAMPLE> row(info.image_width * 4);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<JSAMPLE>(255 - inks[i / 4 / kPatch][i % 4]);
    for (JSAMPROW rows[1] = {row.data()}; info.next_scanline < info.image_height;) jpeg_write_scanlines(&info, rows, 1);
    jpeg_finish_compress(&info);
    const std::string file(reinterpret_cast<const char*>(out), outSize);
    jpeg_destroy_compress(&info);
    std::free(out);

    MemoryByteSource source(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    const std::vector<uint8_t> embedded = JpegIccProfile(source);
    EXPECT_EQ(embedded, icc) << "expected the " << icc.size() << "-byte profile joined from its segments";
    StringReader reader(file);
    JpegRowsDecoder decoder(reader, JpegCmyk::kTake);
    JpegRowsHeader header;
    ASSERT_TRUE(decoder.ReadHeader(header) && header.layout == JpegRowLayout::kCmyk32 && header.invertedCmyk)
        << "expected inverted CMYK rows";
    const ptrdiff_t stride = header.RowBytes();  // stored bottom-up, as in a DIB
    std::vector<uint8_t> pixels(static_cast<size_t>(stride * header.height));
    uint8_t* const top = pixels.data() + pixels.size() - stride;
    ASSERT_EQ(decoder.DecodeRows(top, -stride, nullptr), JpegRowsOutcome::kDecoded);
    ASSERT_EQ(converter.Convert(embedded, {}, top, -stride, header.width, header.height, ColourPixels::kInvertedCmyk32),
              ColourOutcome::kConverted);
    for (int p = 0; p < kPatches; ++p) {
      uint8_t expected[3];
      cmsDoTransform(reference, inks[p], expected, 1);
      double sum[3] = {};
      for (int y = 4; y < kPatch - 4; ++y)
        for (int x = p * kPatch + 4; x < (p + 1) * kPatch - 4; ++x)
          for (int c = 0; c < 3; ++c) sum[c] += top[-y * stride + x * 4 + 2 - c];
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(sum[c] / 64, expected[c], 2.0) << (stored == JCS_YCCK ? "YCCK" : "CMYK") << " patch " << p
                                                   << " channel " << c << ": expected " << int{expected[c]}
                                                   << ", got " << sum[c] / 64;
    }
    int opaque = 0;
    for (size_t i = 3; i < pixels.size(); i += 4) opaque += pixels[i] == 255;
    EXPECT_EQ(opaque, header.width * header.height) << "expected every pixel opaque";
  }
  EXPECT_EQ(converter.CachedCount(), 2u) << "expected one transform for both files (and the declined RGB one)";
  cmsDeleteTransform(reference);
  cmsCloseProfile(cmyk);
  cmsCloseProfile(srgb);
}

}  // namespace
