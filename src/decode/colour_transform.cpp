#include "decode/colour_transform.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <thread>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr size_t kCachedTransforms = 4;
constexpr cmsUInt32Number kIntent = INTENT_RELATIVE_COLORIMETRIC;

// The layouts a transform is made for (each its own cache entry): ColourPixels' values.
int LayoutOf(ColourPixels pixels) { return static_cast<int>(pixels); }

struct ProfileHandle {
  explicit ProfileHandle(cmsHPROFILE p) : profile(p) {}
  ~ProfileHandle() {
    if (profile != nullptr) cmsCloseProfile(profile);
  }
  ProfileHandle(const ProfileHandle&) = delete;
  ProfileHandle& operator=(const ProfileHandle&) = delete;
  cmsHPROFILE profile;
};

cmsHPROFILE Open(const std::vector<uint8_t>& bytes) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
  return cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size()));
}

// sRGB in all but name: the same colorants and tone curves as Little CMS's own sRGB, to within
// what 8-bit pixels could show. Only matrix-shaper profiles qualify; anything else is transformed.
bool MatchesSrgb(cmsHPROFILE profile) {
  ProfileHandle srgb(cmsCreate_sRGBProfile());
  const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; c < 3; ++c) {
    const auto* mine = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
    const auto* theirs = static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb.profile, colorants[c]));
    const auto* curve = static_cast<const cmsToneCurve*>(cmsReadTag(profile, curves[c]));
    const auto* srgbCurve = static_cast<const cmsToneCurve*>(cmsReadTag(srgb.profile, curves[c]));
    if (mine == nullptr || theirs == nullptr || curve == nullptr || srgbCurve == nullptr) return false;
    if (std::fabs(mine->X - theirs->X) > 0.002 || std::fabs(mine->Y - theirs->Y) > 0.002 ||
        std::fabs(mine->Z - theirs->Z) > 0.002) {
      return false;
    }
    for (int i = 0; i <= 16; ++i) {
      const float x = static_cast<float>(i) / 16.0f;
      if (std::fabs(cmsEvalToneCurveFloat(curve, x) - cmsEvalToneCurveFloat(srgbCurve, x)) > 0.002f) return false;
    }
  }
  return true;
}

ProfileKind Classify(cmsHPROFILE profile) {
  if (profile == nullptr) return ProfileKind::kUnusable;
  switch (cmsGetColorSpace(profile)) {
    case cmsSigRgbData:
      if (!cmsIsIntentSupported(profile, kIntent, LCMS_USED_AS_INPUT)) return ProfileKind::kUnusable;
      return MatchesSrgb(profile) ? ProfileKind::kSrgb : ProfileKind::kRgb;
    case cmsSigGrayData: return ProfileKind::kGrey;
    case cmsSigCmykData: return ProfileKind::kCmyk;
    default: return ProfileKind::kUnusable;
  }
}

// The display's profile when it is an RGB one Little CMS can write to; sRGB otherwise.
cmsHPROFILE OpenDisplay(const std::vector<uint8_t>& display) {
  cmsHPROFILE profile = Open(display);
  if (profile != nullptr &&
      (cmsGetColorSpace(profile) != cmsSigRgbData || !cmsIsIntentSupported(profile, kIntent, LCMS_USED_AS_OUTPUT))) {
    cmsCloseProfile(profile);
    profile = nullptr;
  }
  return profile != nullptr ? profile : cmsCreate_sRGBProfile();
}

// Grey samples read from the first of the three equal colours; the rest of the pixel is skipped.
constexpr cmsUInt32Number GreyIn(int extra) {
  return COLORSPACE_SH(PT_GRAY) | CHANNELS_SH(1) | BYTES_SH(1) | EXTRA_SH(static_cast<cmsUInt32Number>(extra));
}

