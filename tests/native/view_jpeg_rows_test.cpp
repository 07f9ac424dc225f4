// The platform-free JPEG row decoder on files compressed by libjpeg-turbo from code: every row
// against libjpeg's own plain decode, bottom-up pitch, padding, the kinds left to the imaging
// library, and cancellation.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <lcms2.h>

#include "decode/colour_transform.h"
#include "decode/icc_profile_extract.h"
#include "decode/jpeg/jpeg_rows.h"
#include "support/test_jpeg.h"

namespace {

// Serves a file from memory in reads of at most chunk bytes; can raise a flag after some bytes.
class MemoryReader final : public JpegByteReader {
 public:
  MemoryReader(const std::string& bytes, size_t chunk) : bytes_(bytes), chunk_(chunk) {}
  size_t Read(uint8_t* buffer, size_t capacity) noexcept override {
    largestAsk_ = std::max(largestAsk_, capacity);
    const size_t n = std::min({capacity, chunk_, bytes_.size() - at_});
    std::memcpy(buffer, bytes_.data() + at_, n);
    at_ += n;
    if (raise_ != nullptr && at_ >= raiseAfter_) raise_->store(true);
    return n;
  }
  void RaiseAfter(size_t bytes, std::atomic<bool>* flag) { raiseAfter_ = bytes, raise_ = flag; }
  size_t largestAsk() const { return largestAsk_; }
  size_t consumed() const { return at_; }

