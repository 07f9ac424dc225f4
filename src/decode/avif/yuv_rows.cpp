#include "decode/avif/yuv_rows.h"

#include <algorithm>
#include <cmath>
#include <thread>
#include <vector>

namespace {

// Red, green, blue and white chromaticities (x, y) of the primaries H.273 numbers.
struct Chromaticities {
  double rx, ry, gx, gy, bx, by, wx, wy;
};

Chromaticities PrimariesOf(uint16_t primaries) {
  switch (primaries) {
    case 4: return {0.670, 0.330, 0.210, 0.710, 0.140, 0.080, 0.310, 0.316};
    case 5: return {0.640, 0.330, 0.290, 0.600, 0.150, 0.060, 0.3127, 0.3290};
    case 6:
    case 7: return {0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290};
    case 9: return {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290};
    case 11: return {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351};
    case 12: return {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};
    case 22: return {0.630, 0.340, 0.295, 0.605, 0.155, 0.077, 0.3127, 0.3290};
    default: return {0.640, 0.330, 0.300, 0.600, 0.150, 0.060, 0.3127, 0.3290};  // BT.709
  }
}

// The luma weights of red and blue for a matrix; the chromaticity-derived one (12) from the
// primaries' luminances (H.273's equations).
void LumaWeights(uint16_t matrix, uint16_t primaries, double& kr, double& kb) {
  switch (matrix) {
    case 1: kr = 0.2126, kb = 0.0722; return;
    case 4: kr = 0.30, kb = 0.11; return;
    case 7: kr = 0.212, kb = 0.087; return;
    case 9:
    case 10: kr = 0.2627, kb = 0.0593; return;
    case 12: {
      const Chromaticities c = PrimariesOf(primaries);
      const double rz = 1 - c.rx - c.ry, gz = 1 - c.gx - c.gy, bz = 1 - c.bx - c.by, wz = 1 - c.wx - c.wy;
      const double d = c.wy * (c.rx * (c.gy * bz - c.by * gz) + c.gx * (c.by * rz - c.ry * bz) +
                               c.bx * (c.ry * gz - c.gy * rz));
      kr = c.ry * (c.wx * (c.gy * bz - c.by * gz) + c.wy * (c.bx * gz - c.gx * bz) + wz * (c.gx * c.by - c.bx * c.gy)) / d;
      kb = c.by * (c.wx * (c.ry * gz - c.gy * rz) + c.wy * (c.gx * rz - c.rx * gz) + wz * (c.rx * c.gy - c.gx * c.ry)) / d;
      return;
    }
    default: kr = 0.299, kb = 0.114; return;  // BT.601, and what an unspecified matrix means
  }
}

// R, G and B as y * ky + u * ku + v * kv of the normalised samples (chroma centred on 0).
struct Matrix {
  float ry, ru, rv, gy, gu, gv, by, bu, bv;
};

Matrix MatrixOf(const YuvPlanes& yuv) {
  if (yuv.monochrome) return {1, 0, 0, 1, 0, 0, 1, 0, 0};
  if (yuv.matrix == 0) return {0, 0, 1, 1, 0, 0, 0, 1, 0};  // identity: G from Y, B from Cb, R from Cr
  if (yuv.matrix == 8) return {1, -1, 1, 1, 1, 0, 1, -1, -1};  // YCgCo
  double kr = 0, kb = 0;
  LumaWeights(yuv.matrix, yuv.primaries, kr, kb);
  const double kg = 1 - kr - kb;
  return {1, 0, static_cast<float>(2 * (1 - kr)),
          1, static_cast<float>(-2 * kb * (1 - kb) / kg), static_cast<float>(-2 * kr * (1 - kr) / kg),
          1, static_cast<float>(2 * (1 - kb)), 0};
}

// What the conversion reads and writes, shared by the threads.
struct Job {
  const YuvPlanes* yuv;
  const AlphaPlane* alpha;
  OwnTransform transform;
  RgbRows out;
  Matrix m;
  std::vector<float> luma;    // normalised Y by sample
  std::vector<float> chroma;  // normalised chroma by sixteen times the sample (the upsampling's sum)
  std::vector<float> alphas;  // normalised alpha by sample
  float outMax = 255;
};

inline uint32_t Sample(const uint8_t* row, int32_t x, bool wide) {
  return wide ? reinterpret_cast<const uint16_t*>(row)[x] : row[x];
}

// The chroma sample pair for a luma coordinate: its own and the nearer neighbour (3/4, 1/4),
// edges repeated; without subsampling both are its own.
inline void ChromaPair(int32_t i, int shift, int32_t count, int32_t& near, int32_t& far) {
  if (shift == 0) {
    near = far = i;
    return;
  }
  near = i >> 1;
  far = (i & 1) != 0 ? near + 1 : near - 1;
  far = std::clamp(far, 0, count - 1);
}

template <bool kWide, typename Out>
void ConvertRows(const Job& job, int32_t firstRow, int32_t endRow) {
  const YuvPlanes& yuv = *job.yuv;
  const AlphaPlane& alpha = *job.alpha;
  const bool hasChroma = !yuv.monochrome;
  const int32_t chromaWidth = (yuv.width + yuv.subsampleX) >> yuv.subsampleX;
  const int32_t chromaHeight = (yuv.height + yuv.subsampleY) >> yuv.subsampleY;
  const int channels = job.out.layout == RgbRowLayout::kBgr8 || job.out.layout == RgbRowLayout::kRgb16 ? 3 : 4;
  const bool blueFirst = job.out.layout == RgbRowLayout::kBgr8 || job.out.layout == RgbRowLayout::kBgra8;
  const ptrdiff_t pixelBytes = channels * static_cast<ptrdiff_t>(sizeof(Out));
  const Matrix& m = job.m;
  const float outMax = job.outMax;
  for (int32_t y = firstRow; y < endRow; ++y) {
    const uint8_t* lumaRow = yuv.plane[0] + y * yuv.stride[0];
    const uint8_t* alphaRow = alpha.plane != nullptr ? alpha.plane + y * alpha.stride : nullptr;
    int32_t nearY = 0, farY = 0;
    ChromaPair(y, yuv.subsampleY, chromaHeight, nearY, farY);
    const uint8_t *u0 = nullptr, *u1 = nullptr, *v0 = nullptr, *v1 = nullptr;
    if (hasChroma) {
      u0 = yuv.plane[1] + nearY * yuv.stride[1], u1 = yuv.plane[1] + farY * yuv.stride[1];
      v0 = yuv.plane[2] + nearY * yuv.stride[2], v1 = yuv.plane[2] + farY * yuv.stride[2];
    }
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    TurnedPosition(job.transform, yuv.width, yuv.height, 0, y, x0, y0);
    TurnedPosition(job.transform, yuv.width, yuv.height, yuv.width > 1 ? 1 : 0, y, x1, y1);
    uint8_t* at = job.out.top + y0 * job.out.pitch + x0 * pixelBytes;
    const ptrdiff_t step = (y1 - y0) * job.out.pitch + (x1 - x0) * pixelBytes;
    for (int32_t x = 0; x < yuv.width; ++x, at += step) {
      const float luma = job.luma[Sample(lumaRow, x, kWide)];
      float u = 0, v = 0;
      if (hasChroma) {
        int32_t nearX = 0, farX = 0;
        ChromaPair(x, yuv.subsampleX, chromaWidth, nearX, farX);
        const uint32_t uSum = (9 * Sample(u0, nearX, kWide) + 3 * Sample(u0, farX, kWide) +
                               3 * Sample(u1, nearX, kWide) + Sample(u1, farX, kWide));
        const uint32_t vSum = (9 * Sample(v0, nearX, kWide) + 3 * Sample(v0, farX, kWide) +
                               3 * Sample(v1, nearX, kWide) + Sample(v1, farX, kWide));
        // Sixteen times the upsampled value: (3/4, 1/4) x (3/4, 1/4). In a direction that is not
        // subsampled near and far are the same sample, and the sum is still sixteen times it.
        u = job.chroma[uSum];
        v = job.chroma[vSum];
      }
      float r = m.ry * luma + m.ru * u + m.rv * v;
      float g = m.gy * luma + m.gu * u + m.gv * v;
      float b = m.by * luma + m.bu * u + m.bv * v;
      r = std::clamp(r, 0.0f, 1.0f), g = std::clamp(g, 0.0f, 1.0f), b = std::clamp(b, 0.0f, 1.0f);
      float a = 1.0f;
      if (alphaRow != nullptr) {
        a = job.alphas[Sample(alphaRow, x, kWide)];
        if (alpha.premultiplied) {
          if (a <= 0) {
            r = g = b = 0;
          } else {
            r = std::min(r / a, 1.0f), g = std::min(g / a, 1.0f), b = std::min(b / a, 1.0f);
          }
        }
      }
      Out* pixel = reinterpret_cast<Out*>(at);
      pixel[blueFirst ? 2 : 0] = static_cast<Out>(r * outMax + 0.5f);
      pixel[1] = static_cast<Out>(g * outMax + 0.5f);
      pixel[blueFirst ? 0 : 2] = static_cast<Out>(b * outMax + 0.5f);
      if (channels == 4) pixel[3] = static_cast<Out>(a * outMax + 0.5f);
    }
  }
}

using RowsFunction = void (*)(const Job&, int32_t, int32_t);

}  // namespace