// An RGB to RGB conversion between matrix-shaper profiles as Little CMS computes it for the
// relative colorimetric intent without black point compensation: the source's tone curves to
// linear light, its colorants to XYZ (D50), the display's inverse colorants, clipping to its
// gamut, its inverse tone curves. The curves and the matrix are folded into tables: each output
// channel is the sum of three looked-up terms, one per input channel, then one more look-up. No
// multiplication per pixel, and the tables (12 kB and 48 kB) stay in the processor's caches.
struct MatrixShaper {
  static constexpr int kOutSteps = 16383;  // linear light in steps of 1/16383: under 0.3 of a level
  static constexpr int kFraction = 4;      // extra bits the terms carry for rounding
  // [input channel: red, green, blue][input level] -> the term it adds to red, green and blue out
  // (and a zero), so one pixel's three sums are three 16-byte loads and two additions.
  alignas(16) int32_t terms[3][256][4];
  uint8_t fromLinear[3][kOutSteps + 1];

  // Any thread; rows of pixelBytes-wide blue, green, red pixels, changed in place.
  void Apply(uint8_t* row, int32_t width, int pixelBytes) const {
#if defined(__SSE2__)
    const __m128i round = _mm_set1_epi32(1 << (kFraction - 1)), zero = _mm_setzero_si128(),
                  top = _mm_set1_epi16(kOutSteps);
    for (int32_t x = 0; x < width; ++x, row += pixelBytes) {
      const auto term = [this](int channel, uint8_t level) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(terms[channel][level]));
      };
      __m128i sum = _mm_add_epi32(_mm_add_epi32(term(0, row[2]), term(1, row[1])), _mm_add_epi32(term(2, row[0]), round));
      sum = _mm_srai_epi32(sum, kFraction);
      // To 16 bits with saturation, then clipped to the display's gamut: 0 to kOutSteps.
      const __m128i index = _mm_min_epi16(_mm_max_epi16(_mm_packs_epi32(sum, sum), zero), top);
      row[2] = fromLinear[0][_mm_extract_epi16(index, 0)];
      row[1] = fromLinear[1][_mm_extract_epi16(index, 1)];
      row[0] = fromLinear[2][_mm_extract_epi16(index, 2)];
    }
#else
    for (int32_t x = 0; x < width; ++x, row += pixelBytes) {
      const uint8_t b = row[0], g = row[1], r = row[2];
      for (int c = 0; c < 3; ++c) {
        int32_t v = terms[0][r][c] + terms[1][g][c] + terms[2][b][c] + (1 << (kFraction - 1));
        v = v < 0 ? 0 : v >> kFraction;
        row[2 - c] = fromLinear[c][v > kOutSteps ? kOutSteps : v];
      }
    }
#endif
  }
};

