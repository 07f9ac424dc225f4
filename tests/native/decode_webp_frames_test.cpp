// Animated WebP: three frames written here as PNGs (transparency, half alpha, a change small
// enough that the encoder stores a frame smaller than the canvas), made into an animation by
// Debian's img2webp, composed back exactly with their delays and loop count; the cheap animation
// test; and hostile files (zero and huge delays, thousands of frames, a frame outside the canvas,
// a vast canvas) that play or fail quietly.
#include <gtest/gtest.h>
#include <webp/demux.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "decode/animation_frames.h"
#include "decode/webp/webp_format.h"
#include "decode/webp/webp_frames.h"
#include "support/raw_pictures.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kW = 24, kH = 16;

// The three frames as 0xAARRGGBB: red on the left, clear on the right with a half-clear blue
// band; then a small green square; then all clear but a yellow column.
uint32_t FramePixel(int frame, int32_t x, int32_t y) {
  if (frame == 2) return x == 20 ? 0xFFFFFF00u : 0;
  if (frame == 1 && x >= 2 && x < 8 && y >= 3 && y < 7) return 0xFF00FF00u;
  if (x < 12) return 0xFFFF0000u;
  return y < 4 ? 0x800000FFu : 0;
}

Bytes ReadAll(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

// img2webp over the three frames (lossless), each with its duration; empty when it failed.
Bytes MakeAnimation(const int (&durations)[3], int loops) {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vistrel-webp-frames-test";
  std::filesystem::create_directories(folder);
  RawPng png;
  png.width = kW, png.height = kH, png.colourType = 6;
  std::string command = "img2webp -loop " + std::to_string(loops);
  for (int f = 0; f < 3; ++f) {
    const std::string name = (folder / ("f" + std::to_string(f) + ".png")).string();
    const Bytes bytes = MakeRawPng(png, [f](int32_t x, int32_t y, int c) {
      const uint32_t p = FramePixel(f, x, y);
      return c == 3 ? p >> 24 : (p >> (16 - 8 * c)) & 0xFF;
    });
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    command += " -lossless -d " + std::to_string(durations[f]) + " '" + name + "'";
  }
  const std::filesystem::path out = folder / "out.webp";
  std::filesystem::remove(out);
  if (std::system((command + " -o '" + out.string() + "' >/dev/null 2>&1").c_str()) != 0) return {};
  return ReadAll(out);
}

// Offsets of the top-level chunks after "WEBP" with the given tag.
std::vector<size_t> Chunks(const Bytes& file, const char* tag) {
  std::vector<size_t> at;
  for (size_t i = 12; i + 8 <= file.size();) {
    const size_t bytes = file[i + 4] | file[i + 5] << 8 | file[i + 6] << 16 | size_t{file[i + 7]} << 24;
    if (std::equal(tag, tag + 4, file.begin() + static_cast<ptrdiff_t>(i))) at.push_back(i);
    i += (8 + bytes + 1) & ~size_t{1};
  }
  return at;
}

void SetLe(Bytes& file, size_t at, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}
void FixRiffLength(Bytes& file) { SetLe(file, 4, static_cast<uint32_t>(file.size() - 8), 4); }

// Differences from the expected frame: every pixel's alpha, and the colour wherever it shows.
int WrongPixels(const AnimationFrames& frames, int frame) {
  int wrong = 0;
  for (int32_t y = 0; y < kH; ++y) {
    for (int32_t x = 0; x < kW; ++x) {
      const uint32_t got = frames.Pixels()[y * kW + x], want = FramePixel(frame, x, y);
      const bool same = (want >> 24) == 0 ? (got >> 24) == 0 : got == want;
      if (!same && wrong++ < 3)
        ADD_FAILURE() << "frame " << frame << " (" << x << ", " << y << "): expected " << std::hex << want << ", got " << got;
    }
  }
  return wrong;
}

class WebpFramesTest : public testing::Test {
 protected:
  void SetUp() override {
    if (std::system("command -v img2webp >/dev/null 2>&1") != 0) GTEST_SKIP() << "img2webp (Debian's webp) is not installed";
    file_ = MakeAnimation({80, 10, 300}, 3);
    ASSERT_FALSE(file_.empty()) << "img2webp failed";
  }
  Bytes file_;
};

TEST_F(WebpFramesTest, ComposedExactlyWithDelaysLoopsAndASecondPlay) {
  // The encoder stored at least one frame smaller than the canvas, so composing is really tested.
  WebPData data{file_.data(), file_.size()};
  WebPDemuxer* demux = WebPDemux(&data);
  ASSERT_NE(demux, nullptr);
  WebPIterator it;
  bool partial = false;
  for (int ok = WebPDemuxGetFrame(demux, 1, &it); ok; ok = WebPDemuxNextFrame(&it)) {
    partial = partial || it.width < kW || it.height < kH;
  }
  WebPDemuxReleaseIterator(&it);
  WebPDemuxDelete(demux);
  EXPECT_TRUE(partial) << "expected a frame smaller than the canvas";

  ASSERT_TRUE(IsAnimation(file_.data(), file_.size())) << "expected three frames to be an animation";
  const auto frames = OpenAnimationFrames(file_.data(), file_.size());
  ASSERT_NE(frames, nullptr);
  ASSERT_TRUE(frames->Width() == kW && frames->Height() == kH)
      << "expected " << kW << " x " << kH << ", got " << frames->Width() << " x " << frames->Height();
  const int32_t delays[3] = {80, 100, 300};  // 10 ms plays as 100
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(frames->Next()) << "frame " << f;
    EXPECT_EQ(WrongPixels(*frames, f), 0);
    EXPECT_EQ(frames->DelayMs(), delays[f]) << "frame " << f << ": expected " << delays[f] << " ms, got " << frames->DelayMs();
  }
  EXPECT_FALSE(frames->Next()) << "expected the play to end after three frames";
  EXPECT_EQ(frames->Plays(), 3) << "expected ANIM's loop count as the plays";
  EXPECT_TRUE(frames->Profile().empty());
  ASSERT_TRUE(frames->Rewind());
  ASSERT_TRUE(frames->Next());
  EXPECT_EQ(WrongPixels(*frames, 0), 0) << "expected the second play to start from a clear canvas";
  EXPECT_EQ(frames->DelayMs(), 80);
}