void TurnedSize(const OwnTransform& transform, int32_t width, int32_t height, int32_t& turnedWidth,
                int32_t& turnedHeight) {
  const bool exchanged = (transform.quarterTurns & 1) != 0;
  turnedWidth = exchanged ? height : width;
  turnedHeight = exchanged ? width : height;
}

void TurnedPosition(const OwnTransform& transform, int32_t width, int32_t height, int32_t x, int32_t y,
                    int32_t& turnedX, int32_t& turnedY) {
  if (transform.flipLeftRight) x = width - 1 - x;
  switch (transform.quarterTurns & 3) {
    case 0: turnedX = x, turnedY = y; break;
    case 1: turnedX = y, turnedY = width - 1 - x; break;  // anticlockwise: the right edge goes on top
    case 2: turnedX = width - 1 - x, turnedY = height - 1 - y; break;
    default: turnedX = height - 1 - y, turnedY = x; break;
  }
}

bool WriteYuvAsRgb(const YuvPlanes& yuv, const AlphaPlane& alpha, const OwnTransform& transform, const RgbRows& out,
                   int threads, const std::atomic<bool>* cancel) {
  if (yuv.width <= 0 || yuv.height <= 0 || yuv.plane[0] == nullptr || out.top == nullptr) return false;
  if (yuv.bitDepth != 8 && yuv.bitDepth != 10 && yuv.bitDepth != 12) return false;
  if (!yuv.monochrome && (yuv.plane[1] == nullptr || yuv.plane[2] == nullptr)) return false;
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return false;
  Job job{&yuv, &alpha, transform, out, MatrixOf(yuv), {}, {}, {}, 255};
  const bool deep = out.layout == RgbRowLayout::kRgb16 || out.layout == RgbRowLayout::kRgba16;
  job.outMax = deep ? static_cast<float>((1 << yuv.bitDepth) - 1) : 255.0f;
  // Normalised values by sample, once: limited range maps 16..235 (Y) and 16..240 (chroma),
  // scaled to the depth, onto 0..1 and -0.5..0.5; full range the whole span.
  const int shift = yuv.bitDepth - 8;
  const uint32_t count = 1u << yuv.bitDepth;
  const float maxSample = static_cast<float>(count - 1);
  const float yBias = yuv.fullRange ? 0.0f : static_cast<float>(16 << shift);
  const float yRange = yuv.fullRange ? maxSample : static_cast<float>(219 << shift);
  const float cBias = static_cast<float>(1 << (yuv.bitDepth - 1));
  const float cRange = yuv.fullRange ? maxSample : static_cast<float>(224 << shift);
  job.luma.resize(count);
  for (uint32_t i = 0; i < count; ++i) job.luma[i] = (static_cast<float>(i) - yBias) / yRange;
  if (!yuv.monochrome) {
    // Indexed by sixteen times the sample, so the upsampled sum needs no division. The identity
    // matrix's chroma planes hold R and B, normalised like Y.
    job.chroma.resize(16 * count);
    for (uint32_t i = 0; i < 16 * count; ++i) {
      const float sample = static_cast<float>(i) / 16;
      job.chroma[i] = yuv.matrix == 0 ? (sample - yBias) / yRange : (sample - cBias) / cRange;
    }
  }
  if (alpha.plane != nullptr) {
    const float aBias = alpha.fullRange ? 0.0f : static_cast<float>(16 << shift);
    const float aRange = alpha.fullRange ? maxSample : static_cast<float>(219 << shift);
    job.alphas.resize(count);
    for (uint32_t i = 0; i < count; ++i) job.alphas[i] = std::clamp((static_cast<float>(i) - aBias) / aRange, 0.0f, 1.0f);
  }
  const bool wide = yuv.bitDepth > 8;
  const RowsFunction rows = wide ? (deep ? ConvertRows<true, uint16_t> : ConvertRows<true, uint8_t>)
                                 : (deep ? ConvertRows<false, uint16_t> : ConvertRows<false, uint8_t>);
  // Bands of rows, one per thread; the last on the calling thread. Every band writes its own
  // pixels, whatever the turn.
  const int32_t bands = std::clamp<int32_t>(threads, 1, std::max<int32_t>(1, yuv.height / 16));
  std::vector<std::thread> helpers;
  for (int32_t band = 0; band + 1 < bands; ++band) {
    const int32_t first = static_cast<int32_t>(int64_t{yuv.height} * band / bands);
    const int32_t end = static_cast<int32_t>(int64_t{yuv.height} * (band + 1) / bands);
    try {
      helpers.emplace_back(rows, std::cref(job), first, end);
    } catch (...) {  // no thread to be had: this one does the band
      rows(job, first, end);
    }
  }
  rows(job, static_cast<int32_t>(int64_t{yuv.height} * (bands - 1) / bands), yuv.height);
  for (std::thread& helper : helpers) helper.join();
  return true;
}
