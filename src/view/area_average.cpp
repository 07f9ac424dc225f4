#include "view/area_average.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Two passes per output row. The row pass adds the source rows of the output row, each times its
// row weight, into one row of 32-bit accumulators, one per stored byte, so 24- and 32-bit rows
// are summed straight from the bitmap whatever their channel order; other depths are first
// expanded to B, G, R rows. The column pass then adds the accumulators of each output pixel's
// columns, times the column weights, in 64-bit integers (or doubles, which hold these integers
// exactly) and divides once by the product of both totals. All sums are exact, so the result is
// the exact average rounded to the nearest level.

namespace {

// Source rows summed in one sweep over the accumulators: enough to cover a typical output row
// of a large reduction in one go, few enough for the processor to follow every row stream.
constexpr int32_t kRowsPerSweep = 8;

// How far ahead of the sweep the row pass asks for source bytes. The rows of one sweep are up to
// eight separate streams, more than the processor's own prefetching follows well.
constexpr size_t kPrefetchBytes = 512;

const uint8_t* SourceRow(const SourcePixels& source, int32_t y) {
  return source.topRow + static_cast<ptrdiff_t>(y) * source.pitch;
}

// 5-bit channel to 8 bits with the top bits repeated, so 31 becomes 255.
inline uint8_t Expand5(uint32_t v) { return static_cast<uint8_t>((v << 3) | (v >> 2)); }

// One row of a palette or 5-5-5 bitmap as B, G, R bytes.
void ExpandRow(const SourcePixels& source, const uint8_t* row, uint8_t* out) {
  const int32_t width = source.width;
  const uint8_t* table = source.colourTable;
  auto putIndex = [&](int32_t x, uint32_t index) {
    const uint8_t* entry = table + index * 4;
    out[x * 3] = entry[0];
    out[x * 3 + 1] = entry[1];
    out[x * 3 + 2] = entry[2];
  };
  switch (source.bitsPerPixel) {
    case 1:
      for (int32_t x = 0; x < width; ++x) putIndex(x, (row[x >> 3] >> (7 - (x & 7))) & 1u);
      break;
    case 4:
      for (int32_t x = 0; x < width; ++x) putIndex(x, (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15u);
      break;
    case 8:
      for (int32_t x = 0; x < width; ++x) putIndex(x, row[x]);
      break;
    case 16:
      for (int32_t x = 0; x < width; ++x) {
        const uint32_t v = row[x * 2] | (static_cast<uint32_t>(row[x * 2 + 1]) << 8);
        out[x * 3] = Expand5(v & 31u);
        out[x * 3 + 1] = Expand5((v >> 5) & 31u);
        out[x * 3 + 2] = Expand5((v >> 10) & 31u);
      }
      break;
    default:
      break;
  }
}

// acc[i] = (first ? 0 : acc[i]) + sum over k of weights[k] * rows[k][i], for i < bytes.
void AccumulateRowsPortable(int32_t* acc, const uint8_t* const* rows, const int32_t* weights, int32_t count,
                            size_t bytes, bool first) {
  if (first) std::fill(acc, acc + bytes, 0);
  for (int32_t k = 0; k < count; ++k) {
    const uint8_t* row = rows[k];
    const int32_t weight = weights[k];
    for (size_t i = 0; i < bytes; ++i) acc[i] += weight * row[i];
  }
}

#if defined(__SSE2__)
// The same with 16 bytes at a time. Rows go in pairs: their bytes are interleaved, widened to 16
// bits and multiplied by the weight pair with one multiply-add giving four 32-bit sums; an odd
// last row is paired with itself at weight 0. Weights fit 16 bits (no output side exceeds
// kAreaAverageMaxTargetSide) and two products of a byte fit 31 bits.
void AccumulateRowsSse2(int32_t* acc, const uint8_t* const* rows, const int32_t* weights, int32_t count,
                        size_t bytes, bool first) {
  const int32_t pairs = (count + 1) / 2;
  const uint8_t* pairRows[kRowsPerSweep];
  __m128i pairWeights[kRowsPerSweep / 2];
  for (int32_t p = 0; p < pairs; ++p) {
    const int32_t a = 2 * p;
    const bool single = a + 1 >= count;
    pairRows[a] = rows[a];
    pairRows[a + 1] = single ? rows[a] : rows[a + 1];
    const uint32_t low = static_cast<uint16_t>(weights[a]);
    const uint32_t high = single ? 0u : static_cast<uint16_t>(weights[a + 1]);
    pairWeights[p] = _mm_set1_epi32(static_cast<int32_t>(low | (high << 16)));
  }
  const __m128i zero = _mm_setzero_si128();
  size_t i = 0;
  for (; i + 16 <= bytes; i += 16) {
    if ((i & 63) == 0 && i + kPrefetchBytes < bytes) {
      for (int32_t k = 0; k < count; ++k) {
        _mm_prefetch(reinterpret_cast<const char*>(rows[k] + i + kPrefetchBytes), _MM_HINT_T0);
      }
    }
    __m128i* out = reinterpret_cast<__m128i*>(acc + i);
    __m128i s0 = first ? zero : _mm_loadu_si128(out);
    __m128i s1 = first ? zero : _mm_loadu_si128(out + 1);
    __m128i s2 = first ? zero : _mm_loadu_si128(out + 2);
    __m128i s3 = first ? zero : _mm_loadu_si128(out + 3);
    for (int32_t p = 0; p < pairs; ++p) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairRows[2 * p] + i));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairRows[2 * p + 1] + i));
      const __m128i low = _mm_unpacklo_epi8(a, b);  // a0 b0 a1 b1 ... a7 b7
      const __m128i high = _mm_unpackhi_epi8(a, b);
      const __m128i w = pairWeights[p];
      s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_unpacklo_epi8(low, zero), w));
      s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_unpackhi_epi8(low, zero), w));
      s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_unpacklo_epi8(high, zero), w));
      s3 = _mm_add_epi32(s3, _mm_madd_epi16(_mm_unpackhi_epi8(high, zero), w));
    }
    _mm_storeu_si128(out, s0);
    _mm_storeu_si128(out + 1, s1);
    _mm_storeu_si128(out + 2, s2);
    _mm_storeu_si128(out + 3, s3);
  }
  if (i < bytes) {
    const uint8_t* tailRows[kRowsPerSweep];
    for (int32_t k = 0; k < count; ++k) tailRows[k] = rows[k] + i;
    AccumulateRowsPortable(acc + i, tailRows, weights, count, bytes - i, first);
  }
}
#endif

