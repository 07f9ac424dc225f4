// The BMP reader on bit fields the imaging library does not read (so the Wine scenario cannot
// compare them): each field widened by repeating its bits, wherever it lies.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "decode/bmp/bmp_rows.h"
#include "support/raw_pictures.h"

TEST(DecodeBmpRowsTest, OtherBitFieldsAreWidenedByRepeatingTheirBits) {
  struct Case {
    int bits;
    std::vector<uint32_t> masks;  // red, green, blue, alpha
    uint32_t stored, expected;    // one pixel as stored; 0xAARRGGBB written
  } const cases[] = {
      {16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x5A3C, 0xFFAA33CC},
      {32, {0x3FF00000, 0x000FFC00, 0x000003FF}, 0x3FF40003, 0xFFFF4000},
      {32, {0x000000FF, 0x0000FF00, 0x00FF0000}, 0x00123456, 0xFF563412},
  };
  for (const Case& c : cases) {
    const std::vector<uint8_t> bytes =
        MakeRawBmp({3, 2, c.bits, true, 124, c.masks, {}}, [&](int32_t, int32_t) { return c.stored; });
    MemoryByteReader reader(bytes.data(), bytes.size());
    BmpHeader header;
    ASSERT_TRUE(ReadBmpHeader(reader, header)) << "expected the header read, got it refused";
    std::vector<uint32_t> pixels(6);
    ASSERT_EQ(DecodeBmpRows(reader, header, reinterpret_cast<uint8_t*>(pixels.data()), 12, nullptr),
              BmpRowsOutcome::kDecoded);
    for (uint32_t got : pixels) ASSERT_EQ(got, c.expected) << std::hex << "expected " << c.expected << ", got " << got;
  }
}
