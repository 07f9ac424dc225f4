#include "decode/cicp_colour.h"

#include <lcms2.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

namespace {

struct Chromaticities {
  double rx, ry, gx, gy, bx, by, wx, wy;
};

constexpr Chromaticities kBt709 = {0.640, 0.330, 0.300, 0.600, 0.150, 0.060, 0.3127, 0.3290};

// The primaries H.273 numbers; anything else (unspecified, film, XYZ) counts as BT.709.
Chromaticities PrimariesOf(uint16_t primaries) {
  switch (primaries) {
    case 4: return {0.670, 0.330, 0.210, 0.710, 0.140, 0.080, 0.310, 0.316};     // BT.470 M
    case 5: return {0.640, 0.330, 0.290, 0.600, 0.150, 0.060, 0.3127, 0.3290};   // BT.601 625
    case 6:
    case 7: return {0.630, 0.340, 0.310, 0.595, 0.155, 0.070, 0.3127, 0.3290};   // BT.601 525
    case 9: return {0.708, 0.292, 0.170, 0.797, 0.131, 0.046, 0.3127, 0.3290};   // BT.2020
    case 11: return {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.314, 0.351};    // DCI-P3
    case 12: return {0.680, 0.320, 0.265, 0.690, 0.150, 0.060, 0.3127, 0.3290};  // Display P3
    case 22: return {0.630, 0.340, 0.295, 0.605, 0.155, 0.077, 0.3127, 0.3290};  // EBU 3213
    default: return kBt709;
  }
}

bool IsBt709(const Chromaticities& c) {
  return c.rx == kBt709.rx && c.ry == kBt709.ry && c.gx == kBt709.gx && c.gy == kBt709.gy && c.bx == kBt709.bx &&
         c.by == kBt709.by && c.wx == kBt709.wx && c.wy == kBt709.wy;
}

// The curves profiles are made with: Little CMS's parametric type 1 (a gamma) or 4 (a gamma with
// a linear foot).
enum class Curve { kSrgb, kBt709, kGamma22, kGamma28, kLinear };

// PQ and HLG samples are tone-mapped onto the sRGB curve before any profile sees them.
Curve CurveOf(uint16_t transfer) {
  switch (transfer) {
    case 1:
    case 6:
    case 14:
    case 15: return Curve::kBt709;
    case 4: return Curve::kGamma22;
    case 5: return Curve::kGamma28;
    case 8: return Curve::kLinear;
    default: return Curve::kSrgb;
  }
}

struct CurveFree {
  void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};
struct ProfileClose {
  void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct TransformDelete {
  void operator()(void* transform) const { cmsDeleteTransform(transform); }
};
using CurveOwner = std::unique_ptr<cmsToneCurve, CurveFree>;
using ProfileOwner = std::unique_ptr<void, ProfileClose>;
using TransformOwner = std::unique_ptr<void, TransformDelete>;

CurveOwner BuildCurve(Curve curve) {
  switch (curve) {
    case Curve::kSrgb: {
      const cmsFloat64Number p[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
      return CurveOwner(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Curve::kBt709: {  // the inverse of BT.709's camera curve
      const cmsFloat64Number p[5] = {1.0 / 0.45, 1.0 / 1.099, 0.099 / 1.099, 1.0 / 4.5, 0.081};
      return CurveOwner(cmsBuildParametricToneCurve(nullptr, 4, p));
    }
    case Curve::kGamma22: return CurveOwner(cmsBuildGamma(nullptr, 2.2));
    case Curve::kGamma28: return CurveOwner(cmsBuildGamma(nullptr, 2.8));
    case Curve::kLinear: return CurveOwner(cmsBuildGamma(nullptr, 1.0));
  }
  return nullptr;
}

ProfileOwner OpenRgb(const std::vector<uint8_t>& bytes, cmsUInt32Number direction) {
  if (bytes.empty() || bytes.size() > UINT32_MAX) return nullptr;
  ProfileOwner profile(cmsOpenProfileFromMem(bytes.data(), static_cast<cmsUInt32Number>(bytes.size())));
  if (profile == nullptr || cmsGetColorSpace(profile.get()) != cmsSigRgbData ||
      !cmsIsIntentSupported(profile.get(), INTENT_RELATIVE_COLORIMETRIC, direction)) {
    return nullptr;
  }
  return profile;
}

double SrgbEncode(double light) {
  light = std::clamp(light, 0.0, 1.0);
  return light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055;
}

constexpr double kReferenceWhite = 203.0;  // cd/m2, the HDR level SDR white stands for
constexpr double kKnee = 0.8;              // relative light kept as it is up to here

// Light relative to reference white, with a peak of `peak` (same units): kept up to the knee,
// then rolled off so the peak lands on 1.0 with no kink at the knee.
double RollOff(double x, double peak) {
  if (x <= kKnee) return std::max(x, 0.0);
  const double t = (x - kKnee) / (1.0 - kKnee);
  const double top = (peak - kKnee) / (1.0 - kKnee);
  return std::min(1.0, kKnee + (1.0 - kKnee) * t * (1.0 + t / (top * top)) / (1.0 + t));
}

uint8_t To8(uint32_t value16) { return static_cast<uint8_t>((value16 * 255u + 32767u) / 65535u); }

// Both profiles as matrices and curves, applied through tables of our own: exact to the 8-bit
// result and fast, where Little CMS takes 16-bit input through a grid that is several levels off
// near the primaries. Made only when both profiles are matrix-shapers.
struct MatrixShaper {
  std::vector<float> linear[3];  // per channel: sample -> linear light under the picture's curve
  float matrix[3][3] = {};       // picture's linear RGB -> display's linear RGB
  std::vector<uint8_t> encode[3];  // per channel: linear light (kEncodeSteps) -> display's 8-bit value
};

constexpr int kEncodeSteps = 16384;

bool ReadColumns(cmsHPROFILE profile, double m[3][3], const cmsToneCurve* curves[3]) {
  if (!cmsIsMatrixShaper(profile)) return false;
  const cmsTagSignature colorants[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  const cmsTagSignature trcs[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorants[c]));
    curves[c] = static_cast<const cmsToneCurve*>(cmsReadTag(profile, trcs[c]));
    if (xyz == nullptr || curves[c] == nullptr) return false;
    m[0][c] = xyz->X;
    m[1][c] = xyz->Y;
    m[2][c] = xyz->Z;
  }
  return true;
}

bool Invert(const double m[3][3], double out[3][3]) {
  const double det = m[0][0] * (m[1][1] * m[2][2] - m[1][2] * m[2][1]) -
                     m[0][1] * (m[1][0] * m[2][2] - m[1][2] * m[2][0]) +
                     m[0][2] * (m[1][0] * m[2][1] - m[1][1] * m[2][0]);
  if (std::fabs(det) < 1e-12) return false;
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      const int r1 = (c + 1) % 3, r2 = (c + 2) % 3, c1 = (r + 1) % 3, c2 = (r + 2) % 3;
      out[r][c] = (m[r1][c1] * m[r2][c2] - m[r1][c2] * m[r2][c1]) / det;
    }
  }
  return true;
}

// The tables for source -> target, reading each sample through `curveValue` (the value on the
// picture's curve, 0..1, of each sample). False when either profile is not a matrix-shaper.
bool MakeMatrixShaper(cmsHPROFILE source, cmsHPROFILE target, const std::vector<double>& curveValue,
                      MatrixShaper& out) {
  double from[3][3], to[3][3], toInverse[3][3];
  const cmsToneCurve* sourceCurves[3];
  const cmsToneCurve* targetCurves[3];
  if (!ReadColumns(source, from, sourceCurves) || !ReadColumns(target, to, targetCurves) || !Invert(to, toInverse)) {
    return false;
  }
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += toInverse[r][k] * from[k][c];
      out.matrix[r][c] = static_cast<float>(sum);
    }
  }
  for (int c = 0; c < 3; ++c) {
    out.linear[c].resize(curveValue.size());
    for (size_t v = 0; v < curveValue.size(); ++v) {
      out.linear[c][v] = cmsEvalToneCurveFloat(sourceCurves[c], static_cast<cmsFloat32Number>(curveValue[v]));
    }
    CurveOwner reverse(cmsReverseToneCurveEx(4096, targetCurves[c]));
    if (reverse == nullptr) return false;
    out.encode[c].resize(kEncodeSteps);
    for (int i = 0; i < kEncodeSteps; ++i) {
      const float encoded = cmsEvalToneCurveFloat(reverse.get(), static_cast<float>(i) / (kEncodeSteps - 1));
      out.encode[c][i] = static_cast<uint8_t>(std::lround(std::clamp(encoded, 0.0f, 1.0f) * 255.0f));
    }
  }
  return true;
}