void AccumulateRows(AverageKernel kernel, int32_t* acc, const uint8_t* const* rows, const int32_t* weights,
                    int32_t count, size_t bytes, bool first) {
#if defined(__SSE2__)
  if (kernel == AverageKernel::kFastest) {
    AccumulateRowsSse2(acc, rows, weights, count, bytes, first);
    return;
  }
#else
  (void)kernel;
#endif
  AccumulateRowsPortable(acc, rows, weights, count, bytes, first);
}

// Nearest level of sum / (column total x row total); scale is the reciprocal of that product.
inline uint8_t ToLevel(int64_t sum, double scale) {
  const double v = static_cast<double>(sum) * scale + 0.5;
  return v >= 255.0 ? uint8_t{255} : static_cast<uint8_t>(v);
}

// Premultiplied colours never exceed their alpha; the alpha blit relies on it.
inline void KeepColoursWithinAlpha(uint8_t* pixel) {
  pixel[0] = std::min(pixel[0], pixel[3]);
  pixel[1] = std::min(pixel[1], pixel[3]);
  pixel[2] = std::min(pixel[2], pixel[3]);
}

// The column pass over one accumulated row of `Stride` sums per source pixel. Averages the
// first `Averaged` of them (3 or 4); with 3 the output alpha is 255.
// Output columns [begin, end); acc holds the sums of source columns from `base` on.
template <int Stride, int Averaged>
void ReduceColumnsPortable(const int32_t* acc, const AxisWeights& columns, const AverageSpan* begin,
                           const AverageSpan* end, int32_t base, double scale, uint8_t* out) {
  const int32_t* weights = columns.weights.data();
  for (const AverageSpan* s = begin; s != end; ++s) {
    const AverageSpan& span = *s;
    const int32_t* a = acc + static_cast<size_t>(span.first - base) * Stride;
    const int32_t* w = weights + span.offset;
    int64_t sums[4] = {0, 0, 0, 0};
    for (int32_t k = 0; k < span.count; ++k, a += Stride) {
      for (int c = 0; c < Averaged; ++c) sums[c] += static_cast<int64_t>(w[k]) * a[c];
    }
    for (int c = 0; c < Averaged; ++c) out[c] = ToLevel(sums[c], scale);
    if (Averaged == 4) {
      KeepColoursWithinAlpha(out);
    } else {
      out[3] = 255;
    }
    out += 4;
  }
}