 private:
  const std::string& bytes_;
  size_t chunk_;
  size_t at_ = 0;
  size_t largestAsk_ = 0;
  size_t raiseAfter_ = 0;
  std::atomic<bool>* raise_ = nullptr;
};

// libjpeg-turbo's plain decode of the whole file into tightly packed rows, top row first.
std::vector<uint8_t> ReferenceDecode(const std::string& bytes, J_COLOR_SPACE out, int32_t& width,
                                     int32_t& height) {
  jpeg_decompress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  jpeg_read_header(&info, TRUE);
  info.out_color_space = out;
  jpeg_start_decompress(&info);
  width = static_cast<int32_t>(info.output_width);
  height = static_cast<int32_t>(info.output_height);
  const size_t rowBytes = static_cast<size_t>(info.output_width) * info.output_components;
  std::vector<uint8_t> pixels(rowBytes * info.output_height);
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = pixels.data() + rowBytes * info.output_scanline;
    jpeg_read_scanlines(&info, &row, 1);
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return pixels;
}

// A bottom-up bitmap like a DIB section: rows padded to 4 bytes, plus guard bytes around it.
struct BottomUpRows {
  static constexpr uint8_t kUntouched = 0xA5;
  static constexpr size_t kGuard = 64;
  BottomUpRows(int32_t height, int32_t rowBytes)
      : stride((rowBytes + 3) / 4 * 4),
        memory(kGuard * 2 + static_cast<size_t>(stride) * height, kUntouched),
        height(height) {}
  uint8_t* TopRow() { return memory.data() + kGuard + static_cast<size_t>(stride) * (height - 1); }
  const uint8_t* Row(int32_t y) const {
    return memory.data() + kGuard + static_cast<size_t>(stride) * (height - 1 - y);
  }
  int32_t stride;
  std::vector<uint8_t> memory;
  int32_t height;
};

std::string WithPrecision12(std::string bytes) {
  const size_t frame = bytes.find("\xFF\xC0", 2, 2);
  if (frame != std::string::npos) bytes[frame + 4] = 12;
  return bytes;
}

TEST(ViewJpegRows, EveryKindDecodesRowForRowOrIsLeftToTheImagingLibrary) {
  TestJpegOptions progressive = JpegOptions(TestJpegColour::kYcc420, 203, 117);
  progressive.progressive = true;
  TestJpegOptions greyProgressive = JpegOptions(TestJpegColour::kGrey, 45, 31);
  greyProgressive.progressive = true;
  TestJpegOptions restarts = JpegOptions(TestJpegColour::kYcc422, 150, 96);
  restarts.restartRows = 1;
  TestJpegOptions arithmetic = JpegOptions(TestJpegColour::kYcc420, 70, 50);
  arithmetic.arithmetic = true;
  const std::string colour420 = MakeTestJpeg(JpegOptions(TestJpegColour::kYcc420, 320, 240));

  struct Case {
    std::string name;
    std::string bytes;
    bool headerTaken;
    JpegRowsOutcome outcome;
    JpegRowLayout layout;
  };
  const auto decoded = JpegRowsOutcome::kDecoded;
  const auto bgr = JpegRowLayout::kBgr24;
  const auto grey = JpegRowLayout::kGrey8;
  std::vector<Case> cases;
  for (const TestJpegOptions& o :
       {JpegOptions(TestJpegColour::kYcc444, 61, 37), JpegOptions(TestJpegColour::kYcc422, 61, 37),
        JpegOptions(TestJpegColour::kYcc420, 61, 37), JpegOptions(TestJpegColour::kRgb, 33, 19),
        JpegOptions(TestJpegColour::kYcc420, 1, 1), progressive, restarts, arithmetic}) {
    cases.push_back({TestJpegName(o), MakeTestJpeg(o), true, decoded, bgr});
  }
  for (const TestJpegOptions& o : {JpegOptions(TestJpegColour::kGrey, 77, 45), greyProgressive}) {
    cases.push_back({TestJpegName(o), MakeTestJpeg(o), true, decoded, grey});
  }
  // Left to the imaging library: CMYK, 12-bit samples, not a JPEG, cut before the first scan.
  cases.push_back({"CMYK", MakeTestJpeg(JpegOptions(TestJpegColour::kCmyk, 64, 40)), false, {}, {}});
  cases.push_back({"12-bit", WithPrecision12(colour420), false, {}, {}});
  cases.push_back(
      {"PNG signature", std::string("\x89PNG\r\n\x1a\n", 8) + colour420.substr(2), false, {}, {}});
  cases.push_back({"cut in the header", colour420.substr(0, 200), false, {}, {}});
  // Cut in the scan: the imaging library decides what a short file shows (Wine's refuses it).
  cases.push_back({"cut in the scan", colour420.substr(0, colour420.size() * 2 / 3), true,
                   JpegRowsOutcome::kNotTaken, bgr});
  cases.push_back({"progressive cut between scans",
                   MakeTestJpeg(progressive).substr(0, MakeTestJpeg(progressive).size() / 2), true,
                   JpegRowsOutcome::kNotTaken, bgr});

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    MemoryReader reader(c.bytes, 1000);  // short reads: every refill path runs
    JpegRowsDecoder decoder(reader);
    JpegRowsHeader header;
    ASSERT_EQ(decoder.ReadHeader(header), c.headerTaken);
    if (!c.headerTaken) continue;
    EXPECT_EQ(header.layout, c.layout);
    EXPECT_LE(reader.largestAsk(), 64u * 1024u) << "reads in chunks, never the whole file";
    BottomUpRows rows(header.height, header.RowBytes());
    ASSERT_EQ(decoder.DecodeRows(rows.TopRow(), -rows.stride, nullptr), c.outcome);
    if (c.outcome != decoded) continue;
    EXPECT_EQ(decoder.RowsDone(), header.height);

    int32_t width = 0, height = 0;
    const std::vector<uint8_t> expected =
        ReferenceDecode(c.bytes, c.layout == bgr ? JCS_EXT_BGR : JCS_GRAYSCALE, width, height);
    ASSERT_EQ(header.width, width);
    ASSERT_EQ(header.height, height);
    const size_t rowBytes = static_cast<size_t>(header.RowBytes());
    int wrongRows = 0;
    for (int32_t y = 0; y < height; ++y) {
      const uint8_t* row = rows.Row(y);
      if (std::memcmp(row, expected.data() + rowBytes * y, rowBytes) != 0 && ++wrongRows <= 3) {
        ADD_FAILURE() << "row " << y << " differs from libjpeg's own decode";
      }
      for (size_t pad = rowBytes; pad < static_cast<size_t>(rows.stride); ++pad) {
        ASSERT_EQ(row[pad], BottomUpRows::kUntouched) << "padding of row " << y << " written";
      }
    }
    for (size_t i = 0; i < BottomUpRows::kGuard; ++i) {
      ASSERT_EQ(rows.memory[i], BottomUpRows::kUntouched) << "written below the bitmap";
      ASSERT_EQ(rows.memory[rows.memory.size() - 1 - i], BottomUpRows::kUntouched)
          << "written above the bitmap";
    }
    // The colour pattern is where it belongs: top-left reddish-blue gradient start, not mirrored.
    if (c.layout == bgr && width > 8 && height > 8) {
      const uint32_t rgb = TestJpegPatternRgb(2, height - 3, width, height);
      const uint8_t* p = rows.Row(height - 3) + 2 * 3;
      EXPECT_NEAR(p[2], static_cast<int>(rgb >> 16), 24);
      EXPECT_NEAR(p[0], static_cast<int>(rgb & 0xFF), 24);
    }
  }
}