bool ReadColorants(cmsHPROFILE profile, double m[3][3]) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (xyz == nullptr) return false;
    m[0][c] = xyz->X, m[1][c] = xyz->Y, m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double inverse[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (!(std::fabs(det) > 1e-9)) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      inverse[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

std::unique_ptr<MatrixShaper> MakeMatrixShaper(cmsHPROFILE source, cmsHPROFILE display) {
  if (!cmsIsMatrixShaper(source) || !cmsIsMatrixShaper(display) || cmsGetColorSpace(source) != cmsSigRgbData ||
      cmsGetColorSpace(display) != cmsSigRgbData) {
    return nullptr;
  }
  double from[3][3], to[3][3], toInverse[3][3];
  if (!ReadColorants(source, from) || !ReadColorants(display, to) || !Invert(to, toInverse)) return nullptr;
  auto shaper = std::make_unique<MatrixShaper>();
  double matrix[3][3];
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      matrix[r][c] = 0;
      for (int k = 0; k < 3; ++k) matrix[r][c] += toInverse[r][k] * from[k][c];
    }
  }
  const cmsTagSignature curves[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  constexpr double kScale = double{MatrixShaper::kOutSteps} * (1 << MatrixShaper::kFraction);
  for (int k = 0; k < 3; ++k) {
    const auto* in = static_cast<const cmsToneCurve*>(cmsReadTag(source, curves[k]));
    if (in == nullptr) return nullptr;
    for (int v = 0; v < 256; ++v) {
      const double linear = cmsEvalToneCurveFloat(in, static_cast<float>(v) / 255.0f);
      shaper->terms[k][v][3] = 0;
      for (int c = 0; c < 3; ++c) {
        // Clamped far outside what a sum of three could need: no overflow whatever the matrix.
        const double term = std::clamp(matrix[c][k] * linear * kScale, -double{1 << 28}, double{1 << 28});
        shaper->terms[k][v][c] = static_cast<int32_t>(std::lround(term));
      }
    }
  }
  for (int c = 0; c < 3; ++c) {
    const auto* out = static_cast<const cmsToneCurve*>(cmsReadTag(display, curves[c]));
    if (out == nullptr) return nullptr;
    cmsToneCurve* reversed = cmsReverseToneCurve(out);
    if (reversed == nullptr) return nullptr;
    for (int i = 0; i <= MatrixShaper::kOutSteps; ++i) {
      const float level = cmsEvalToneCurveFloat(reversed, static_cast<float>(i) / MatrixShaper::kOutSteps);
      shaper->fromLinear[c][i] = static_cast<uint8_t>(std::clamp(std::lround(level * 255.0f), 0L, 255L));
    }
    cmsFreeToneCurve(reversed);
  }
  return shaper;
}

}  // namespace

struct CachedTransform {
  std::unique_ptr<MatrixShaper> shaper;  // when set, used instead of transform
  std::vector<uint8_t> embedded;
  std::vector<uint8_t> display;
  int layout = 0;
  cmsHTRANSFORM transform = nullptr;  // owned; null: nothing to do for this pair

  ~CachedTransform() {
    if (transform != nullptr) cmsDeleteTransform(transform);
  }
};

ProfileKind ClassifyProfile(const std::vector<uint8_t>& profile) {
  if (profile.empty()) return ProfileKind::kNone;
  ProfileHandle handle(Open(profile));
  return Classify(handle.profile);
}

ColourConverter::ColourConverter(ColourEngine engine) : engine_(engine) {}
ColourConverter::~ColourConverter() = default;

std::shared_ptr<CachedTransform> ColourConverter::Find(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                                       int layout) {
  for (auto it = cache_.begin(); it != cache_.end(); ++it) {
    CachedTransform& entry = **it;
    if (entry.layout == layout && entry.embedded == embedded && entry.display == display) {
      cache_.splice(cache_.begin(), cache_, it);
      return cache_.front();
    }
  }
  auto entry = std::make_shared<CachedTransform>();
  entry->embedded = embedded;
  entry->display = display;
  entry->layout = layout;
  ProfileHandle source(Open(embedded));
  const ProfileKind kind = Classify(source.profile);
  // The same bytes as the display's: already in display colours.
  const bool same = embedded == display;
  const bool bgra = layout == LayoutOf(ColourPixels::kBgra32);
  const bool cmykPixels = layout == LayoutOf(ColourPixels::kCmyk32) || layout == LayoutOf(ColourPixels::kInvertedCmyk32);
  cmsUInt32Number in = 0, out = TYPE_BGR_8;
  if (cmykPixels) {
    // The alpha byte (where black was) is set afterwards; Little CMS leaves it as it was.
    if (kind == ProfileKind::kCmyk) in = layout == LayoutOf(ColourPixels::kCmyk32) ? TYPE_CMYK_8 : TYPE_CMYK_8_REV;
    out = TYPE_BGRA_8;
  } else if (!same && kind == ProfileKind::kRgb) {
    in = bgra ? TYPE_BGRA_8 : TYPE_BGR_8;
    out = in;
  } else if (!same && kind == ProfileKind::kGrey) {
    in = GreyIn(bgra ? 3 : 2);
    out = bgra ? TYPE_BGRA_8 : TYPE_BGR_8;
  }
  if (in != 0) {
    ProfileHandle target(OpenDisplay(display));
    if (kind == ProfileKind::kRgb && engine_ == ColourEngine::kMatrixShaperTables) {
      entry->shaper = MakeMatrixShaper(source.profile, target.profile);
    }
    // In place, alpha (an extra channel the output skips) is left as it was.
    if (entry->shaper == nullptr) entry->transform = cmsCreateTransform(source.profile, in, target.profile, out, kIntent, 0);
  }
  cache_.push_front(entry);
  if (cache_.size() > kCachedTransforms) cache_.pop_back();
  return entry;
}

