// Animated JPEG XL: an animated GIF written here (clear pixels, frames smaller than the canvas)
// made lossless JPEG XL by Debian's cjxl, whose frames libjxl must compose exactly as our GIF
// composer composes the GIF, with its delays; a still and a vast header are no animation.
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
#include "support/test_gif.h"
#include "support/test_jxl.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Cjxl(const Bytes& gif) {
  const std::string in = (std::filesystem::temp_directory_path() / "vistrel-jxl-frames.gif").string(), out = in + ".jxl";
  std::ofstream(in, std::ios::binary).write(reinterpret_cast<const char*>(gif.data()), static_cast<std::streamsize>(gif.size()));
  if (std::system(("cjxl '" + in + "' '" + out + "' -d 0 >/dev/null 2>&1").c_str()) != 0) return {};
  std::ifstream file(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

TEST(JxlFrames, ComposedAsTheGifWithItsDelaysAndASecondPlay) {
  if (std::system("command -v cjxl >/dev/null 2>&1") != 0) GTEST_SKIP() << "cjxl (Debian's libjxl-tools) is not installed";
  // Red left and clear right (index 4 is transparent); a green block; a blue column with a clear
  // top. Each kept (disposal 1); 80, 10 and 300 ms.
  const Bytes gif = EncodeAnimatedGif(20, 12, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0}, {
      {0, 0, 20, 12, 1, 8, 4, false, {}, [](int32_t x, int32_t) { return uint8_t(x < 10 ? 0 : 4); }},
      {3, 2, 6, 4, 1, 1, -1, false, {}, [](int32_t, int32_t) { return uint8_t{1}; }},
      {14, 0, 4, 12, 1, 30, 4, false, {}, [](int32_t, int32_t y) { return uint8_t(y < 3 ? 4 : 2); }}}, -1);
  const Bytes file = Cjxl(gif);
  ASSERT_TRUE(IsAnimation(file.data(), file.size())) << "expected cjxl's three frames to be an animation";
  const auto frames = OpenAnimationFrames(file.data(), file.size());
  GifFrames want;
  ASSERT_TRUE(frames != nullptr && want.Open(gif.data(), gif.size()) && frames->Width() == 20 && frames->Height() == 12);
  for (int f = 0; f < 4; ++f) {
    if (f == 3) {
      ASSERT_TRUE(frames->Rewind() && want.Rewind()) << "a second play";
    }
    ASSERT_TRUE(frames->Next() && want.Next()) << "frame " << f;
    int wrong = 0;
    for (int32_t i = 0; i < 20 * 12; ++i) {
      const uint32_t g = frames->Pixels()[i], w = want.Pixels()[i];
      if (((w >> 24) == 0 ? (g >> 24) == 0 : g == w) || wrong++ >= 3) continue;
      ADD_FAILURE() << "frame " << f << " pixel " << i << ": expected " << std::hex << w << ", got " << g;
    }
    EXPECT_EQ(wrong, 0);
    const int32_t delay = f % 3 == 0 ? 80 : f == 1 ? 100 : 300;  // 10 ms plays as 100
    EXPECT_EQ(frames->DelayMs(), delay) << "frame " << f << ": expected " << delay << " ms, got " << frames->DelayMs();
    if (f == 2) {
      EXPECT_FALSE(frames->Next()) << "expected the play to end after three frames";
    }
  }
  EXPECT_EQ(frames->Plays(), 0) << "cjxl writes no loop count: expected for ever";
  EXPECT_EQ(JxlDurationMs(3, 30000, 1001), 100);
  EXPECT_EQ(JxlDurationMs(0xFFFFFFFFu, 1, 0xFFFFFFFFu), INT32_MAX) << "expected a clamp";

  const Bytes still = Cjxl(EncodeGif(5, 5, {0xFF0000, 0x0000FF}, [](int32_t, int32_t) { return uint8_t{0}; }));
  EXPECT_FALSE(still.empty() || IsAnimation(still.data(), still.size())) << "expected a still to be no animation";
  const Bytes vast = MakeJxlCodestreamHeader({1u << 30, 1u << 30, 1, true, true});
  EXPECT_EQ(OpenAnimationFrames(vast.data(), vast.size()), nullptr) << "expected the decode limit to refuse 2^30 x 2^30";
}

}  // namespace
