// Colour given by code points (colour primaries and transfer characteristics, as numbered in ITU-T
// H.273) instead of an ICC profile, as AVIF, HEIF and JPEG XL files may describe it, and samples
// deeper than 8 bits, which are converted before they are reduced. Platform-free; any thread.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// The transfer characteristics that need a tone mapping to be shown on an SDR display.
enum class HdrCurve { kNone, kPq, kHlg };
HdrCurve HdrCurveOf(uint16_t transfer);

// An ICC profile (its bytes) for pictures with these primaries and this transfer: a matrix-shaper
// with D65 white (or the primaries' own). For PQ and HLG the curve is sRGB's, since such samples
// are tone-mapped onto it first (WriteDeepRowsAsDisplay). Empty when the pixels need no conversion:
// sRGB or BT.709 primaries (or unspecified ones) with the sRGB curve (or an unspecified one).
// Unknown primaries count as BT.709, unknown transfers as sRGB's.
std::vector<uint8_t> ProfileForCicp(uint16_t primaries, uint16_t transfer);

// Interleaved RGB or RGBA samples, each in 16 bits of which the low bitDepth (8 to 16) are used.
// Rows run from `top` on, pitchBytes apart (negative for bottom-up rows).
struct DeepPixels {
  const uint16_t* top = nullptr;
  ptrdiff_t pitchBytes = 0;
  int32_t width = 0;
  int32_t height = 0;
  int bitDepth = 8;
  bool hasAlpha = false;
};

// Writes the samples into 8-bit rows, blue first: 3 bytes a pixel, or 4 when `alpha` (alpha from
// the samples', or 255 when they have none). The colours are converted from `embedded` (an ICC
// profile; empty or unusable: sRGB) to `display` (empty or unusable: sRGB) at 16 bits, then
// rounded to 8. Samples under PQ or HLG (by `transfer`) are first tone-mapped to SDR: each channel
// taken to light (PQ absolute, HLG at a 1000 cd/m2 peak), reference white (203 cd/m2) kept as
// 1.0 up to a knee at 0.8, the rest rolled off so the peak lands on 1.0, and encoded with the sRGB
// curve (what ProfileForCicp's profile for them assumes). threads: how many threads share the
// rows. False when the rows cannot be written (nothing, or too little, is given).
bool WriteDeepRowsAsDisplay(const DeepPixels& in, uint16_t transfer, const std::vector<uint8_t>& embedded,
                            const std::vector<uint8_t>& display, uint8_t* topRow, ptrdiff_t pitch, bool alpha,
                            int threads = 1);

// The tone mapping alone, for one channel: its sample normalised to 0..1 under the curve, to
// linear SDR light, 0..1. Exposed for its tests.
double ToneMappedLight(HdrCurve curve, double sample);