SharedTransform ColourConverter::Take(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                                      ColourPixels pixels) {
  if (embedded.empty()) return nullptr;
  return Find(embedded, display, LayoutOf(pixels));
}

bool TransformApplies(const SharedTransform& transform) {
  return transform != nullptr && (transform->transform != nullptr || transform->shaper != nullptr);
}

bool ColourConverter::Converts(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                               ColourPixels pixels) {
  return TransformApplies(Take(embedded, display, pixels));
}

ColourOutcome ColourConverter::Convert(const std::vector<uint8_t>& embedded, const std::vector<uint8_t>& display,
                                       uint8_t* topRow, ptrdiff_t pitch, int32_t width, int32_t height,
                                       ColourPixels pixels, int threads) {
  if (embedded.empty() || width <= 0 || height <= 0) return ColourOutcome::kUntouched;
  return ApplyTransform(Take(embedded, display, pixels), topRow, pitch, width, height, pixels, threads);
}

ColourOutcome ApplyTransform(const SharedTransform& entry, uint8_t* topRow, ptrdiff_t pitch, int32_t width,
                             int32_t height, ColourPixels pixels, int threads) {
  if (!TransformApplies(entry) || width <= 0 || height <= 0) return ColourOutcome::kUntouched;
  const cmsHTRANSFORM transform = entry->transform;
  const MatrixShaper* shaper = entry->shaper.get();
  const int pixelBytes = pixels == ColourPixels::kBgr24 ? 3 : 4;
  const bool opaque = pixels == ColourPixels::kCmyk32 || pixels == ColourPixels::kInvertedCmyk32;
  // Rows are not contiguous in general (padding, bottom-up storage): each band is handed over from
  // its lowest row in memory with the line stride, and Little CMS walks the rows itself.
  const auto band = [&](int32_t first, int32_t last) {
    if (first >= last) return;
    if (shaper != nullptr) {
      for (int32_t y = first; y < last; ++y) shaper->Apply(topRow + static_cast<ptrdiff_t>(y) * pitch, width, pixelBytes);
      return;
    }
    uint8_t* lowest = topRow + static_cast<ptrdiff_t>(pitch > 0 ? first : last - 1) * pitch;
    const auto stride = static_cast<cmsUInt32Number>(pitch > 0 ? pitch : -pitch);
    cmsDoTransformLineStride(transform, lowest, lowest, static_cast<cmsUInt32Number>(width),
                             static_cast<cmsUInt32Number>(last - first), stride, stride, 0, 0);
    if (!opaque) return;
    for (int32_t y = first; y < last; ++y) {
      uint8_t* row = topRow + static_cast<ptrdiff_t>(y) * pitch;
      for (int32_t x = 0; x < width; ++x) row[x * 4 + 3] = 255;
    }
  };
  const int32_t helpers = std::clamp(threads, 1, 8) - 1;
  if (helpers == 0 || height < 64) {
    band(0, height);
    return ColourOutcome::kConverted;
  }
  std::vector<std::thread> others;
  const int32_t share = height / (helpers + 1);
  for (int32_t i = 1; i <= helpers; ++i) {
    const int32_t first = share * i, last = i == helpers ? height : share * (i + 1);
    others.emplace_back(band, first, last);
  }
  band(0, share);
  for (std::thread& t : others) t.join();
  return ColourOutcome::kConverted;
}
