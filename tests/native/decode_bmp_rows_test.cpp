// The BMP reader where the imaging library cannot be asked: bit fields it does not read, widened
// field by field, and hostile headers refused before any row is read.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decode/bmp_rows.h"
#include "support/raw_pictures.h"

namespace {

// Reads bmp into a top-down bitmap of 32-bit rows; false unless every row was read.
bool Decode(const std::vector<uint8_t>& bytes, BmpHeader& header, std::vector<uint8_t>& pixels) {
  MemoryByteReader reader(bytes.data(), bytes.size());
  if (!ReadBmpHeader(reader, header)) return false;
  pixels.assign(static_cast<size_t>(header.width) * header.height * 4, 0);
  return DecodeBmpRows(reader, header, pixels.data(), header.width * 4, nullptr) == BmpRowsOutcome::kDecoded;
}

TEST(DecodeBmpRowsTest, OtherBitFieldsAreWidenedByRepeatingTheirBits) {
  struct Case {
    int bits;
    std::vector<uint32_t> masks;
    uint32_t stored;      // one pixel as stored
    uint32_t expected;    // 0xAARRGGBB written
  };
  const std::vector<Case> cases = {
      {16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x5A3C, 0xFFAA33CC},        // 4-4-4 with alpha bits
      {16, {0x001F, 0x07E0, 0xF800}, 0x001F, 0xFFFF0000},  // 5-6-5 with red and blue swapped
      {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FF00001, 0xFFFF0000},  // 10-10-10: top 8 bits
      {32, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00123456, 0xFF563412},        // red in the low byte
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bits);
    RawBmp bmp{3, 2, c.bits, false, 124, c.masks, {}};
    BmpHeader header;
    std::vector<uint8_t> pixels;
    ASSERT_TRUE(Decode(MakeRawBmp(bmp, [&](int32_t, int32_t) { return c.stored; }), header, pixels));
    EXPECT_EQ(header.layout, BmpRowLayout::kMasked);
    for (size_t at = 0; at < pixels.size(); at += 4) {
      uint32_t got;
      std::memcpy(&got, pixels.data() + at, 4);
      ASSERT_EQ(got, c.expected) << std::hex << "expected " << c.expected << ", got " << got;
    }
  }
}

TEST(DecodeBmpRowsTest, HostileHeadersAreRefused) {
  const std::vector<uint8_t> good = MakeRawBmp({5, 3, 8, false, 40, {}, std::vector<uint8_t>(16, 7)},
                                               [](int32_t x, int32_t) { return static_cast<uint32_t>(x % 4); });
  BmpHeader header;
  std::vector<uint8_t> pixels;
  ASSERT_TRUE(Decode(good, header, pixels));
  EXPECT_EQ(header.colourCount, 4u);
  auto patched = [&](size_t at, std::vector<uint8_t> with) {
    std::vector<uint8_t> b = good;
    std::copy(with.begin(), with.end(), b.begin() + static_cast<ptrdiff_t>(at));
    return b;
  };
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  const std::vector<Case> cases = {
      {"height -2^31", patched(22, {0, 0, 0, 0x80})},
      {"width 0", patched(18, {0, 0, 0, 0})},
      {"negative width", patched(18, {0xFB, 0xFF, 0xFF, 0xFF})},
      {"2 bits a pixel", patched(28, {2})},
      {"run-length encoded", patched(30, {1})},
      {"rows before the colour table's end", patched(10, {60, 0, 0, 0})},
      {"header of 20 bytes", patched(14, {20})},
      {"rows cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)},
      {"non-contiguous mask", MakeRawBmp({2, 2, 16, false, 124, {0x0F0F, 0x00F0, 0x000F}, {}},
                                         [](int32_t, int32_t) { return 0u; })},
      {"empty mask", MakeRawBmp({2, 2, 32, false, 40, {0xFF0000, 0, 0xFF}, {}}, [](int32_t, int32_t) { return 0u; })},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(Decode(c.bytes, header, pixels)) << c.what << ": expected it refused, got it read";
  }
}

}  // namespace
