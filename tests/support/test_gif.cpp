#include "support/test_gif.h"

#include <cstddef>

namespace {

void Put16(std::vector<uint8_t>& out, int32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace

std::vector<uint8_t> EncodeGif(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                               const std::function<uint8_t(int32_t, int32_t)>& index) {
  constexpr int kCodeBits = 7;  // the minimum code size: clear is 128, end 129, codes 8 bits wide
  constexpr uint8_t kClear = 128, kEnd = 129;
  constexpr int kRun = 100;  // pixels between clear codes: the table never reaches 256 entries
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  out.insert(out.end(), {0xF6, 0, 0});  // a global table of 128 entries, 8 bits a colour
  for (int i = 0; i < 128; ++i) {
    const uint32_t c = i < static_cast<int>(palette.size()) ? palette[static_cast<size_t>(i)] : 0;
    out.insert(out.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
  }
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, width);
  Put16(out, height);
  out.push_back(0);
  out.push_back(kCodeBits);
  std::vector<uint8_t> codes;
  codes.reserve(static_cast<size_t>(width) * height * 101 / 100 + 2);
  int run = 0;
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      if (run++ % kRun == 0) codes.push_back(kClear);
      codes.push_back(index(x, y) & 0x7F);
    }
  }
  codes.push_back(kEnd);
  for (size_t at = 0; at < codes.size(); at += 255) {
    const size_t n = codes.size() - at < 255 ? codes.size() - at : 255;
    out.push_back(static_cast<uint8_t>(n));
    out.insert(out.end(), codes.begin() + static_cast<ptrdiff_t>(at), codes.begin() + static_cast<ptrdiff_t>(at + n));
  }
  out.push_back(0);
  out.push_back(0x3B);
  return out;
}
