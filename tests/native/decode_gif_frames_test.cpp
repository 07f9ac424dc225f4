// The GIF frame composer against frames the test composes itself from the same frame list, and
// against pixels worked out by hand, for the cases browsers agree on: disposal to transparent and
// to the previous canvas, transparent indices, local tables, interlaced rows and rectangles
// reaching past the canvas; and hostile files that must end quietly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "decode/gif/gif_frames.h"
#include "support/test_gif.h"

namespace {

constexpr uint32_t kRed = 0xFF0000, kGreen = 0x00FF00, kBlue = 0x0000FF, kWhite = 0xFFFFFF, kBlack = 0;
constexpr uint32_t kYellow = 0xFFFF00;
const std::vector<uint32_t> kPalette = {kRed, kGreen, kBlue, kWhite, kBlack};

uint32_t Opaque(uint32_t rgb) { return 0xFF000000u | rgb; }

// The canvas after each frame, replayed the plain way: every frame from a canvas kept whole,
// "previous" kept as a full copy made before the frame.
std::vector<std::vector<uint32_t>> ExpectedFrames(int32_t width, int32_t height, const std::vector<uint32_t>& global,
                                                  const std::vector<GifFrameSpec>& frames) {
  std::vector<std::vector<uint32_t>> out;
  std::vector<uint32_t> canvas(static_cast<size_t>(width * height), 0);
  const GifFrameSpec* last = nullptr;
  std::vector<uint32_t> before;
  for (const GifFrameSpec& f : frames) {
    if (last != nullptr && last->disposal == 2) {
      for (int32_t y = last->top; y < last->top + last->height; ++y) {
        for (int32_t x = last->left; x < last->left + last->width; ++x) {
          if (x < width && y < height) canvas[static_cast<size_t>(y * width + x)] = 0;
        }
      }
    } else if (last != nullptr && last->disposal == 3) {
      canvas = before;
    }
    before = canvas;
    const std::vector<uint32_t>& colours = f.palette.empty() ? global : f.palette;
    for (int32_t y = 0; y < f.height; ++y) {
      for (int32_t x = 0; x < f.width; ++x) {
        const uint8_t i = f.index(x, y);
        const int32_t cx = f.left + x, cy = f.top + y;
        if (i == f.transparent || cx >= width || cy >= height) continue;
        canvas[static_cast<size_t>(cy * width + cx)] = Opaque(i < colours.size() ? colours[i] : 0);
      }
    }
    out.push_back(canvas);
    last = &f;
  }
  return out;
}

std::vector<uint32_t> Canvas(const GifFrames& frames) {
  return {frames.Pixels(), frames.Pixels() + static_cast<size_t>(frames.Width()) * static_cast<size_t>(frames.Height())};
}

uint32_t At(const GifFrames& frames, int32_t x, int32_t y) {
  return frames.Pixels()[static_cast<size_t>(y) * static_cast<size_t>(frames.Width()) + static_cast<size_t>(x)];
}

// 8 x 6: a red ground kept; a green square with a transparent hole, then restored to transparent;
// an interlaced square of a local yellow past the right and bottom edges, restored to the
// previous canvas; a black corner.
std::vector<GifFrameSpec> DisposalFrames() {
  std::vector<uint32_t> local = {kBlack, kWhite, kYellow};
  return {
      {0, 0, 8, 6, 1, 5, -1, false, {}, [](int32_t, int32_t) { return uint8_t{0}; }},
      {2, 1, 3, 3, 2, 0, 3, false, {}, [](int32_t x, int32_t y) { return uint8_t(x == 1 && y == 1 ? 3 : 1); }},
      {5, 3, 6, 5, 3, 1, -1, true, local, [](int32_t, int32_t) { return uint8_t{2}; }},
      {0, 0, 1, 1, 0, 7, -1, false, {}, [](int32_t, int32_t) { return uint8_t{4}; }},
  };
}

TEST(GifFrames, DisposalTransparencyAndClippingComposeAsDefined) {
  const std::vector<GifFrameSpec> specs = DisposalFrames();
  const std::vector<uint8_t> file = EncodeAnimatedGif(8, 6, kPalette, specs, 0);
  const auto expected = ExpectedFrames(8, 6, kPalette, specs);
  GifFrames frames;
  ASSERT_TRUE(frames.Open(file.data(), file.size()));
  EXPECT_EQ(frames.Width(), 8);
  EXPECT_EQ(frames.Height(), 6);
  const int32_t delays[] = {50, 100, 100, 70};
  for (size_t i = 0; i < specs.size(); ++i) {
    ASSERT_TRUE(frames.Next()) << "frame " << i;
    EXPECT_EQ(frames.FrameIndex(), static_cast<int32_t>(i));
    EXPECT_EQ(frames.DelayMs(), delays[i]) << "frame " << i;
    EXPECT_EQ(Canvas(frames), expected[i]) << "frame " << i;
    if (i == 1) {
      EXPECT_EQ(At(frames, 2, 1), Opaque(kGreen));
      EXPECT_EQ(At(frames, 3, 2), Opaque(kRed)) << "the transparent index shows what was under it";
    } else if (i == 2) {
      EXPECT_EQ(At(frames, 3, 2), 0u) << "disposal 2 leaves the rectangle transparent";
      EXPECT_EQ(At(frames, 4, 3), 0u);
      EXPECT_EQ(At(frames, 7, 5), Opaque(kYellow)) << "the local table, clipped at the corner";
      EXPECT_EQ(At(frames, 0, 4), Opaque(kRed)) << "a clipped row never wraps onto the next";
      EXPECT_EQ(At(frames, 4, 5), Opaque(kRed));
    } else if (i == 3) {
      EXPECT_EQ(At(frames, 6, 4), Opaque(kRed)) << "disposal 3 restores the canvas before the frame";
      EXPECT_EQ(At(frames, 3, 2), 0u) << "...which had the transparent hole of disposal 2";
      EXPECT_EQ(At(frames, 0, 0), Opaque(kBlack));
    }
  }
  EXPECT_FALSE(frames.Next());
  EXPECT_FALSE(frames.Broken());
  EXPECT_EQ(frames.LoopCount(), 0);

  // A second play starts from an empty canvas, whatever the last frame left.
  ASSERT_TRUE(frames.Rewind());
  ASSERT_TRUE(frames.Next());
  EXPECT_EQ(frames.FrameIndex(), 0);
  EXPECT_EQ(Canvas(frames), expected[0]);
}

TEST(GifFrames, RestoreToPreviousOnTheFirstFrameAndInterlacedRowsInPlace) {
  // A first frame restored to "previous" goes back to the empty canvas; an interlaced frame's
  // rows land where they belong (its index is its row).
  std::vector<GifFrameSpec> specs = {
      {1, 1, 3, 3, 3, 10, -1, false, {}, [](int32_t, int32_t) { return uint8_t{1}; }},
      {0, 0, 2, 9, 1, 10, 0, true, {}, [](int32_t x, int32_t y) { return uint8_t(x == 0 ? y % 4 : 0); }},
  };
  const std::vector<uint8_t> file = EncodeAnimatedGif(4, 9, kPalette, specs, -1);
  const auto expected = ExpectedFrames(4, 9, kPalette, specs);
  GifFrames frames;
  ASSERT_TRUE(frames.Open(file.data(), file.size()));
  ASSERT_TRUE(frames.Next());
  EXPECT_EQ(Canvas(frames), expected[0]);
  ASSERT_TRUE(frames.Next());
  EXPECT_EQ(Canvas(frames), expected[1]);
  EXPECT_EQ(At(frames, 2, 2), 0u) << "the first frame restored to the empty canvas";
  EXPECT_EQ(At(frames, 0, 5), Opaque(kGreen));
  EXPECT_EQ(At(frames, 0, 6), Opaque(kBlue));
  EXPECT_EQ(At(frames, 0, 4), 0u) << "index 0 is transparent in this frame";
  EXPECT_EQ(frames.LoopCount(), -1);
  EXPECT_FALSE(frames.Next());
}

TEST(GifFrames, DelaysAndLoopsFollowBrowsers) {
  EXPECT_EQ(GifDelayMs(0), 100);
  EXPECT_EQ(GifDelayMs(1), 100);
  EXPECT_EQ(GifDelayMs(2), 20);
  EXPECT_EQ(GifDelayMs(25), 250);
  EXPECT_EQ(GifPlays(-1), 1);
  EXPECT_EQ(GifPlays(0), 0);
  EXPECT_EQ(GifPlays(2), 3);
}

TEST(GifFrames, OnlyFilesOfMoreThanOneFrameAreAnimations) {
  const std::vector<uint8_t> still = EncodeGif(5, 5, kPalette, [](int32_t, int32_t) { return uint8_t{1}; });
  EXPECT_EQ(CountGifFrames(still.data(), still.size(), 10), 1);
  EXPECT_FALSE(IsAnimatedGif(still.data(), still.size()));
  const std::vector<uint8_t> moving = EncodeAnimatedGif(8, 6, kPalette, DisposalFrames(), 0);
  EXPECT_EQ(CountGifFrames(moving.data(), moving.size(), 10), 4);
  EXPECT_TRUE(IsAnimatedGif(moving.data(), moving.size()));
  const uint8_t junk[] = {'G', 'I', 'F', '8', '9', 'a', 1};
  EXPECT_FALSE(IsAnimatedGif(junk, sizeof junk));
}

TEST(GifFrames, HostileFilesEndQuietly) {
  auto fill = [](int32_t, int32_t) { return uint8_t{2}; };
  // Frames entirely outside the canvas change nothing; thousands of frames of zero delay play at
  // the browsers' pace.
  std::vector<GifFrameSpec> specs(5000, GifFrameSpec{300, 200, 4, 4, 2, 0, -1, false, {}, fill});
  specs[0] = {0, 0, 3, 3, 1, 0, -1, false, {}, fill};
  const std::vector<uint8_t> many = EncodeAnimatedGif(3, 3, kPalette, specs, 0);
  GifFrames frames;
  ASSERT_TRUE(frames.Open(many.data(), many.size()));
  int32_t composed = 0;
  while (frames.Next()) {
    ++composed;
    ASSERT_EQ(frames.DelayMs(), 100);
    ASSERT_EQ(At(frames, 2, 2), Opaque(kBlue));
  }
  EXPECT_EQ(composed, 5000);
  EXPECT_FALSE(frames.Broken());

  // A canvas beyond the decode limit is refused before anything is allocated.
  const std::vector<uint8_t> vast = EncodeAnimatedGif(65535, 65535, kPalette, {specs[0], specs[0]}, 0);
  GifFrames refused;
  EXPECT_FALSE(refused.Open(vast.data(), vast.size()));

  // A frame declared 65535 pixels square over a small canvas, in a few bytes: broken, at once.
  std::vector<uint8_t> huge = EncodeAnimatedGif(16, 16, kPalette, {specs[0], specs[0]}, 0);
  size_t descriptor = huge.size() - 1;
  while (descriptor > 0 && huge[descriptor] != 0x2C) --descriptor;  // the last frame's (no 0x2C in its data)
  ASSERT_EQ(huge[descriptor - 1], 0) << "right after the graphic control";
  for (size_t at : {descriptor + 5, descriptor + 6, descriptor + 7, descriptor + 8}) huge[at] = 0xFF;
  huge[descriptor + 9] = 0x40;  // interlaced: every row would have to be decoded
  GifFrames bounded;
  ASSERT_TRUE(bounded.Open(huge.data(), huge.size()));
  ASSERT_TRUE(bounded.Next());
  EXPECT_FALSE(bounded.Next());
  EXPECT_TRUE(bounded.Broken());

  // Cut anywhere, a file never composes more than it holds nor reads past its end.
  for (size_t cut = 0; cut < many.size() && cut < 400; ++cut) {
    GifFrames partial;
    if (!partial.Open(many.data(), cut)) continue;
    while (partial.Next()) {
    }
  }
}

}  // namespace