struct RowJob {
  const DeepPixels* in;
  std::vector<uint16_t>* table;  // sample -> 16-bit value on the profile's curve
  const MatrixShaper* shaper;    // when set, used instead of the table and the transform
  void* transform;               // null: the values are already the display's
  uint8_t* topRow;
  ptrdiff_t pitch;
  bool alpha;
};

void ShapeRow(const MatrixShaper& shaper, const uint16_t* row, int channels, uint32_t maxSample, int32_t width,
              uint8_t* out, int outBytes) {
  for (int32_t x = 0; x < width; ++x) {
    const uint16_t* sample = row + static_cast<size_t>(x) * channels;
    float light[3];
    for (int c = 0; c < 3; ++c) light[c] = shaper.linear[c][std::min<uint32_t>(sample[c], maxSample)];
    uint8_t* pixel = out + static_cast<size_t>(x) * outBytes;
    for (int c = 0; c < 3; ++c) {
      const float v = shaper.matrix[c][0] * light[0] + shaper.matrix[c][1] * light[1] + shaper.matrix[c][2] * light[2];
      const int step = static_cast<int>(std::clamp(v, 0.0f, 1.0f) * (kEncodeSteps - 1) + 0.5f);
      pixel[2 - c] = shaper.encode[c][step];
    }
  }
}