#if defined(__SSE2__)
// The same with the four sums of a source pixel in two registers of doubles. Every product and
// partial sum is an integer below 2^53, so the doubles hold them exactly and the result equals
// the portable one bit for bit. With a stride of 3 the fourth lane reads the next pixel's first
// sum (the accumulator row has one spare element at its end) and is not used.
template <int Stride, int Averaged>
void ReduceColumnsSse2(const int32_t* acc, const AverageSpan* begin, const AverageSpan* end, int32_t base,
                       const double* weights, double scale, uint8_t* out) {
  const __m128d scales = _mm_set1_pd(scale);
  const __m128d half = _mm_set1_pd(0.5);
  for (const AverageSpan* s = begin; s != end; ++s) {
    const AverageSpan& span = *s;
    const int32_t* a = acc + static_cast<size_t>(span.first - base) * Stride;
    const double* w = weights + span.offset;
    __m128d low = _mm_setzero_pd();   // channels 0, 1
    __m128d high = _mm_setzero_pd();  // channels 2, 3
    for (int32_t k = 0; k < span.count; ++k, a += Stride) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a));
      const __m128d weight = _mm_set1_pd(w[k]);
      low = _mm_add_pd(low, _mm_mul_pd(_mm_cvtepi32_pd(v), weight));
      high = _mm_add_pd(high, _mm_mul_pd(_mm_cvtepi32_pd(_mm_unpackhi_epi64(v, v)), weight));
    }
    // Truncating sum x scale + 0.5 rounds to nearest, as ToLevel does; packing saturates at 255.
    const __m128i levelsLow = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(low, scales), half));
    const __m128i levelsHigh = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(high, scales), half));
    __m128i levels = _mm_unpacklo_epi64(levelsLow, levelsHigh);
    levels = _mm_packus_epi16(_mm_packs_epi32(levels, levels), levels);
    const uint32_t pixel = static_cast<uint32_t>(_mm_cvtsi128_si32(levels));
    out[0] = static_cast<uint8_t>(pixel);
    out[1] = static_cast<uint8_t>(pixel >> 8);
    out[2] = static_cast<uint8_t>(pixel >> 16);
    if (Averaged == 4) {
      out[3] = static_cast<uint8_t>(pixel >> 24);
      KeepColoursWithinAlpha(out);
    } else {
      out[3] = 255;
    }
    out += 4;
  }
}
#endif

template <int Stride, int Averaged>
void ReduceColumns(AverageKernel kernel, const int32_t* acc, const AxisWeights& columns, const AverageSpan* begin,
                   const AverageSpan* end, int32_t base, const double* weights, double scale, uint8_t* out) {
#if defined(__SSE2__)
  if (kernel == AverageKernel::kFastest) {
    ReduceColumnsSse2<Stride, Averaged>(acc, begin, end, base, weights, scale, out);
    return;
  }
#else
  (void)kernel;
  (void)weights;
#endif
  ReduceColumnsPortable<Stride, Averaged>(acc, columns, begin, end, base, scale, out);
}

}  // namespace

AreaAverager::AreaAverager(const SourcePixels& source, int32_t targetWidth, int32_t targetHeight,
                           AverageMode mode, AverageKernel kernel)
    : source_(source), targetWidth_(targetWidth), targetHeight_(targetHeight), mode_(mode), kernel_(kernel) {
  const int32_t bpp = source.bitsPerPixel;
  const bool depthOk = bpp == 1 || bpp == 4 || bpp == 8 || bpp == 16 || bpp == 24 || bpp == 32;
  const bool tableOk = bpp > 8 || source.colourTable != nullptr;
  const bool sizesOk = targetWidth >= 1 && targetHeight >= 1 && targetWidth <= source.width &&
                       targetHeight <= source.height && targetWidth <= kAreaAverageMaxTargetSide &&
                       targetHeight <= kAreaAverageMaxTargetSide &&
                       source.height <= kAreaAverageMaxSourceHeight &&
                       static_cast<int64_t>(source.width) * source.height <= kAreaAverageMaxSourcePixels;
  if (!depthOk || !tableOk || !sizesOk || source.topRow == nullptr) return;
  columns_ = MakeAxisWeights(source.width, targetWidth);
  rows_ = MakeAxisWeights(source.height, targetHeight);
  columnWeights_.assign(columns_.weights.begin(), columns_.weights.end());
  ok_ = true;
}

