#include "support/test_jpeg.h"

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

#include <jpeglib.h>

uint32_t TestJpegPatternRgb(int32_t x, int32_t y, int32_t width, int32_t height) {
  // Colour changes smoothly, as in photographs; the hard edges (an 8-pixel checker) and the grain
  // are in brightness alone, so decoders that upsample chroma differently still agree closely.
  const int32_t grain = static_cast<int32_t>(
      (static_cast<uint32_t>(x) * 2654435761u ^ static_cast<uint32_t>(y) * 40503u) >> 28);
  const int32_t light = ((x / 8 + y / 8) % 2 == 0 ? -40 : 40) + grain - 8;
  int32_t r = 50 + x * 150 / (width > 1 ? width - 1 : 1);
  int32_t g = 50 + y * 150 / (height > 1 ? height - 1 : 1);
  int32_t b = 200 - (x + y) * 150 / (width + height > 2 ? width + height - 2 : 1);
  if (x >= width / 2 && y >= height / 2) std::swap(r, b);  // tells a turned or mirrored decode apart
  const auto level = [](int32_t v) { return static_cast<uint32_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
  return (level(r + light) << 16) | (level(g + light) << 8) | level(b + light);
}

std::string MakeTestJpeg(const TestJpegOptions& options) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);  // the options are always valid: libjpeg's own exit is fine
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  jpeg_mem_dest(&info, &out, &outSize);

  const bool grey = options.colour == TestJpegColour::kGrey;
  const bool cmyk = options.colour == TestJpegColour::kCmyk || options.colour == TestJpegColour::kYcck;
  info.image_width = static_cast<JDIMENSION>(options.width);
  info.image_height = static_cast<JDIMENSION>(options.height);
  info.input_components = grey ? 1 : cmyk ? 4 : 3;
  info.in_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  if (options.colour == TestJpegColour::kRgb) jpeg_set_colorspace(&info, JCS_RGB);
  if (options.colour == TestJpegColour::kYcck) jpeg_set_colorspace(&info, JCS_YCCK);
  jpeg_set_quality(&info, options.quality, TRUE);
  if (!grey && !cmyk && options.colour != TestJpegColour::kRgb) {
    const int h = options.colour == TestJpegColour::kYcc444 ? 1 : 2;
    const int v = options.colour == TestJpegColour::kYcc420 ? 2 : 1;
    info.comp_info[0].h_samp_factor = h;
    info.comp_info[0].v_samp_factor = v;
    for (int c = 1; c < 3; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  }
  if (options.progressive) jpeg_simple_progression(&info);
  info.arith_code = options.arithmetic ? TRUE : FALSE;
  info.restart_in_rows = options.restartRows;
  jpeg_start_compress(&info, TRUE);
  if (!options.iccProfile.empty())
    jpeg_write_icc_profile(&info, options.iccProfile.data(), static_cast<unsigned>(options.iccProfile.size()));

  std::vector<JSAMPLE> row(static_cast<size_t>(options.width) * info.input_components);
  while (info.next_scanline < info.image_height) {
    const int32_t y = static_cast<int32_t>(info.next_scanline);
    for (int32_t x = 0; x < options.width; ++x) {
      const uint32_t rgb = TestJpegPatternRgb(x, y, options.width, options.height);
      const JSAMPLE r = static_cast<JSAMPLE>(rgb >> 16), g = static_cast<JSAMPLE>(rgb >> 8),
                    b = static_cast<JSAMPLE>(rgb);
      JSAMPLE* p = &row[static_cast<size_t>(x) * info.input_components];
      if (grey) {
        p[0] = static_cast<JSAMPLE>((r * 77 + g * 150 + b * 29) >> 8);
      } else if (cmyk && !options.cmykPatches.empty()) {
        const auto& inks = options.cmykPatches[static_cast<size_t>(x) * options.cmykPatches.size() / options.width];
        for (int c = 0; c < 4; ++c) p[c] = static_cast<JSAMPLE>(255 - inks[c]);
      } else if (cmyk) {
        p[0] = static_cast<JSAMPLE>(255 - r), p[1] = static_cast<JSAMPLE>(255 - g),
        p[2] = static_cast<JSAMPLE>(255 - b);
        p[3] = static_cast<JSAMPLE>(x * 4);
      } else {
        p[0] = r, p[1] = g, p[2] = b;
      }
    }
    JSAMPROW rows[1] = {row.data()};
    jpeg_write_scanlines(&info, rows, 1);
  }
  jpeg_finish_compress(&info);
  std::string bytes(reinterpret_cast<const char*>(out), outSize);
  jpeg_destroy_compress(&info);
  std::free(out);
  return bytes;
}

std::string TestJpegName(const TestJpegOptions& options) {
  static const char* const kColours[] = {"4:4:4", "4:2:2", "4:2:0", "grey", "RGB", "CMYK", "YCCK"};
  char text[128];
  std::snprintf(text, sizeof text, "%dx%d %s%s%s%s", options.width, options.height,
                kColours[static_cast<int>(options.colour)], options.progressive ? " progressive" : "",
                options.arithmetic ? " arithmetic" : "", options.restartRows > 0 ? " restarts" : "");
  return text;
}