TEST_F(WebpFramesTest, OnlyTwoOrMoreFramesAreAnAnimation) {
  const std::vector<size_t> anmf = Chunks(file_, "ANMF");
  ASSERT_EQ(anmf.size(), 3u);
  EXPECT_EQ(CountWebpFrames(file_.data(), file_.size(), 10), 3);
  EXPECT_EQ(CountWebpFrames(file_.data(), file_.size(), 2), 2) << "expected the count to stop at `most`";
  const Bytes one(file_.begin(), file_.begin() + static_cast<ptrdiff_t>(anmf[1]));  // RIFF length left as it was
  EXPECT_EQ(CountWebpFrames(one.data(), one.size(), 10), 1);
  EXPECT_FALSE(IsAnimation(one.data(), one.size())) << "expected one frame to be no animation";
  Bytes unflagged = file_;
  unflagged[20] &= ~0x02;  // VP8X's animation flag
  EXPECT_EQ(CountWebpFrames(unflagged.data(), unflagged.size(), 10), 0);
}

TEST_F(WebpFramesTest, HostileFilesPlayOrFailQuietly) {
  const std::vector<size_t> anmf = Chunks(file_, "ANMF");
  ASSERT_EQ(anmf.size(), 3u);
  // Thousands of frames of zero delay (the second frame again and again): all composed, each at
  // the browsers' pace, and a second play still starts clear.
  Bytes many(file_.begin(), file_.begin() + static_cast<ptrdiff_t>(anmf[2]));
  const Bytes second(file_.begin() + static_cast<ptrdiff_t>(anmf[1]), file_.begin() + static_cast<ptrdiff_t>(anmf[2]));
  for (int i = 0; i < 20000; ++i) many.insert(many.end(), second.begin(), second.end());
  FixRiffLength(many);
  for (size_t at : Chunks(many, "ANMF")) SetLe(many, at + 8 + 12, 0, 3);
  WebpFrames frames;
  ASSERT_TRUE(frames.Open(many.data(), many.size()));
  int32_t composed = 0;
  while (frames.Next()) {
    ++composed;
    ASSERT_EQ(frames.DelayMs(), 100) << "frame " << composed;
  }
  EXPECT_EQ(composed, 20002) << "expected every frame composed";
  ASSERT_TRUE(frames.Rewind() && frames.Next());
  EXPECT_EQ(WrongPixels(frames, 0), 0);

  // The longest durations: the play ends before libwebp's own clock would pass 2^31 ms.
  for (size_t at : Chunks(many, "ANMF")) SetLe(many, at + 8 + 12, 0xFFFFFF, 3);
  WebpFrames slow;
  ASSERT_TRUE(slow.Open(many.data(), many.size()));
  composed = 0;
  while (slow.Next()) ++composed;
  EXPECT_EQ(composed, 128) << "expected 128 frames of 16777215 ms, got " << composed;

  // A frame reaching past the canvas: refused whole by the demuxer.
  Bytes outside = file_;
  SetLe(outside, anmf[1] + 8, 20 / 2, 3);  // x offset 20 (stored halved) for a frame wider than 4
  WebpFrames refused;
  EXPECT_FALSE(refused.Open(outside.data(), outside.size())) << "expected a frame outside the canvas to fail";

  // A canvas above the decode limit: refused by our reader before libwebp allocates it.
  Bytes vast = file_;
  SetLe(vast, 24, 59999, 3);
  SetLe(vast, 27, 59999, 3);
  WebpFrames tooLarge;
  EXPECT_FALSE(tooLarge.Open(vast.data(), vast.size()));
  EXPECT_EQ(OpenAnimationFrames(vast.data(), vast.size()), nullptr);

  // Cut anywhere: never composes more than it holds nor reads past its end.
  for (size_t cut = 0; cut < file_.size(); cut += 7) {
    WebpFrames partial;
    if (!partial.Open(file_.data(), cut)) continue;
    while (partial.Next()) {
    }
  }
}

}  // namespace
