// JPEG files for the decoder tests, compressed from code by libjpeg-turbo itself: every
// subsampling, greyscale, CMYK, progressive, arithmetic and restart-interval layouts of one
// photo-like pattern. Platform-free; used by the native and the Wine tests.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

enum class TestJpegColour { kYcc444, kYcc422, kYcc420, kGrey, kRgb, kCmyk, kYcck };

struct TestJpegOptions {
  int32_t width = 61;  // not a multiple of any block size, so the last blocks are partial
  int32_t height = 37;
  TestJpegColour colour = TestJpegColour::kYcc420;
  bool progressive = false;
  bool arithmetic = false;
  int restartRows = 0;  // a restart marker every this many MCU rows (0: none)
  int quality = 90;
  // CMYK: flat patches of these inks (255 full) side by side, stored inverted as Photoshop does.
  std::vector<std::array<uint8_t, 4>> cmykPatches;
  std::vector<uint8_t> iccProfile;  // embedded in APP2 segments when given
};

// The default options with this colour layout and size.
inline TestJpegOptions JpegOptions(TestJpegColour colour, int32_t width, int32_t height) {
  TestJpegOptions o;
  o.colour = colour;
  o.width = width;
  o.height = height;
  return o;
}

// The pattern's colour at (x, y) of a width x height picture: 0xRRGGBB. Gradients, hard edges and
// a little deterministic grain, so every part of the decoder has work to do.
uint32_t TestJpegPatternRgb(int32_t x, int32_t y, int32_t width, int32_t height);

// The compressed file, as bytes.
std::string MakeTestJpeg(const TestJpegOptions& options);

// A short name for messages, e.g. "61x37 4:2:0 progressive".
std::string TestJpegName(const TestJpegOptions& options);