void AreaAverager::AverageRows(const TargetPixels& target, int32_t firstRow, int32_t endRow) const {
  if (!ok_ || target.topRow == nullptr || target.width != targetWidth_ || target.height != targetHeight_) {
    return;
  }
  firstRow = std::max(firstRow, 0);
  endRow = std::min(endRow, targetHeight_);
  if (firstRow >= endRow) return;
  Average(target.topRow + static_cast<ptrdiff_t>(firstRow) * target.pitch, target.pitch, firstRow, endRow, 0,
          targetWidth_);
}

void AreaAverager::AverageWindow(const TargetPixels& window, int32_t firstColumn, int32_t endColumn,
                                 int32_t firstRow, int32_t endRow) const {
  if (!ok_ || window.topRow == nullptr || firstColumn < 0 || firstRow < 0 || endColumn > targetWidth_ ||
      endRow > targetHeight_ || firstColumn >= endColumn || firstRow >= endRow ||
      window.width != endColumn - firstColumn || window.height != endRow - firstRow) {
    return;
  }
  Average(window.topRow, window.pitch, firstRow, endRow, firstColumn, endColumn);
}

void AreaAverager::Average(uint8_t* out, int32_t pitch, int32_t firstRow, int32_t endRow, int32_t firstColumn,
                           int32_t endColumn) const {
  const bool direct = source_.bitsPerPixel >= 24;  // summed straight from the bitmap's rows
  const int32_t stride = source_.bitsPerPixel == 32 ? 4 : 3;
  // Only the source columns the output columns cover are summed.
  const AverageSpan* begin = columns_.spans.data() + firstColumn;
  const AverageSpan* end = columns_.spans.data() + endColumn;
  const int32_t base = begin->first;
  const int32_t used = (end - 1)->first + (end - 1)->count - base;
  const size_t rowBytes = static_cast<size_t>(used) * stride;
  const size_t fullRowBytes = static_cast<size_t>(source_.width) * stride;
  const size_t skipped = static_cast<size_t>(base) * stride;
  std::vector<int32_t> acc(rowBytes + 1);  // one spare for the column pass's 4-lane reads
  std::vector<uint8_t> expanded(direct ? 0 : fullRowBytes * kRowsPerSweep);
  const double scale = 1.0 / (static_cast<double>(columns_.total) * static_cast<double>(rows_.total));
  const bool averageAlpha = mode_ == AverageMode::kPremultipliedAlpha && stride == 4;

  for (int32_t y = firstRow; y < endRow; ++y, out += pitch) {
    const AverageSpan& span = rows_.spans[static_cast<size_t>(y)];
    for (int32_t done = 0; done < span.count; done += kRowsPerSweep) {
      const int32_t count = std::min(kRowsPerSweep, span.count - done);
      const uint8_t* rows[kRowsPerSweep];
      for (int32_t k = 0; k < count; ++k) {
        const uint8_t* row = SourceRow(source_, span.first + done + k);
        if (direct) {
          rows[k] = row + skipped;
        } else {
          uint8_t* buffer = expanded.data() + fullRowBytes * static_cast<size_t>(k);
          ExpandRow(source_, row, buffer);
          rows[k] = buffer + skipped;
        }
      }
      AccumulateRows(kernel_, acc.data(), rows, rows_.weights.data() + span.offset + done, count, rowBytes,
                     done == 0);
    }
    const double* weights = columnWeights_.data();
    if (stride == 3) {
      ReduceColumns<3, 3>(kernel_, acc.data(), columns_, begin, end, base, weights, scale, out);
    } else if (averageAlpha) {
      ReduceColumns<4, 4>(kernel_, acc.data(), columns_, begin, end, base, weights, scale, out);
    } else {
      ReduceColumns<4, 3>(kernel_, acc.data(), columns_, begin, end, base, weights, scale, out);
    }
  }
}
