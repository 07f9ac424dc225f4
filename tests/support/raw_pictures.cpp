#include "support/raw_pictures.h"

namespace {

void Le(std::vector<uint8_t>& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void Be32(std::vector<uint8_t>& out, uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) out.push_back(static_cast<uint8_t>(v >> s));
}

uint32_t Crc32(const uint8_t* p, size_t n) {
  uint32_t c = 0xFFFFFFFF;
  for (size_t i = 0; i < n; ++i) {
    c ^= p[i];
    for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320 & (0u - (c & 1)));
  }
  return ~c;
}

void Chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
  Be32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  Be32(out, Crc32(out.data() + start, out.size() - start));
}

// Packs samples of depth bits into bytes, first sample in the high bits.
void PackRow(std::vector<uint8_t>& out, const std::vector<uint32_t>& samples, int depth) {
  uint32_t acc = 0;
  int used = 0;
  for (uint32_t s : samples) {
    if (depth == 16) {
      out.push_back(static_cast<uint8_t>(s >> 8));
      out.push_back(static_cast<uint8_t>(s));
      continue;
    }
    acc = acc << depth | (s & ((1u << depth) - 1));
    used += depth;
    if (used == 8) out.push_back(static_cast<uint8_t>(acc)), acc = 0, used = 0;
  }
  if (used > 0) out.push_back(static_cast<uint8_t>(acc << (8 - used)));
}

}  // namespace

std::vector<uint8_t> MakeRawPng(const RawPng& png, const std::function<uint32_t(int32_t, int32_t, int)>& sample) {
  static const int kChannels[7] = {1, 0, 3, 1, 2, 0, 4};
  const int channels = kChannels[png.colourType];
  const uint32_t most = png.depth == 16 ? 0xFFFF : (1u << png.depth) - 1;
  // Adam7 passes (start x, start y, step x, step y); a plain file is one pass over everything.
  static const int kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                    {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  static const int kWhole[1][4] = {{0, 0, 1, 1}};
  const int (*passes)[4] = png.interlaced ? kPasses : kWhole;
  std::vector<uint8_t> raw;
  for (int p = 0; p < (png.interlaced ? 7 : 1); ++p) {
    for (int32_t y = passes[p][1]; y < png.height; y += passes[p][3]) {
      std::vector<uint32_t> samples;
      for (int32_t x = passes[p][0]; x < png.width; x += passes[p][2])
        for (int c = 0; c < channels; ++c) samples.push_back(sample(x, y, c) & most);
      if (samples.empty()) continue;
      raw.push_back(0);  // filter: none
      PackRow(raw, samples, png.depth);
    }
  }
  // zlib stream of stored blocks.
  std::vector<uint8_t> z = {0x78, 0x01};
  for (size_t at = 0; at < raw.size() || at == 0; at += 65535) {
    const size_t n = raw.size() - at < 65535 ? raw.size() - at : 65535;
    z.push_back(at + n >= raw.size() ? 1 : 0);
    Le(z, static_cast<uint32_t>(n), 2);
    Le(z, static_cast<uint32_t>(~n & 0xFFFF), 2);
    z.insert(z.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + n));
    if (raw.empty()) break;
  }
  uint32_t a = 1, b = 0;
  for (uint8_t v : raw) a = (a + v) % 65521, b = (b + a) % 65521;
  Be32(z, b << 16 | a);

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> ihdr;
  Be32(ihdr, static_cast<uint32_t>(png.width));
  Be32(ihdr, static_cast<uint32_t>(png.height));
  ihdr.insert(ihdr.end(), {png.depth, png.colourType, 0, 0, static_cast<uint8_t>(png.interlaced ? 1 : 0)});
  Chunk(out, "IHDR", ihdr);
  if (!png.palette.empty()) Chunk(out, "PLTE", png.palette);
  if (!png.transparency.empty()) Chunk(out, "tRNS", png.transparency);
  Chunk(out, "IDAT", z);
  Chunk(out, "IEND", {});
  return out;
}

std::vector<uint8_t> MakeRawBmp(const RawBmp& bmp, const std::function<uint32_t(int32_t, int32_t)>& value) {
  const uint32_t rowBytes = (static_cast<uint32_t>(bmp.width) * bmp.bitsPerPixel + 31) / 32 * 4;
  std::vector<uint8_t> pixels;
  for (int32_t i = 0; i < bmp.height; ++i) {
    const int32_t y = bmp.topDown ? i : bmp.height - 1 - i;
    std::vector<uint32_t> samples;
    std::vector<uint8_t> row;
    for (int32_t x = 0; x < bmp.width; ++x) {
      if (bmp.bitsPerPixel <= 8) samples.push_back(value(x, y));
      else Le(row, value(x, y), bmp.bitsPerPixel / 8);
    }
    if (bmp.bitsPerPixel <= 8) PackRow(row, samples, bmp.bitsPerPixel);
    row.resize(rowBytes);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  const bool fields = !bmp.masks.empty();
  const uint32_t masksAfter = fields && bmp.headerBytes == 40 ? 12 : 0;
  const uint32_t offset = 14 + bmp.headerBytes + masksAfter + static_cast<uint32_t>(bmp.colourTable.size());
  std::vector<uint8_t> out = {'B', 'M'};
  Le(out, offset + static_cast<uint32_t>(pixels.size()), 4);
  Le(out, 0, 4);
  Le(out, offset, 4);
  Le(out, bmp.headerBytes, 4);
  Le(out, static_cast<uint32_t>(bmp.width), 4);
  Le(out, static_cast<uint32_t>(bmp.topDown ? -bmp.height : bmp.height), 4);
  Le(out, 1, 2);
  Le(out, static_cast<uint32_t>(bmp.bitsPerPixel), 2);
  Le(out, fields ? 3 : 0, 4);
  Le(out, static_cast<uint32_t>(pixels.size()), 4);
  Le(out, 2835, 4);
  Le(out, 2835, 4);
  Le(out, static_cast<uint32_t>(bmp.colourTable.size() / 4), 4);
  Le(out, 0, 4);
  for (size_t i = 0; i < (bmp.headerBytes > 40 ? 4u : masksAfter / 4); ++i) Le(out, i < bmp.masks.size() ? bmp.masks[i] : 0, 4);
  out.resize(14 + bmp.headerBytes + masksAfter, 0);
  out.insert(out.end(), bmp.colourTable.begin(), bmp.colourTable.end());
  out.insert(out.end(), pixels.begin(), pixels.end());
  return out;
}