TEST(ViewJpegRows, CancellingStopsWithinAFewRowsAtAnyStage) {
  TestJpegOptions baseline;
  baseline.width = 512, baseline.height = 384;
  TestJpegOptions progressive = baseline;
  progressive.progressive = true;
  for (const TestJpegOptions& o : {baseline, progressive}) {
    SCOPED_TRACE(TestJpegName(o));
    const std::string bytes = MakeTestJpeg(o);
    const size_t rowBytes = static_cast<size_t>(o.width) * 3;
    std::vector<uint8_t> pixels(rowBytes * o.height);

    // Set before the decode starts: nothing is decoded.
    {
      std::atomic<bool> cancel{false};
      MemoryReader reader(bytes, 4096);
      JpegRowsDecoder decoder(reader);
      JpegRowsHeader header;
      ASSERT_TRUE(decoder.ReadHeader(header));
      cancel = true;
      EXPECT_EQ(decoder.DecodeRows(pixels.data(), static_cast<ptrdiff_t>(rowBytes), &cancel),
                JpegRowsOutcome::kCancelled);
      EXPECT_EQ(decoder.RowsDone(), 0);
    }
    // Set by another party once half the file has been read: the decode stops soon after, long
    // before the last row, and reads little more of the file.
    {
      std::atomic<bool> cancel{false};
      MemoryReader reader(bytes, 4096);
      reader.RaiseAfter(bytes.size() / 2, &cancel);
      JpegRowsDecoder decoder(reader);
      JpegRowsHeader header;
      ASSERT_TRUE(decoder.ReadHeader(header));
      EXPECT_EQ(decoder.DecodeRows(pixels.data(), static_cast<ptrdiff_t>(rowBytes), &cancel),
                JpegRowsOutcome::kCancelled);
      EXPECT_LT(decoder.RowsDone(), o.height * 3 / 4);
      EXPECT_LT(reader.consumed(), bytes.size() / 2 + 3 * 4096);
    }
    // Never set: the whole picture, and a second decode call is refused.
    {
      std::atomic<bool> cancel{false};
      MemoryReader reader(bytes, 4096);
      JpegRowsDecoder decoder(reader);
      JpegRowsHeader header;
      ASSERT_TRUE(decoder.ReadHeader(header));
      EXPECT_EQ(decoder.DecodeRows(pixels.data(), static_cast<ptrdiff_t>(rowBytes), &cancel),
                JpegRowsOutcome::kDecoded);
      EXPECT_EQ(decoder.RowsDone(), o.height);
      EXPECT_EQ(decoder.DecodeRows(pixels.data(), static_cast<ptrdiff_t>(rowBytes), &cancel),
                JpegRowsOutcome::kNotTaken);
    }
  }
}

