#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <vector>

#include "decode/cicp_colour.h"

namespace {

uint16_t Encode(double light, int bitDepth) {  // the sRGB curve, to a sample of bitDepth bits
  const double v = light <= 0.0031308 ? light * 12.92 : 1.055 * std::pow(light, 1.0 / 2.4) - 0.055;
  return static_cast<uint16_t>(std::lround(v * ((1 << bitDepth) - 1)));
}

struct Written {
  std::vector<uint8_t> bgra;
  bool ok = false;
};

Written Write(const std::vector<uint16_t>& samples, int width, int bitDepth, bool hasAlpha, uint16_t transfer,
              const std::vector<uint8_t>& embedded, int threads = 1) {
  const int channels = hasAlpha ? 4 : 3;
  DeepPixels in;
  in.top = samples.data();
  in.width = width;
  in.height = static_cast<int32_t>(samples.size() / (static_cast<size_t>(width) * channels));
  in.pitchBytes = static_cast<ptrdiff_t>(width) * channels * 2;
  in.bitDepth = bitDepth;
  in.hasAlpha = hasAlpha;
  Written out;
  out.bgra.assign(static_cast<size_t>(width) * in.height * 4, 7);
  out.ok = WriteDeepRowsAsDisplay(in, transfer, embedded, {}, out.bgra.data(), width * 4, true, threads);
  return out;
}

void ExpectPixel(const Written& w, size_t index, int r, int g, int b, int a, int tolerance, const char* what) {
  const uint8_t* p = &w.bgra[index * 4];
  const bool near = std::abs(p[2] - r) <= tolerance && std::abs(p[1] - g) <= tolerance &&
                    std::abs(p[0] - b) <= tolerance && p[3] == a;
  EXPECT_TRUE(near) << what << ": expected RGBA " << r << "," << g << "," << b << "," << a << " (within "
                    << tolerance << "), got " << int(p[2]) << "," << int(p[1]) << "," << int(p[0]) << "," << int(p[3]);
}

TEST(CicpColour, WideGamutCodePointsTurnSrgbRedBackIntoSrgbRed) {
  EXPECT_TRUE(ProfileForCicp(1, 13).empty()) << "sRGB needs no profile";
  EXPECT_TRUE(ProfileForCicp(2, 2).empty()) << "unspecified counts as sRGB";
  EXPECT_TRUE(ProfileForCicp(1, 16).empty()) << "PQ over BT.709 is sRGB after the tone mapping";
  ASSERT_FALSE(ProfileForCicp(12, 13).empty());
  ASSERT_FALSE(ProfileForCicp(9, 16).empty());

  // sRGB's red in linear Display P3 and BT.2020 light (the standard matrices), then grey, white
  // and black, which every D65 space keeps.
  const double p3Red[3] = {0.8225, 0.0332, 0.0171};
  const double bt2020Red[3] = {0.6274, 0.0691, 0.0164};
  for (int bitDepth : {10, 12}) {
    std::vector<uint16_t> p3, bt2020;
    for (int c = 0; c < 3; ++c) p3.push_back(Encode(p3Red[c], bitDepth));
    for (int c = 0; c < 3; ++c) bt2020.push_back(Encode(bt2020Red[c], bitDepth));
    for (double grey : {0.2140, 1.0, 0.0}) {  // 0.2140 is sRGB's 128
      for (int c = 0; c < 3; ++c) p3.push_back(Encode(grey, bitDepth));
      for (int c = 0; c < 3; ++c) bt2020.push_back(Encode(grey, bitDepth));
    }
    const Written fromP3 = Write(p3, 4, bitDepth, false, 13, ProfileForCicp(12, 13));
    ASSERT_TRUE(fromP3.ok);
    ExpectPixel(fromP3, 0, 255, 0, 0, 255, 3, "Display P3 red of sRGB");
    ExpectPixel(fromP3, 1, 128, 128, 128, 255, 1, "Display P3 grey");
    ExpectPixel(fromP3, 2, 255, 255, 255, 255, 1, "Display P3 white");
    ExpectPixel(fromP3, 3, 0, 0, 0, 255, 1, "Display P3 black");
    const Written fromBt2020 = Write(bt2020, 4, bitDepth, false, 13, ProfileForCicp(9, 13));
    ASSERT_TRUE(fromBt2020.ok);
    ExpectPixel(fromBt2020, 0, 255, 0, 0, 255, 3, "BT.2020 red of sRGB");
    ExpectPixel(fromBt2020, 1, 128, 128, 128, 255, 1, "BT.2020 grey");
  }
}

TEST(CicpColour, DeepSamplesAreRoundedWithTheirAlphaAndSplitOverThreads) {
  // 10-bit RGBA, 200 rows so that four threads each take a band; no profile: a plain rounding.
  const int width = 3, height = 200;
  std::vector<uint16_t> samples;
  for (int y = 0; y < height; ++y) {
    const uint16_t row[12] = {1023, 0, 512, 1023, 0, 0, 0, 0, 4095, 4095, 4095, 512};  // 4095: beyond 10 bits
    samples.insert(samples.end(), row, row + 12);
    samples[samples.size() - 11] = static_cast<uint16_t>(y * 5);
  }
  const Written w = Write(samples, width, 10, true, 13, {}, 4);
  ASSERT_TRUE(w.ok);
  for (int y : {0, 57, 111, 199}) {
    ExpectPixel(w, static_cast<size_t>(y) * width, 255, (y * 5 * 255 + 511) / 1023, 128, 255, 1, "row's first pixel");
    ExpectPixel(w, static_cast<size_t>(y) * width + 1, 0, 0, 0, 0, 0, "transparent black");
    ExpectPixel(w, static_cast<size_t>(y) * width + 2, 255, 255, 255, 128, 0, "samples beyond the depth clamp");
  }
  // Nothing to write from, or rows too short: refused, the rows untouched.
  DeepPixels none;
  std::vector<uint8_t> out(16, 7);
  EXPECT_FALSE(WriteDeepRowsAsDisplay(none, 13, {}, {}, out.data(), 16, true));
  EXPECT_EQ(out[0], 7);
}

TEST(CicpColour, PqAndHlgAreRolledOffNotClipped) {
  // Reference white and below keep their light up to the knee; the peaks land on white; every
  // step up in the sample is a step up (or equal) in the light, so highlights keep their detail.
  EXPECT_NEAR(ToneMappedLight(HdrCurve::kPq, 0.0), 0.0, 1e-9);
  EXPECT_NEAR(ToneMappedLight(HdrCurve::kPq, 1.0), 1.0, 1e-6);
  EXPECT_NEAR(ToneMappedLight(HdrCurve::kHlg, 1.0), 1.0, 1e-6);
  EXPECT_NEAR(ToneMappedLight(HdrCurve::kPq, 0.5081), 100.0 / 203.0, 0.003) << "PQ's 100 cd/m2";
  const double white = ToneMappedLight(HdrCurve::kPq, 0.5806);  // PQ's 203 cd/m2
  EXPECT_GT(white, 0.85);
  EXPECT_LT(white, 0.95);
  // Highlights: PQ from reference white to 1000 cd/m2 (10-bit samples 595 to 769), HLG's top
  // samples; each step must still show.
  struct Highlights {
    HdrCurve curve;
    int from, to;
  };
  for (const Highlights h : {Highlights{HdrCurve::kPq, 595, 769}, Highlights{HdrCurve::kHlg, 900, 1023}}) {
    double previous = -1.0;
    int distinct = 0;
    for (int v = 0; v <= 1023; ++v) {
      const double light = ToneMappedLight(h.curve, v / 1023.0);
      ASSERT_GE(light, previous) << "sample " << v;
      if (v > h.from && v <= h.to && light > previous + 1e-4) ++distinct;
      previous = light;
    }
    EXPECT_GT(distinct, (h.to - h.from) * 9 / 10) << "highlights must not clip to one value";
  }
  // Through the rows: a PQ sample at 10000 cd/m2 is white, not a wrapped or clipped colour.
  const Written w = Write({1023, 1023, 1023, 0, 0, 0}, 2, 10, false, 16, ProfileForCicp(9, 16));
  ASSERT_TRUE(w.ok);
  ExpectPixel(w, 0, 255, 255, 255, 255, 1, "PQ peak");
  ExpectPixel(w, 1, 0, 0, 0, 255, 0, "PQ black");
}

}  // namespace