void WriteRows(const RowJob& job, int32_t first, int32_t end) {
  const DeepPixels& in = *job.in;
  const int channels = in.hasAlpha ? 4 : 3;
  const uint32_t maxSample = (1u << in.bitDepth) - 1u;
  const int outBytes = job.alpha ? 4 : 3;
  const uint16_t* table = job.table->data();
  std::vector<uint16_t> rgb(static_cast<size_t>(in.width) * 3);
  for (int32_t y = first; y < end; ++y) {
    const auto* row = reinterpret_cast<const uint16_t*>(reinterpret_cast<const uint8_t*>(in.top) + y * in.pitchBytes);
    uint8_t* out = job.topRow + y * job.pitch;
    if (job.shaper != nullptr) {
      ShapeRow(*job.shaper, row, channels, maxSample, in.width, out, outBytes);
    } else {
      for (int32_t x = 0; x < in.width; ++x) {
        const uint16_t* sample = row + static_cast<size_t>(x) * channels;
        for (int c = 0; c < 3; ++c) rgb[x * 3 + c] = table[std::min<uint32_t>(sample[c], maxSample)];
      }
      if (job.transform != nullptr) {
        cmsDoTransform(job.transform, rgb.data(), out, static_cast<cmsUInt32Number>(in.width));
      } else {
        for (int32_t x = 0; x < in.width; ++x) {
          uint8_t* pixel = out + static_cast<size_t>(x) * outBytes;
          pixel[0] = To8(rgb[x * 3 + 2]);
          pixel[1] = To8(rgb[x * 3 + 1]);
          pixel[2] = To8(rgb[x * 3]);
        }
      }
    }
    if (!job.alpha) continue;
    for (int32_t x = 0; x < in.width; ++x) {
      uint8_t& a = out[static_cast<size_t>(x) * 4 + 3];
      if (!in.hasAlpha) {
        a = 255;
      } else {
        const uint32_t sample = std::min<uint32_t>(row[static_cast<size_t>(x) * 4 + 3], maxSample);
        a = static_cast<uint8_t>((sample * 255u + maxSample / 2) / maxSample);
      }
    }
  }
}

}  // namespace

HdrCurve HdrCurveOf(uint16_t transfer) {
  if (transfer == 16) return HdrCurve::kPq;
  if (transfer == 18) return HdrCurve::kHlg;
  return HdrCurve::kNone;
}

double ToneMappedLight(HdrCurve curve, double sample) {
  sample = std::clamp(sample, 0.0, 1.0);
  switch (curve) {
    case HdrCurve::kPq: {
      constexpr double m1 = 0.1593017578125, m2 = 78.84375, c1 = 0.8359375, c2 = 18.8515625, c3 = 18.6875;
      const double p = std::pow(sample, 1.0 / m2);
      const double nits = 10000.0 * std::pow(std::max(p - c1, 0.0) / (c2 - c3 * p), 1.0 / m1);
      return RollOff(nits / kReferenceWhite, 10000.0 / kReferenceWhite);
    }
    case HdrCurve::kHlg: {
      constexpr double a = 0.17883277, b = 0.28466892, c = 0.55991073;
      const double scene = sample <= 0.5 ? sample * sample / 3.0 : (std::exp((sample - c) / a) + b) / 12.0;
      // The display's system gamma per channel: a simplification of HLG's luminance-based one.
      const double nits = 1000.0 * std::pow(scene, 1.2);
      return RollOff(nits / kReferenceWhite, 1000.0 / kReferenceWhite);
    }
    case HdrCurve::kNone: return sample;
  }
  return sample;
}