// The fuzzer's seeds and every input that ever produced a finding, with the fuzzer's invariants.
TEST(ViewJpegRows, FuzzSeedsAndFindingsReplay) {
  namespace fs = std::filesystem;
  std::map<std::string, JpegRowsOutcome> outcomes;
  for (const char* folder : {"corpus/jpeg_rows", "regressions/jpeg_rows"}) {
    const fs::path dir = fs::path(VISTREL_SOURCE_DIR) / "fuzz" / folder;
    if (!fs::is_directory(dir)) continue;
    for (const auto& entry : fs::directory_iterator(dir)) {
      if (!entry.is_regular_file() || entry.path().extension() == ".txt") continue;
      const std::string name = entry.path().filename().string();
      SCOPED_TRACE(name);
      std::ifstream in(entry.path(), std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
      MemoryReader reader(bytes, 1 + bytes.size() % 4093);
      JpegRowsDecoder decoder(reader, JpegCmyk::kTake);  // as the fuzzer decodes them
      JpegRowsHeader header;
      outcomes[name] = JpegRowsOutcome::kNotTaken;
      if (!decoder.ReadHeader(header) || static_cast<uint64_t>(header.width) * header.height > (1u << 20))
        continue;
      const size_t stride = static_cast<size_t>(header.RowBytes() + 3) / 4 * 4;
      std::vector<uint8_t> bitmap(stride * static_cast<size_t>(header.height));
      outcomes[name] = decoder.DecodeRows(bitmap.data() + stride * static_cast<size_t>(header.height - 1),
                                          -static_cast<ptrdiff_t>(stride), nullptr);
      EXPECT_NE(outcomes[name], JpegRowsOutcome::kCancelled);
      if (outcomes[name] == JpegRowsOutcome::kDecoded) {
        EXPECT_EQ(decoder.RowsDone(), header.height);
      }
    }
  }
  ASSERT_GE(outcomes.size(), 12u) << "fuzz/corpus/jpeg_rows is incomplete: see fuzz/make_jpeg_corpus.cpp";
  for (const char* name :
       {"444.jpg", "422.jpg", "420.jpg", "grey.jpg", "rgb.jpg", "progressive.jpg", "grey-progressive.jpg",
        "restarts.jpg", "arithmetic.jpg", "arithmetic-progressive.jpg"}) {
    EXPECT_EQ(outcomes[name], JpegRowsOutcome::kDecoded) << name;
  }
  EXPECT_EQ(outcomes["cmyk.jpg"], JpegRowsOutcome::kDecoded);
  EXPECT_EQ(outcomes["ycck.jpg"], JpegRowsOutcome::kDecoded);
  EXPECT_EQ(outcomes["truncated.jpg"], JpegRowsOutcome::kNotTaken);
}

// CMYK as Photoshop writes it (inks inverted, Adobe's marker, a real profile in several APP2 segments),
// stored as CMYK and as YCCK: flat patches within 2 levels of Little CMS's own conversion, opaque.
TEST(ViewJpegRows, CmykWithItsProfileMatchesLittleCms) {
  std::ifstream in("/usr/share/color/icc/ghostscript/default_cmyk.icc", std::ios::binary);
  const std::vector<uint8_t> icc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (icc.empty()) GTEST_SKIP() << "libgs-common is not installed: no CMYK profile to embed";
  const std::vector<std::array<uint8_t, 4>> inks = {{255, 0, 0, 0},   {0, 255, 0, 0},     {0, 0, 230, 0},
                                                    {0, 0, 0, 128}, {40, 160, 200, 20}, {0, 0, 0, 0}};
  cmsHPROFILE cmyk = cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())), srgb = cmsCreate_sRGBProfile();
  cmsHTRANSFORM reference = cmsCreateTransform(cmyk, TYPE_CMYK_8, srgb, TYPE_RGB_8, INTENT_RELATIVE_COLORIMETRIC, 0);
  std::vector<uint8_t> expected(inks.size() * 3);  // red, green, blue of each patch
  cmsDoTransform(reference, inks.data(), expected.data(), static_cast<cmsUInt32Number>(inks.size()));
  cmsDeleteTransform(reference), cmsCloseProfile(cmyk), cmsCloseProfile(srgb);
  ColourConverter converter;
  for (const TestJpegColour stored : {TestJpegColour::kCmyk, TestJpegColour::kYcck}) {
    TestJpegOptions o = JpegOptions(stored, 96, 16);
    o.quality = 95, o.cmykPatches = inks, o.iccProfile = icc;
    const std::string file = MakeTestJpeg(o);
    MemoryByteSource source(reinterpret_cast<const uint8_t*>(file.data()), file.size());
    MemoryReader reader(file, 4093);
    JpegRowsDecoder decoder(reader, JpegCmyk::kTake);
    JpegRowsHeader header;
    ASSERT_TRUE(decoder.ReadHeader(header) && header.layout == JpegRowLayout::kCmyk32 && header.invertedCmyk)
        << TestJpegName(o) << ": expected inverted CMYK rows";
    BottomUpRows rows(16, header.RowBytes());
    ASSERT_EQ(decoder.DecodeRows(rows.TopRow(), -rows.stride, nullptr), JpegRowsOutcome::kDecoded);
    ASSERT_EQ(converter.Convert(JpegIccProfile(source), {}, rows.TopRow(), -rows.stride, 96, 16,
                                ColourPixels::kInvertedCmyk32), ColourOutcome::kConverted);
    for (size_t p = 0; p < inks.size(); ++p) {
      double mean[4] = {};  // blue, green, red, alpha over the patch less 4 pixels at each edge
      for (int32_t y = 4; y < 12; ++y)
        for (size_t x = p * 16 + 4; x < p * 16 + 12; ++x)
          for (int c = 0; c < 4; ++c) mean[c] += rows.Row(y)[x * 4 + c] / 64.0;
      EXPECT_EQ(mean[3], 255.0) << "expected opaque pixels";
      for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(mean[2 - c], expected[p * 3 + c], 2.0) << TestJpegName(o) << " patch " << p << " channel " << c
                                                           << ": expected " << int{expected[p * 3 + c]} << ", got " << mean[2 - c];
    }
  }
  EXPECT_EQ(converter.CachedCount(), 1u) << "expected one transform kept for both files";
}

}  // namespace

