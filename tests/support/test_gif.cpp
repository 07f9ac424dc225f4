#include "support/test_gif.h"

#include <cstddef>
#include <utility>

namespace {

void Put16(std::vector<uint8_t>& out, int32_t value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

// A 128-entry colour table, 8 bits a colour.
void PutPalette(std::vector<uint8_t>& out, const std::vector<uint32_t>& palette) {
  for (int i = 0; i < 128; ++i) {
    const uint32_t c = i < static_cast<int>(palette.size()) ? palette[static_cast<size_t>(i)] : 0;
    out.insert(out.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c)});
  }
}

// The image data of rows given in `rows` order, stored without compression: 8-bit codes with a
// clear code often enough that the code width never grows.
void PutImageData(std::vector<uint8_t>& out, int32_t width, const std::vector<int32_t>& rows,
                  const std::function<uint8_t(int32_t, int32_t)>& index) {
  constexpr int kCodeBits = 7;  // the minimum code size: clear is 128, end 129, codes 8 bits wide
  constexpr uint8_t kClear = 128, kEnd = 129;
  constexpr int kRun = 100;  // pixels between clear codes: the table never reaches 256 entries
  out.push_back(kCodeBits);
  std::vector<uint8_t> codes;
  codes.reserve(static_cast<size_t>(width) * rows.size() * 101 / 100 + 2);
  int run = 0;
  for (int32_t y : rows) {
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
}

}  // namespace

std::vector<uint8_t> EncodeGif(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                               const std::function<uint8_t(int32_t, int32_t)>& index) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  out.insert(out.end(), {0xF6, 0, 0});  // a global table of 128 entries, 8 bits a colour
  PutPalette(out, palette);
  out.push_back(0x2C);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, width);
  Put16(out, height);
  out.push_back(0);
  std::vector<int32_t> rows;
  for (int32_t y = 0; y < height; ++y) rows.push_back(y);
  PutImageData(out, width, rows, index);
  out.push_back(0x3B);
  return out;
}

std::vector<uint8_t> EncodeAnimatedGif(int32_t width, int32_t height, const std::vector<uint32_t>& palette,
                                       const std::vector<GifFrameSpec>& frames, int32_t loopCount) {
  std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a'};
  Put16(out, width);
  Put16(out, height);
  out.insert(out.end(), {0xF6, 0, 0});
  PutPalette(out, palette);
  if (loopCount >= 0) {
    out.insert(out.end(), {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1});
    Put16(out, loopCount);
    out.push_back(0);
  }
  for (const GifFrameSpec& f : frames) {
    out.insert(out.end(), {0x21, 0xF9, 4});
    out.push_back(static_cast<uint8_t>((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0)));
    Put16(out, f.delay);
    out.push_back(static_cast<uint8_t>(f.transparent >= 0 ? f.transparent : 0));
    out.push_back(0);
    out.push_back(0x2C);
    Put16(out, f.left);
    Put16(out, f.top);
    Put16(out, f.width);
    Put16(out, f.height);
    out.push_back(static_cast<uint8_t>((f.palette.empty() ? 0 : 0x86) | (f.interlaced ? 0x40 : 0)));
    if (!f.palette.empty()) PutPalette(out, f.palette);
    std::vector<int32_t> rows;
    if (f.interlaced) {
      for (auto [start, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
        for (int32_t y = start; y < f.height; y += step) rows.push_back(y);
      }
    } else {
      for (int32_t y = 0; y < f.height; ++y) rows.push_back(y);
    }
    PutImageData(out, f.width, rows, f.index);
  }
  out.push_back(0x3B);
  return out;
}
