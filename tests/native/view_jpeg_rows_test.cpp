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

#include "decode/jpeg_rows.h"
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

}  // namespace
