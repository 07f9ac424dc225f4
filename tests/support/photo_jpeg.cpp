#include "support/photo_jpeg.h"

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "framework/gdiplus_handles.h"
#include "support/image_encoders.h"

namespace {

uint32_t Hash(uint32_t value) {
  value ^= value >> 16;
  value *= 0x7feb352dU;
  value ^= value >> 15;
  value *= 0x846ca68bU;
  value ^= value >> 16;
  return value;
}

// Random values on a square lattice of `cell` pixels, read back smoothly interpolated in -1..1.
class ValueNoise {
 public:
  ValueNoise(int width, int height, int cell, uint32_t seed)
      : cell_(cell),
        columns_(width / cell + 2),
        lattice_(static_cast<size_t>(columns_) * (height / cell + 2)) {
    for (size_t i = 0; i < lattice_.size(); ++i) {
      lattice_[i] =
          static_cast<float>(Hash(seed * 0x9E3779B9U + static_cast<uint32_t>(i))) / 2147483648.0f - 1.0f;
    }
  }

  // Adds amplitude x the noise along row y to `row`.
  void AddRow(int y, float amplitude, std::vector<float>* row) const {
    const int gy = y / cell_;
    const float fy = Smooth(static_cast<float>(y % cell_) / static_cast<float>(cell_));
    const float* above = &lattice_[static_cast<size_t>(gy) * columns_];
    const float* below = above + columns_;
    for (size_t x = 0; x < row->size(); ++x) {
      const int gx = static_cast<int>(x) / cell_;
      const float fx = Smooth(static_cast<float>(static_cast<int>(x) % cell_) / static_cast<float>(cell_));
      const float top = above[gx] + (above[gx + 1] - above[gx]) * fx;
      const float bottom = below[gx] + (below[gx + 1] - below[gx]) * fx;
      (*row)[x] += amplitude * (top + (bottom - top) * fy);
    }
  }

 private:
  static float Smooth(float t) { return t * t * (3.0f - 2.0f * t); }

  int cell_;
  int columns_;
  std::vector<float> lattice_;
};

uint8_t ToByte(float value) { return static_cast<uint8_t>(std::clamp(value, 0.0f, 255.0f)); }

// The JPEG encoder's quality parameter, as the imaging library names it.
const GUID kEncoderQuality = {0x1d5be4b5, 0xfa4a, 0x452d, {0x9c, 0xdd, 0x5d, 0xb3, 0x51, 0x05, 0xe7, 0xeb}};

}  // namespace

bool WritePhotoJpeg(const std::wstring& path, int width, int height, uint32_t seed) {
  CLSID jpeg;
  if (width <= 0 || height <= 0 || !FindImageEncoder(L"image/jpeg", jpeg)) return false;
  const int scale = std::max(width, height);
  // Light: broad shapes down to fine texture. Edges: a mid-sized field cut at zero. Colour: broad.
  std::vector<ValueNoise> light;
  for (int cell = scale / 4; cell >= 8; cell /= 3) light.emplace_back(width, height, cell, seed + cell);
  const ValueNoise edges(width, height, std::max(8, scale / 24), seed * 7 + 1);
  const ValueNoise warm(width, height, std::max(8, scale / 3), seed * 7 + 2);
  const ValueNoise green(width, height, std::max(8, scale / 5), seed * 7 + 3);

  const int stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> pixels(static_cast<size_t>(stride) * height);
  std::vector<float> l(width), e(width), w(width), g(width);
  for (int y = 0; y < height; ++y) {
    std::fill(l.begin(), l.end(), 0.0f);
    std::fill(e.begin(), e.end(), 0.0f);
    std::fill(w.begin(), w.end(), 0.0f);
    std::fill(g.begin(), g.end(), 0.0f);
    float amplitude = 70.0f;
    for (const ValueNoise& octave : light) {
      octave.AddRow(y, amplitude, &l);
      amplitude *= 0.55f;
    }
    edges.AddRow(y, 1.0f, &e);
    warm.AddRow(y, 60.0f, &w);
    green.AddRow(y, 40.0f, &g);
    uint8_t* out = &pixels[static_cast<size_t>(y) * stride];
    for (int x = 0; x < width; ++x) {
      const uint32_t grain = Hash(seed ^ static_cast<uint32_t>(y * width + x));
      const float lum = 120.0f + l[x] + (e[x] > 0 ? 30.0f : -30.0f) + static_cast<float>(grain & 31) - 15.5f;
      out[x * 3 + 0] = ToByte(lum - w[x] * 0.8f);         // blue
      out[x * 3 + 1] = ToByte(lum + g[x] - w[x] * 0.1f);  // green
      out[x * 3 + 2] = ToByte(lum + w[x]);                // red
    }
  }

  GpBitmapOwner bitmap;
  if (Gdiplus::DllExports::GdipCreateBitmapFromScan0(width, height, stride, PixelFormat24bppRGB,
                                                     pixels.data(), bitmap.Out()) != Gdiplus::Ok) {
    return false;
  }
  // Honoured on Windows; Wine's encoder ignores it and writes about quality 75, where this grain
  // gives about 4.3 MB for 24 MP, as a camera's picture saved at that quality.
  ULONG quality = 90;
  Gdiplus::EncoderParameters parameters = {};
  parameters.Count = 1;
  parameters.Parameter[0].Guid = kEncoderQuality;
  parameters.Parameter[0].NumberOfValues = 1;
  parameters.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
  parameters.Parameter[0].Value = &quality;
  const std::wstring partial = path + L".partial";
  if (Gdiplus::DllExports::GdipSaveImageToFile(bitmap.Get(), partial.c_str(), &jpeg, &parameters) !=
      Gdiplus::Ok) {
    DeleteFileW(partial.c_str());
    return false;
  }
  return MoveFileExW(partial.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
