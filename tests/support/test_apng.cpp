#include "support/test_apng.h"

#include <zlib.h>

namespace {

void Be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  Be32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  Be32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

// Rows of filter 0, compressed.
std::vector<uint8_t> Compress(int32_t width, int32_t height, bool palette,
                              const std::function<uint32_t(int32_t, int32_t)>& pixel) {
  std::vector<uint8_t> raw;
  for (int32_t y = 0; y < height; ++y) {
    raw.push_back(0);
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t p = pixel(x, y);
      if (palette) {
        raw.push_back(static_cast<uint8_t>(p));
      } else {
        raw.insert(raw.end(), {uint8_t(p >> 16), uint8_t(p >> 8), uint8_t(p), uint8_t(p >> 24)});
      }
    }
  }
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> z(size);
  compress(z.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
  z.resize(size);
  return z;
}

}  // namespace

std::vector<uint8_t> EncodeApng(int32_t width, int32_t height, const std::vector<ApngFrameSpec>& frames,
                                const ApngOptions& options) {
  const bool palette = !options.palette.empty();
  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A}, body;
  Be32(body, static_cast<uint32_t>(width));
  Be32(body, static_cast<uint32_t>(height));
  body.insert(body.end(), {8, uint8_t(palette ? 3 : 6), 0, 0, 0});
  Chunk(out, "IHDR", body);
  body.clear();
  Be32(body, options.declaredFrames != 0 ? options.declaredFrames : static_cast<uint32_t>(frames.size()));
  Be32(body, options.plays);
  Chunk(out, "acTL", body);
  if (palette) {
    std::vector<uint8_t> colours, alphas;
    for (uint32_t c : options.palette) {
      colours.insert(colours.end(), {uint8_t(c >> 16), uint8_t(c >> 8), uint8_t(c)});
      alphas.push_back(uint8_t(c >> 24));
    }
    Chunk(out, "PLTE", colours);
    Chunk(out, "tRNS", alphas);
  }
  if (options.hiddenDefault) Chunk(out, "IDAT", Compress(width, height, palette, options.hiddenDefault));
  uint32_t sequence = 0;
  for (size_t i = 0; i < frames.size(); ++i) {
    const ApngFrameSpec& f = frames[i];
    body.clear();
    for (uint32_t v : {sequence++, uint32_t(f.width), uint32_t(f.height), uint32_t(f.left), uint32_t(f.top)})
      Be32(body, v);
    body.insert(body.end(), {uint8_t(f.delayNumerator >> 8), uint8_t(f.delayNumerator),
                             uint8_t(f.delayDenominator >> 8), uint8_t(f.delayDenominator), f.dispose, f.blend});
    Chunk(out, "fcTL", body);
    const std::vector<uint8_t> data = Compress(f.width, f.height, palette, f.pixel);
    if (i == 0 && !options.hiddenDefault) {
      Chunk(out, "IDAT", data);
      continue;
    }
    body.clear();
    Be32(body, sequence++);
    body.insert(body.end(), data.begin(), data.end());
    Chunk(out, "fdAT", body);
  }
  Chunk(out, "IEND", {});
  return out;
}
