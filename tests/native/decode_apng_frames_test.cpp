// The APNG frame composer against frames the test composes itself, the plain way, from the same
// frame list: every dispose_op and blend_op over partial transparency, frames smaller than the
// canvas at offsets, a default image that is no frame, a palette with alpha; and hostile files
// that must end quietly.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <cstdint>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/png/apng_frames.h"
#include "support/test_apng.h"

namespace {

using Canvas = std::vector<uint32_t>;

// Straight-alpha OVER with the fractions written out (PNG's alpha compositing), rounded at the end.
uint32_t OverByHand(uint32_t s, uint32_t d) {
  const double as = (s >> 24) / 255.0, ad = (d >> 24) / 255.0, out = as + ad * (1 - as);
  if (as == 0) return d;
  uint32_t result = static_cast<uint32_t>(std::lround(out * 255)) << 24;
  for (int shift : {16, 8, 0}) {
    const double cs = (s >> shift) & 0xFF, cd = (d >> shift) & 0xFF;
    result |= static_cast<uint32_t>(std::lround((cs * as + cd * ad * (1 - as)) / out)) << shift;
  }
  return result;
}

// The canvas after each frame; colour maps a frame's pixel value to 0xAARRGGBB.
std::vector<Canvas> ComposeByHand(int32_t width, int32_t height, const std::vector<ApngFrameSpec>& frames,
                                  const std::function<uint32_t(uint32_t)>& colour) {
  std::vector<Canvas> out;
  Canvas canvas(static_cast<size_t>(width * height), 0);
  for (size_t i = 0; i < frames.size(); ++i) {
    const ApngFrameSpec& f = frames[i];
    const Canvas before = canvas;
    for (int32_t y = 0; y < f.height; ++y) {
      for (int32_t x = 0; x < f.width; ++x) {
        uint32_t& d = canvas[static_cast<size_t>((f.top + y) * width + f.left + x)];
        const uint32_t s = colour(f.pixel(x, y));
        d = f.blend == 0 ? s : OverByHand(s, d);
      }
    }
    out.push_back(canvas);
    if (f.dispose == 2) canvas = before;  // the first frame's "before" is the empty canvas
    for (int32_t y = 0; f.dispose == 1 && y < f.height; ++y)
      for (int32_t x = 0; x < f.width; ++x) canvas[static_cast<size_t>((f.top + y) * width + f.left + x)] = 0;
  }
  return out;
}

Canvas Pixels(const AnimationFrames& frames) {
  return {frames.Pixels(), frames.Pixels() + static_cast<size_t>(frames.Width() * frames.Height())};
}

// 6 x 5: a ground half see-through red, opaque blue and one clear corner (kept); a half green
// square blended over it, cleared after; a faint white bar blended, restored to previous; a
// yellow bar replacing what is there, partly clear.
std::vector<ApngFrameSpec> EveryOperation() {
  return {
      {0, 0, 6, 5, 50, 1000, 0, 0, [](int32_t x, int32_t y) { return x + y == 0 ? 0u : x < 3 ? 0x80FF0000u : 0xFF0000FFu; }},
      {1, 1, 3, 2, 0, 0, 1, 1, [](int32_t x, int32_t) { return x == 1 ? 0u : 0x8000FF00u; }},
      {3, 2, 2, 3, 3, 100, 2, 1, [](int32_t, int32_t y) { return y == 0 ? 0xFFFFFFFFu : 0x40FFFFFFu; }},
      {2, 3, 4, 2, 7, 0, 0, 0, [](int32_t x, int32_t) { return x == 0 ? 0u : 0x20FFFF00u; }},
  };
}

uint32_t Same(uint32_t argb) { return argb; }

TEST(ApngFrames, EveryDisposeAndBlendComposesAsDefined) {
  const std::vector<ApngFrameSpec> specs = EveryOperation();
  const std::vector<uint8_t> file = EncodeApng(6, 5, specs, {3});
  const std::vector<Canvas> expected = ComposeByHand(6, 5, specs, Same);
  ASSERT_TRUE(IsAnimation(file.data(), file.size())) << "expected an animation, got a still";
  EXPECT_FALSE(ApngHidesDefaultImage(file.data(), file.size()));
  const std::unique_ptr<AnimationFrames> frames = OpenAnimationFrames(file.data(), file.size());
  ASSERT_NE(frames, nullptr);
  EXPECT_EQ(frames->Plays(), 3);
  const int32_t delays[] = {50, 100, 30, 70};  // 0/0 s is under the shortest delay honoured
  for (size_t i = 0; i < specs.size(); ++i) {
    ASSERT_TRUE(frames->Next()) << "expected frame " << i << ", got the end";
    EXPECT_EQ(frames->DelayMs(), delays[i]) << "frame " << i;
    EXPECT_EQ(Pixels(*frames), expected[i]) << "frame " << i;
  }
  // Half green over half red, worked out by hand: alpha 191.75, red 84.78, green 170.22.
  EXPECT_EQ(expected[1][1 * 6 + 1], 0xC055AA00u) << "partial over partial";
  EXPECT_EQ(expected[3][3 * 6 + 4], 0x20FFFF00u) << "source replaces";
  EXPECT_FALSE(frames->Next());
  ASSERT_TRUE(frames->Rewind());
  ASSERT_TRUE(frames->Next());
  EXPECT_EQ(Pixels(*frames), expected[0]) << "a second play starts with the first frame on an empty canvas";
}

TEST(ApngFrames, HiddenDefaultImagePaletteAndFirstFrameRestoredToPrevious) {
  // The default image is no frame; the first frame (previous on the first frame: cleared) is a
  // palette square, the second a full frame blended over the empty canvas.
  const std::vector<uint32_t> palette = {0xFF808080u, 0x80FF0000u, 0x00000000u, 0xC00000FFu};
  const std::vector<ApngFrameSpec> specs = {
      {1, 1, 2, 2, 1, 5, 2, 1, [](int32_t x, int32_t) { return x == 0 ? 1u : 3u; }},
      {0, 0, 4, 3, 1, 5, 0, 1, [](int32_t x, int32_t y) { return x == 1 && y == 1 ? 3u : 2u; }},
  };
  ApngOptions options;
  options.palette = palette;
  options.hiddenDefault = [](int32_t, int32_t) { return 0u; };
  const std::vector<uint8_t> file = EncodeApng(4, 3, specs, options);
  EXPECT_TRUE(ApngHidesDefaultImage(file.data(), file.size()));
  const std::vector<Canvas> expected = ComposeByHand(4, 3, specs, [&](uint32_t i) { return palette[i]; });
  ApngFrames frames;
  ASSERT_TRUE(frames.Open(file.data(), file.size()));
  for (const Canvas& canvas : expected) {
    ASSERT_TRUE(frames.Next()) << "expected a frame, got the end (broken: " << frames.Broken() << ")";
    EXPECT_EQ(Pixels(frames), canvas) << "frame " << frames.FrameIndex();
  }
  EXPECT_EQ(expected[1][1 * 4 + 2], 0u) << "the first frame's square is gone";
  EXPECT_EQ(frames.Plays(), 0);
  EXPECT_FALSE(frames.Next());
  EXPECT_FALSE(frames.Broken());
}

TEST(ApngFrames, HostileFilesEndQuietly) {
  auto fill = [](int32_t, int32_t) { return 0xFF00FF00u; };
  // A frame reaching past the canvas: the play ends after the frame before it, as broken.
  const std::vector<uint8_t> outside = EncodeApng(6, 5, {{0, 0, 6, 5, 1, 10, 0, 0, fill}, {5, 4, 2, 1, 1, 10, 0, 0, fill}}, {});
  ApngFrames bounded;
  ASSERT_TRUE(bounded.Open(outside.data(), outside.size()));
  ASSERT_TRUE(bounded.Next());
  EXPECT_FALSE(bounded.Next());
  EXPECT_TRUE(bounded.Broken()) << "expected a broken frame, got a clean end";

  // A million frames declared, two present: nothing costs until composed; two frames, then the end.
  const std::vector<uint8_t> many = EncodeApng(6, 5, EveryOperation(), {0, 1000000});
  ApngFrames frames;
  ASSERT_TRUE(frames.Open(many.data(), many.size()));
  int32_t composed = 0;
  while (frames.Next()) ++composed;
  EXPECT_EQ(composed, 4) << "expected the frames the file holds";
  EXPECT_FALSE(frames.Broken());

  // One frame declared: a still, and only that frame plays. A canvas above the limit is refused.
  ApngOptions one{0, 1};
  const std::vector<uint8_t> single = EncodeApng(6, 5, EveryOperation(), one);
  EXPECT_FALSE(IsAnimation(single.data(), single.size()));
  ASSERT_TRUE(frames.Open(single.data(), single.size()));
  EXPECT_TRUE(frames.Next() && !frames.Next()) << "expected one frame";
  EXPECT_FALSE(frames.Open(many.data(), many.size(), 29)) << "30 pixels over a limit of 29";

  // Cut anywhere, a file never composes more than it holds nor reads past its end.
  for (size_t cut = 0; cut < many.size(); ++cut) {
    ApngFrames partial;
    int32_t n = 0;
    if (partial.Open(many.data(), cut)) {
      while (partial.Next()) ++n;
    }
    ASSERT_LE(n, 4) << "cut at " << cut;
  }
}

}  // namespace
