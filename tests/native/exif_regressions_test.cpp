// Replays the fuzzer's seeds and every input that ever produced a fuzz finding.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "exif_builder.h"

namespace {

namespace fs = std::filesystem;

Bytes LoadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What the fuzzer checks after each input, here with readable failures.
void ExpectSoundRecord(const ReadOutcome& r, const std::string& name) {
  EXPECT_GE(r.record.exifOrientation, 0) << name;
  EXPECT_LE(r.record.exifOrientation, 8) << name;
  EXPECT_LE(r.segmentsHeld, kMaxJpegSegments) << name;
  EXPECT_NE(std::memchr(r.record.commentText, 0, sizeof r.record.commentText), nullptr) << name;
  EXPECT_NE(std::memchr(r.record.make, 0, sizeof r.record.make), nullptr) << name;
  EXPECT_NE(std::memchr(r.record.model, 0, sizeof r.record.model), nullptr) << name;
}

// Every file of a folder of fuzz inputs (text notes skipped), read through the reader.
std::map<std::string, ReadOutcome> ReplayFolder(const char* folder) {
  std::map<std::string, ReadOutcome> outcomes;
  fs::path dir = fs::path(VISTREL_SOURCE_DIR) / "fuzz" / folder;
  if (!fs::is_directory(dir)) return outcomes;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (!entry.is_regular_file() || entry.path().extension() == ".txt") continue;
    std::string name = entry.path().filename().string();
    outcomes[name] = ReadBytes(LoadFile(entry.path()));
    ExpectSoundRecord(outcomes[name], name);
  }
  return outcomes;
}

TEST(ExifRegressions, SeedsAndFindingsReplay) {
  // Each finding only has to pass through without a sanitizer report or a broken invariant.
  std::map<std::string, ReadOutcome> findings = ReplayFolder("regressions/exif");
  std::printf("%zu fuzz findings replayed\n", findings.size());

  std::map<std::string, ReadOutcome> seeds = ReplayFolder("corpus/exif");
  ASSERT_GE(seeds.size(), 8u) << "fuzz/corpus/exif is incomplete: run fuzz/make_corpus.py";
  for (const char* name : {"camera-ii.jpg", "camera-mm.jpg"}) {
    const ReadOutcome& r = seeds[name];
    EXPECT_TRUE(r.walkResult) << name;
    EXPECT_EQ(r.record.exifFound, 1) << name;
    EXPECT_EQ(r.record.exifOrientation, 8) << name << ": IFD1's orientation is walked last";
    EXPECT_STREQ(r.record.make, "Maker") << name;
    EXPECT_EQ(r.record.isoSpeed, 200) << name;
    EXPECT_STREQ(r.record.commentText, "comment") << name;
    EXPECT_EQ(r.record.thumbnailLength, 16) << name;
  }
  EXPECT_EQ(seeds["orientation-gap.jpg"].record.exifOrientation, 3);
  EXPECT_EQ(seeds["padding.jpg"].record.exifOrientation, 3);
  EXPECT_EQ(seeds["odd-formats.jpg"].record.exifOrientation, 5);
  // The first COM comes before the EXIF block, which empties it; the later COM is dropped.
  EXPECT_STREQ(seeds["comments.jpg"].record.commentText, "");
  EXPECT_EQ(seeds["no-exif.jpg"].record.exifFound, 0);
  EXPECT_EQ(seeds["end-of-image.jpg"].output, "No image in jpeg!\n");
}

}  // namespace