std::vector<uint8_t> ProfileForCicp(uint16_t primaries, uint16_t transfer) {
  const Chromaticities c = PrimariesOf(primaries);
  const Curve curve = HdrCurveOf(transfer) != HdrCurve::kNone ? Curve::kSrgb : CurveOf(transfer);
  if (IsBt709(c) && curve == Curve::kSrgb) return {};
  const cmsCIExyY white = {c.wx, c.wy, 1.0};
  const cmsCIExyYTRIPLE colorants = {{c.rx, c.ry, 1.0}, {c.gx, c.gy, 1.0}, {c.bx, c.by, 1.0}};
  CurveOwner tone = BuildCurve(curve);
  if (tone == nullptr) return {};
  cmsToneCurve* curves[3] = {tone.get(), tone.get(), tone.get()};
  ProfileOwner profile(cmsCreateRGBProfile(&white, &colorants, curves));
  if (profile == nullptr) return {};
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(profile.get(), nullptr, &size) || size == 0) return {};
  std::vector<uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size)) return {};
  bytes.resize(size);
  return bytes;
}

bool WriteDeepRowsAsDisplay(const DeepPixels& in, uint16_t transfer, const std::vector<uint8_t>& embedded,
                            const std::vector<uint8_t>& display, uint8_t* topRow, ptrdiff_t pitch, bool alpha,
                            int threads) {
  if (in.top == nullptr || topRow == nullptr || in.width <= 0 || in.height <= 0 || in.bitDepth < 8 ||
      in.bitDepth > 16) {
    return false;
  }
  const int channels = in.hasAlpha ? 4 : 3;
  const ptrdiff_t rowBytes = static_cast<ptrdiff_t>(in.width) * channels * 2;
  if (std::abs(in.pitchBytes) < rowBytes || std::abs(pitch) < static_cast<ptrdiff_t>(in.width) * (alpha ? 4 : 3)) {
    return false;
  }
  const HdrCurve hdr = HdrCurveOf(transfer);
  const uint32_t maxSample = (1u << in.bitDepth) - 1u;
  std::vector<double> curveValue(maxSample + 1);
  std::vector<uint16_t> table(maxSample + 1);
  for (uint32_t v = 0; v <= maxSample; ++v) {
    const double normalised = static_cast<double>(v) / maxSample;
    curveValue[v] = hdr == HdrCurve::kNone ? normalised : SrgbEncode(ToneMappedLight(hdr, normalised));
    table[v] = static_cast<uint16_t>(std::lround(curveValue[v] * 65535.0));
  }

  // A conversion only when either side is not sRGB: our tables for two matrix-shapers, otherwise
  // Little CMS, made without its one-pixel cache so that several threads may share it.
  MatrixShaper shaper;
  bool shaped = false;
  TransformOwner transform;
  ProfileOwner source = OpenRgb(embedded, LCMS_USED_AS_INPUT);
  ProfileOwner target = OpenRgb(display, LCMS_USED_AS_OUTPUT);
  if (source != nullptr || target != nullptr) {
    if (source == nullptr) source.reset(cmsCreate_sRGBProfile());
    if (target == nullptr) target.reset(cmsCreate_sRGBProfile());
    shaped = MakeMatrixShaper(source.get(), target.get(), curveValue, shaper);
    if (!shaped) {
      transform.reset(cmsCreateTransform(source.get(), TYPE_RGB_16, target.get(), alpha ? TYPE_BGRA_8 : TYPE_BGR_8,
                                         INTENT_RELATIVE_COLORIMETRIC, cmsFLAGS_NOCACHE | cmsFLAGS_HIGHRESPRECALC));
    }
  }

  const RowJob job{&in, &table, shaped ? &shaper : nullptr, transform.get(), topRow, pitch, alpha};
  threads = std::clamp(threads, 1, std::max(1, in.height / 64));
  std::vector<std::thread> helpers;
  const int32_t band = (in.height + threads - 1) / threads;
  int32_t mine = 0;
  for (int i = 1; i < threads; ++i) {
    const int32_t first = band * i;
    const int32_t end = std::min(in.height, first + band);
    if (first >= end) break;
    try {
      helpers.emplace_back([&job, first, end] { WriteRows(job, first, end); });
    } catch (...) {
      WriteRows(job, first, end);  // no thread to be had: the caller does this band too
    }
    mine = 1;
  }
  WriteRows(job, 0, mine != 0 ? std::min(band, in.height) : in.height);
  for (std::thread& helper : helpers) helper.join();
  return true;
}
