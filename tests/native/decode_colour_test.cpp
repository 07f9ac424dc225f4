// Embedded profiles joined from several JPEG segments, and the
// conversion's promises: sRGB and untagged pixels untouched, alpha and row padding never written,
// the same result however many threads share the rows, one transform per pair of profiles.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/colour_transform.h"
#include "decode/icc_profile_extract.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void Segment(Bytes& b, uint8_t marker, const Bytes& body) {
  b.insert(b.end(), {0xFF, marker, uint8_t((body.size() + 2) >> 8), uint8_t(body.size() + 2)});
  b.insert(b.end(), body.begin(), body.end());
}

Bytes IccChunk(uint8_t sequence, uint8_t count, const Bytes& part) {
  Bytes body = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, sequence, count};
  body.insert(body.end(), part.begin(), part.end());
  return body;
}

// SOI, APP0, the given APP2 chunks in the given order with fill bytes between, then SOS.
Bytes JpegWith(const std::vector<Bytes>& app2) {
  Bytes b = {0xFF, 0xD8};
  Segment(b, 0xE0, Bytes(14, 0x4A));
  for (const Bytes& chunk : app2) {
    b.insert(b.end(), {0xFF, 0xFF});
    Segment(b, 0xE2, chunk);
  }
  Segment(b, 0xDA, Bytes(10, 1));
  return b;
}

Bytes FromJpeg(const Bytes& file) {
  MemoryByteSource source(file.data(), file.size());
  return JpegIccProfile(source);
}

TEST(DecodeColour, ProfilesFoundAndConversionKeepsItsPromises) {
  const Bytes a(70000, 0x11), c = {7, 8, 9};
  Bytes whole = a;
  whole.push_back(0x22), whole.insert(whole.end(), c.begin(), c.end());
  // Out of order, with fill bytes between: joined by sequence number.
  const std::vector<Bytes> parts = {IccChunk(2, 3, Bytes(a.begin() + 60000, a.end())), IccChunk(3, 3, Bytes{0x22, 7, 8, 9}),
                                    IccChunk(1, 3, Bytes(a.begin(), a.begin() + 60000))};
  EXPECT_EQ(FromJpeg(JpegWith(parts)), whole) << "expected the three chunks joined in sequence order";
  EXPECT_TRUE(FromJpeg(JpegWith({parts[0], parts[2]})).empty()) << "a missing chunk gives no profile";
  EXPECT_TRUE(FromJpeg(JpegWith({parts[0], parts[1], parts[2], parts[2]})).empty()) << "a repeated chunk";
  EXPECT_TRUE(FromJpeg(JpegWith({IccChunk(1, 2, c), IccChunk(2, 3, c)})).empty()) << "counts that disagree";

  const std::string icc = "/usr/share/color/icc/colord/";
  const Bytes srgb = ReadFile(icc + "sRGB.icc"), adobe = ReadFile(icc + "AdobeRGB1998.icc"),
              grey = ReadFile("/usr/share/color/icc/Gray.icc");
  if (srgb.empty() || adobe.empty()) {
    GTEST_SKIP() << "colord-data is not installed: no real profiles to convert with";
  }
  EXPECT_EQ(ClassifyProfile(srgb), ProfileKind::kSrgb) << "expected colord's sRGB to count as sRGB";
  EXPECT_EQ(ClassifyProfile(adobe), ProfileKind::kRgb);
  EXPECT_EQ(ClassifyProfile(whole), ProfileKind::kUnusable);

  // 97 x 70 BGRA rows, bottom-up with 12 bytes of padding a row.
  const int32_t width = 97, height = 70, pitch = width * 4 + 12;
  Bytes pixels(static_cast<size_t>(pitch) * height);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = uint8_t(i * 7 + i / 389);
  uint8_t* const top = pixels.data() + pixels.size() - pitch;
  ColourConverter converter;
  Bytes converted = pixels;
  EXPECT_EQ(converter.Convert(srgb, {}, converted.data() + converted.size() - pitch, -pitch, width, height,
                              ColourPixels::kBgra32), ColourOutcome::kUntouched);
  EXPECT_EQ(converter.Convert({}, {}, top, -pitch, width, height, ColourPixels::kBgra32), ColourOutcome::kUntouched);
  EXPECT_EQ(converter.Convert(adobe, adobe, top, -pitch, width, height, ColourPixels::kBgra32),
            ColourOutcome::kUntouched) << "already in the display's colours";
  EXPECT_EQ(converted, pixels) << "sRGB pixels must stay exactly as decoded";

  Bytes twoThreads = pixels;
  ASSERT_EQ(converter.Convert(adobe, srgb, converted.data() + converted.size() - pitch, -pitch, width, height,
                              ColourPixels::kBgra32, 1), ColourOutcome::kConverted);
  ASSERT_EQ(converter.Convert(adobe, srgb, twoThreads.data() + twoThreads.size() - pitch, -pitch, width, height,
                              ColourPixels::kBgra32, 2), ColourOutcome::kConverted);
  EXPECT_EQ(twoThreads, converted) << "expected the same pixels from two threads as from one";
  EXPECT_EQ(converter.CachedCount(), 3u) << "expected one transform per pair of profiles (and layout)";
  // Our tables against Little CMS's own transform of the same pixels, for a near and a far gamut.
  const Bytes prophoto = ReadFile(icc + "ProPhotoRGB.icc");
  for (const Bytes* profile : {&adobe, &prophoto}) {
    Bytes ours = pixels, theirs = pixels;
    ColourConverter reference(ColourEngine::kLittleCmsOnly);
    ASSERT_EQ(converter.Convert(*profile, {}, ours.data() + ours.size() - pitch, -pitch, width, height,
                                ColourPixels::kBgra32), ColourOutcome::kConverted);
    ASSERT_EQ(reference.Convert(*profile, {}, theirs.data() + theirs.size() - pitch, -pitch, width, height,
                                ColourPixels::kBgra32), ColourOutcome::kConverted);
    int largest = 0;
    for (size_t i = 0; i < ours.size(); ++i) largest = std::max(largest, std::abs(ours[i] - theirs[i]));
    EXPECT_LE(largest, 1) << "expected our tables within one level of Little CMS, got " << largest;
  }
  int changed = 0, alphaOrPaddingWritten = 0;
  for (size_t i = 0; i < pixels.size(); ++i) {
    const size_t inRow = i % pitch;
    const bool colour = inRow < size_t(width) * 4 && inRow % 4 != 3;
    (colour ? changed : alphaOrPaddingWritten) += converted[i] != pixels[i];
  }
  EXPECT_GT(changed, width * height) << "expected Adobe RGB numbers to change on the way to sRGB";
  EXPECT_EQ(alphaOrPaddingWritten, 0) << "alpha and padding must stay as they were";

}

}  // namespace