namespace {

// A reduced decode, as a first view takes it: the reduced size libjpeg rounds up to, and pixels
// close to the box average of the full decode (the reduced transforms are a box filter of sorts).
TEST(ViewJpegRows, ReducedDecodesAreTheBoxAverageOfTheFullOne) {
  EXPECT_EQ(ReductionForView(6000, 4000, 1500, 1000), 4);
  EXPECT_EQ(ReductionForView(6000, 4000, 750, 500), 8);
  EXPECT_EQ(ReductionForView(6001, 4000, 751, 500), 8) << "a reduced size rounds up";
  EXPECT_EQ(ReductionForView(6000, 4000, 3000, 2000), 2);
  EXPECT_EQ(ReductionForView(6000, 4000, 3001, 2000), 0) << "more than half the size: no first view";
  EXPECT_EQ(ReductionForView(6000, 4000, 0, 0), 0);

  // Baseline files decode every scan reduced; progressive ones only their first scans (the DC
  // coefficients, at the reduced size), which is all a reduction by 8 keeps anyway.
  for (bool progressive : {false, true}) {
  TestJpegOptions options = JpegOptions(TestJpegColour::kYcc420, 803, 597);
  options.quality = 95;
  options.progressive = progressive;
  const std::string bytes = MakeTestJpeg(options);
  int32_t width = 0, height = 0;
  const std::vector<uint8_t> full = ReferenceDecode(bytes, JCS_EXT_BGR, width, height);
  for (int denominator : {2, 4, 8}) {
    MemoryReader reader(bytes, 4096);
    JpegRowsDecoder decoder(reader);
    JpegRowsHeader header;
    ASSERT_TRUE(decoder.ReadHeader(header));
    EXPECT_EQ(decoder.Progressive(), progressive);
    ASSERT_TRUE(decoder.ScaleDown(denominator, header));
    EXPECT_EQ(header.width, (803 + denominator - 1) / denominator);
    EXPECT_EQ(header.height, (597 + denominator - 1) / denominator);
    std::vector<uint8_t> rows(static_cast<size_t>(header.RowBytes()) * header.height);
    const JpegRowsOutcome outcome = progressive ? decoder.DecodeFirstScans(rows.data(), header.RowBytes(), nullptr)
                                                : decoder.DecodeRows(rows.data(), header.RowBytes(), nullptr);
    ASSERT_EQ(outcome, JpegRowsOutcome::kDecoded);
    // Whole boxes only; the mean difference from the box average stays within a few levels.
    double difference = 0;
    int64_t count = 0;
    for (int32_t y = 0; y < height / denominator; ++y) {
      for (int32_t x = 0; x < width / denominator; ++x) {
        for (int c = 0; c < 3; ++c) {
          int sum = 0;
          for (int dy = 0; dy < denominator; ++dy) {
            for (int dx = 0; dx < denominator; ++dx) {
              sum += full[(static_cast<size_t>(y * denominator + dy) * width + x * denominator + dx) * 3 + c];
            }
          }
          const double box = static_cast<double>(sum) / (denominator * denominator);
          difference += std::abs(box - rows[(static_cast<size_t>(y) * header.width + x) * 3 + c]);
          ++count;
        }
      }
    }
    // The first scans alone lose the detail inside each 8 x 8 block that smaller reductions keep.
    const double allowed = progressive ? 32.0 / denominator : 3.0;
    EXPECT_LT(difference / count, allowed) << (progressive ? "progressive " : "baseline ") << "1/" << denominator
                                           << ": expected the box average, got a mean difference of "
                                           << difference / count;
  }
  }
}

}  // namespace
