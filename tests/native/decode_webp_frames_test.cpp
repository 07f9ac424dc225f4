// Animated WebP: three frames written here as PNGs (clear and half-clear pixels, a change small
// enough to be stored as a frame smaller than the canvas) made into an animation by Debian's
// img2webp, composed back exactly with their delays and loops; one frame is no animation; hostile
// files (thousands of frames, zero and huge delays, a frame outside the canvas, a vast canvas).
#include <gtest/gtest.h>
#include <webp/demux.h>

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

// Red left, clear right with a half-clear blue band; then a small green square; then all clear
// but a yellow column. 0xAARRGGBB.
uint32_t FramePixel(int frame, int32_t x, int32_t y) {
  if (frame == 2) return x == 20 ? 0xFFFFFF00u : 0;
  if (frame == 1 && x >= 2 && x < 8 && y >= 3 && y < 7) return 0xFF00FF00u;
  return x < 12 ? 0xFFFF0000u : y < 4 ? 0x800000FFu : 0;
}

Bytes Img2webp() {
  const std::filesystem::path folder = std::filesystem::temp_directory_path() / "vistrel-webp-frames-test";
  std::filesystem::create_directories(folder);
  RawPng png;
  png.width = kW, png.height = kH, png.colourType = 6;
  std::string command = "img2webp -loop 3";
  for (int f = 0; f < 3; ++f) {
    const std::string name = (folder / ("f" + std::to_string(f) + ".png")).string();
    const Bytes bytes = MakeRawPng(png, [f](int32_t x, int32_t y, int c) { return FramePixel(f, x, y) >> (c == 3 ? 24 : 16 - 8 * c) & 0xFF; });
    std::ofstream(name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    command += " -lossless -d " + std::string(f == 0 ? "80" : f == 1 ? "10" : "300") + " '" + name + "'";
  }
  const std::string out = (folder / "out.webp").string();
  if (std::system((command + " -o '" + out + "' >/dev/null 2>&1").c_str()) != 0) return {};  // Frames() finds none
  std::ifstream file(out, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

std::vector<size_t> Frames(const Bytes& file) {  // the ANMF chunks' offsets
  std::vector<size_t> at;
  for (size_t i = 12; i + 8 <= file.size(); i += (8 + (file[i + 4] | file[i + 5] << 8 | file[i + 6] << 16) + 1) & ~1) {
    if (Bytes(file.begin() + static_cast<ptrdiff_t>(i), file.begin() + static_cast<ptrdiff_t>(i) + 4) == Bytes{'A', 'N', 'M', 'F'}) at.push_back(i);
  }
  return at;
}
void Set24(Bytes& file, size_t at, uint32_t value) {
  for (int i = 0; i < 3; ++i) file[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
}

// Pixels unlike the frame: alpha everywhere, colour wherever it shows.
int Wrong(const AnimationFrames& frames, int frame) {
  int wrong = 0;
  for (int32_t i = 0; i < kW * kH; ++i) {
    const uint32_t got = frames.Pixels()[i], want = FramePixel(frame, i % kW, i / kW);
    if (((want >> 24) == 0 ? (got >> 24) == 0 : got == want) || wrong++ >= 3) continue;
    ADD_FAILURE() << "frame " << frame << " (" << i % kW << ", " << i / kW << "): expected " << std::hex << want << ", got " << got;
  }
  return wrong;
}

TEST(WebpFrames, ComposedExactlyAndHostileFilesPlayOrFailQuietly) {
  if (std::system("command -v img2webp >/dev/null 2>&1") != 0) GTEST_SKIP() << "img2webp (Debian's webp) is not installed";
  const Bytes file = Img2webp();
  const std::vector<size_t> anmf = Frames(file);
  ASSERT_EQ(anmf.size(), 3u) << "expected img2webp to write three frames";
  WebPData data{file.data(), file.size()};
  WebPDemuxer* demux = WebPDemux(&data);
  WebPIterator it;
  ASSERT_TRUE(demux != nullptr && WebPDemuxGetFrame(demux, 2, &it));
  EXPECT_TRUE(it.width < kW && it.height < kH) << "expected a frame smaller than the canvas, got " << it.width << " x " << it.height;
  WebPDemuxReleaseIterator(&it);
  WebPDemuxDelete(demux);

  ASSERT_TRUE(IsAnimation(file.data(), file.size()));
  const auto frames = OpenAnimationFrames(file.data(), file.size());
  ASSERT_TRUE(frames != nullptr && frames->Width() == kW && frames->Height() == kH);
  for (int f = 0; f < 3; ++f) {
    ASSERT_TRUE(frames->Next()) << "frame " << f;
    EXPECT_EQ(Wrong(*frames, f), 0);
    const int32_t delay = f == 0 ? 80 : f == 1 ? 100 : 300;  // 10 ms plays as 100
    EXPECT_EQ(frames->DelayMs(), delay) << "frame " << f << ": expected " << delay << " ms, got " << frames->DelayMs();
  }
  EXPECT_FALSE(frames->Next()) << "expected the play to end after three frames";
  EXPECT_EQ(frames->Plays(), 3) << "expected ANIM's loop count as the plays";
  ASSERT_TRUE(frames->Rewind() && frames->Next());
  EXPECT_EQ(Wrong(*frames, 0), 0) << "expected a second play from a clear canvas";
  const Bytes one(file.begin(), file.begin() + static_cast<ptrdiff_t>(anmf[1]));
  EXPECT_FALSE(IsAnimation(one.data(), one.size())) << "expected one frame to be no animation";

  // 20002 frames of zero delay, all composed at the browsers' pace; at the longest delays the play
  // ends before libwebp's own clock would pass 2^31 ms (at 128 frames).
  Bytes many(file.begin(), file.begin() + static_cast<ptrdiff_t>(anmf[2]));
  for (int i = 0; i < 20000; ++i) many.insert(many.end(), file.begin() + static_cast<ptrdiff_t>(anmf[1]), file.begin() + static_cast<ptrdiff_t>(anmf[2]));
  many[4] = static_cast<uint8_t>(many.size() - 8), many[5] = static_cast<uint8_t>((many.size() - 8) >> 8), many[6] = static_cast<uint8_t>((many.size() - 8) >> 16);
  for (const uint32_t delay : {0u, 0xFFFFFFu}) {
    for (size_t at : Frames(many)) Set24(many, at + 20, delay);
    WebpFrames played;
    ASSERT_TRUE(played.Open(many.data(), many.size()));
    int32_t composed = 0;
    while (played.Next()) composed += played.DelayMs() == (delay == 0 ? 100 : 0xFFFFFF);
    EXPECT_EQ(composed, delay == 0 ? 20002 : 128) << "frames of " << delay << " ms composed";
  }
  Bytes outside = file, vast = file;
  Set24(outside, anmf[1] + 8, 10);  // x offset 20 (stored halved): past the right edge
  Set24(vast, 24, 59999), Set24(vast, 27, 59999);
  EXPECT_EQ(OpenAnimationFrames(outside.data(), outside.size()), nullptr) << "expected a frame outside the canvas to fail";
  EXPECT_EQ(OpenAnimationFrames(vast.data(), vast.size()), nullptr) << "expected the decode limit to refuse 60000 x 60000";
}

// The fuzzer's findings: a file that composes two frames is one the cheap test calls an animation.
TEST(WebpFrames, FuzzFindingsReplayed) {
  for (const auto& entry : std::filesystem::directory_iterator(VISTREL_SOURCE_DIR "/fuzz/regressions/webp_frames")) {
    std::ifstream in(entry.path(), std::ios::binary);
    const Bytes file(std::istreambuf_iterator<char>(in), {});
    WebpFrames frames;
    int composed = 0;
    while (composed < 300 && (composed > 0 || frames.Open(file.data(), file.size())) && frames.Next()) ++composed;
    EXPECT_TRUE(composed < 2 || IsAnimatedWebp(file.data(), file.size())) << entry.path() << ": " << composed << " frames, no animation";
  }
}

}  // namespace
