// Writes the PNG and BMP fuzzers' committed seeds into fuzz/corpus/png_rows and fuzz/corpus/bmp_rows:
// one small file of each kind the two readers tell apart. Run by hand after changing the kinds:
//   cmake --build --preset native --target make_png_bmp_corpus && build/native/make_png_bmp_corpus fuzz/corpus
#include <cstdio>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "support/raw_pictures.h"

namespace {

uint32_t Sample(int32_t x, int32_t y, int c) { return static_cast<uint32_t>(x * 29 + y * 71 + c * 101); }

}  // namespace

int main(int argc, char** argv) {
  std::string argument;
  if (!FolderArgument(argc, argv, argument)) return 2;
  const std::string root = argument;
  bool ok = true;
  const int kinds[][3] = {{0, 1, 0}, {0, 8, 1}, {0, 16, 0}, {2, 8, 0}, {2, 16, 1}, {3, 1, 1},
                          {3, 2, 0}, {3, 4, 0}, {3, 8, 0}, {4, 8, 0}, {6, 8, 1}, {6, 16, 0}};
  int n = 0;
  for (const auto& k : kinds) {
    RawPng png;
    png.width = 9, png.height = 5;
    png.colourType = static_cast<uint8_t>(k[0]);
    png.depth = static_cast<uint8_t>(k[1]);
    png.interlaced = k[2] != 0;
    if (png.colourType == 3) png.palette.assign(3u << png.depth, 0x5A);
    if (n % 3 == 1) png.transparency = png.colourType == 2 ? std::vector<uint8_t>{0, 1, 0, 2, 0, 3}
                                                            : std::vector<uint8_t>{0, 1};
    if (png.colourType >= 4) png.transparency.clear();
    ok &= Write(root + "/png_rows/kind-" + std::to_string(n++) + ".png", MakeRawPng(png, Sample));
  }
  const std::vector<RawBmp> bmps = {
      {9, 5, 1, false, 40, {}, std::vector<uint8_t>(8, 0x33)},
      {9, 5, 4, true, 40, {}, std::vector<uint8_t>(24, 0x44)},
      {9, 5, 8, false, 40, {}, std::vector<uint8_t>(1024, 0x55)},
      {9, 5, 16, false, 40, {}, {}},
      {9, 5, 16, true, 124, {0xF800, 0x07E0, 0x001F}, {}},
      {9, 5, 16, false, 40, {0x0F00, 0x00F0, 0x000F}, {}},
      {9, 5, 24, true, 40, {}, {}},
      {9, 5, 32, false, 124, {0xFF0000, 0xFF00, 0xFF, 0xFF000000}, {}},
      {9, 5, 32, false, 40, {0x3FF00000, 0x000FFC00, 0x000003FF}, {}},
  };
  n = 0;
  for (const RawBmp& bmp : bmps) {
    const int bits = bmp.bitsPerPixel;
    ok &= Write(root + "/bmp_rows/kind-" + std::to_string(n++) + ".bmp",
                MakeRawBmp(bmp, [&](int32_t x, int32_t y) { return bits <= 8 ? Sample(x, y, 0) % 2 : Sample(x, y, 1) * 977; }));
  }
  return ok ? 0 : 1;
}
