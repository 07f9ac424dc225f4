// Animated JPEG XL: an animated GIF written here (transparency, frames smaller than the canvas)
// made lossless JPEG XL by Debian's cjxl, whose frames libjxl must compose exactly as our GIF
// composer composes the GIF, with the GIF's delays; the cheap animation test; durations from
// ticks; and files that must fail quietly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/gif/gif_frames.h"
#include "decode/jxl/jxl_frames.h"
#include "support/raw_pictures.h"
#include "support/test_gif.h"
#include "support/test_jxl.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kW = 20, kH = 12;
const std::vector<uint32_t> kPalette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0x000000};

// cjxl over a file written here, lossless; empty when it failed.
Bytes Cjxl(const Bytes& input, const char* suffix) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vistrel-jxl-frames-test";
  std::filesystem::create_directories(folder);
  const std::string in = (folder / (std::string("in") + suffix)).string(), out = (folder / "out.jxl").string();
  std::filesystem::remove(out);
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
  if (std::system(("cjxl '" + in + "' '" + out + "' -d 0 >/dev/null 2>&1").c_str()) != 0) return {};
  std::ifstream file(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

// Red on the left and clear on the right (index 4 is transparent); a small green block; a blue
// column with a clear top. Each kept for the next (disposal 1), delays 80 ms, 10 ms, 300 ms.
Bytes AnimatedGif() {
  const std::vector<GifFrameSpec> frames = {
      {0, 0, kW, kH, 1, 8, 4, false, {}, [](int32_t x, int32_t) { return uint8_t(x < 10 ? 0 : 4); }},
      {3, 2, 6, 4, 1, 1, -1, false, {}, [](int32_t, int32_t) { return uint8_t{1}; }},
      {14, 0, 4, kH, 1, 30, 4, false, {}, [](int32_t, int32_t y) { return uint8_t(y < 3 ? 4 : 2); }},
  };
  return EncodeAnimatedGif(kW, kH, kPalette, frames, -1);
}

// Pixels that differ: the alpha everywhere, the colour wherever it shows.
int WrongPixels(const AnimationFrames& got, const GifFrames& want, int frame) {
  int wrong = 0;
  for (int32_t i = 0; i < kW * kH; ++i) {
    const uint32_t g = got.Pixels()[i], w = want.Pixels()[i];
    if (((w >> 24) == 0 ? (g >> 24) == 0 : g == w) || wrong++ >= 3) continue;
    ADD_FAILURE() << "frame " << frame << " (" << i % kW << ", " << i / kW << "): expected " << std::hex << w << ", got " << g;
  }
  return wrong;
}

class JxlFramesTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v cjxl >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjxl (Debian's libjxl-tools) is not installed";
    gif_ = AnimatedGif();
    file_ = Cjxl(gif_, ".gif");
    ASSERT_FALSE(file_.empty()) << "cjxl failed on the GIF";
  }
  Bytes gif_, file_;
};

TEST_F(JxlFramesTest, ComposedAsTheGifWithItsDelaysAndASecondPlay) {
  ASSERT_TRUE(IsAnimation(file_.data(), file_.size())) << "expected three frames to be an animation";
  const auto frames = OpenAnimationFrames(file_.data(), file_.size());
  ASSERT_NE(frames, nullptr);
  ASSERT_TRUE(frames->Width() == kW && frames->Height() == kH)
      << "expected " << kW << " x " << kH << ", got " << frames->Width() << " x " << frames->Height();
  GifFrames gif;
  ASSERT_TRUE(gif.Open(gif_.data(), gif_.size()));
  const int32_t delays[3] = {80, 100, 300};
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(frames->Next() && gif.Next()) << "frame " << f;
    EXPECT_EQ(WrongPixels(*frames, gif, f), 0);
    EXPECT_EQ(frames->DelayMs(), delays[f]) << "frame " << f << ": expected " << delays[f] << " ms, got " << frames->DelayMs();
  }
  EXPECT_FALSE(frames->Next()) << "expected the play to end after three frames";
  EXPECT_EQ(frames->Plays(), 0) << "cjxl writes no loop count: expected for ever";
  EXPECT_TRUE(frames->Profile().empty()) << "expected sRGB pixels to need no profile";
  ASSERT_TRUE(frames->Rewind() && gif.Rewind());
  ASSERT_TRUE(frames->Next() && gif.Next());
  EXPECT_EQ(WrongPixels(*frames, gif, 0), 0) << "expected the second play to start again";
}

TEST_F(JxlFramesTest, StillsCutFilesAndVastHeadersAreNoAnimation) {
  RawPng png;
  png.width = kW, png.height = kH;
  const Bytes still = Cjxl(MakeRawPng(png, [](int32_t x, int32_t y, int c) { return uint32_t(x * 9 + y * 5 + c); }), ".png");
  ASSERT_FALSE(still.empty());
  EXPECT_FALSE(IsAnimation(still.data(), still.size())) << "expected a still to be no animation";
  EXPECT_EQ(OpenAnimationFrames(still.data(), still.size()), nullptr);

  const Bytes vast = MakeJxlCodestreamHeader({1u << 30, 1u << 30, 1, true, true});
  JxlFrames refused;
  EXPECT_FALSE(refused.Open(vast.data(), vast.size())) << "expected the decode limit to refuse 2^30 x 2^30";

  // Cut anywhere: fewer frames, never a crash or a read past the end.
  for (size_t cut = 0; cut < file_.size(); cut += 3) {
    JxlFrames partial;
    if (!partial.Open(file_.data(), cut)) continue;
    int composed = 0;
    while (partial.Next()) ++composed;
    EXPECT_LE(composed, 3) << "cut at " << cut;
  }
}

TEST(JxlDuration, TicksBecomeMilliseconds) {
  EXPECT_EQ(JxlDurationMs(8, 100, 1), 80);
  EXPECT_EQ(JxlDurationMs(3, 30000, 1001), 100);  // 100.1 ms
  EXPECT_EQ(JxlDurationMs(1, 1000, 1), 1);
  EXPECT_EQ(JxlDurationMs(0xFFFFFFFFu, 1, 0xFFFFFFFFu), INT32_MAX) << "expected a clamp";
  EXPECT_EQ(JxlDurationMs(5, 0, 1), 0) << "expected no rate to give no duration";
  EXPECT_EQ(PlayedDelayMs(JxlDurationMs(1, 1000, 1)), 100);
}

}  // namespace
