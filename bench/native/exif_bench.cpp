// Times one full metadata read (open, marker walk, EXIF parse, close, release) of a
// 24-megapixel JPEG against the same read of a tiny JPEG. The reader stops at the start of
// scan, so the ratio should stay near 1 whatever the image size.
//
// The JPEGs are made at run time by ImageMagick's `convert`: 6000x4000 with noise, so the
// scan is about 20 megabytes, and 8x8 made the same way, so both have the same header
// segments. When `convert` is missing, a valid marker structure with an 8 MB scan of random
// bytes is written instead. Both get the same EXIF APP1 segment spliced in after the
// start-of-image marker.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "exif/jpeg_exif.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

// APP1 "Exif": little-endian TIFF header, IFD0 with Make "Bench" and Orientation 6.
const Bytes kExifSegment = {
    0xFF, 0xE1, 0x00, 0x34, 'E', 'x', 'i', 'f', 0, 0,
    'I', 'I', 42, 0, 8, 0, 0, 0,
    2, 0,
    0x0F, 0x01, 2, 0, 6, 0, 0, 0, 38, 0, 0, 0,
    0x12, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,
    0, 0, 0, 0,
    'B', 'e', 'n', 'c', 'h', 0};

Bytes LoadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void SaveFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

Bytes WithExif(const Bytes& jpeg) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), kExifSegment.begin(), kExifSegment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

// A marker structure of a baseline JPEG with a scan of `scanBytes` random bytes (0xFF stuffed).
Bytes SyntheticJpeg(int width, int height, size_t scanBytes) {
  Bytes out = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};
  for (int i = 1; i <= 64; ++i) out.push_back(static_cast<unsigned char>(i));
  const Bytes frame = {0xFF, 0xC0, 0x00, 0x11, 8, static_cast<unsigned char>(height >> 8),
                       static_cast<unsigned char>(height), static_cast<unsigned char>(width >> 8),
                       static_cast<unsigned char>(width), 3, 1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
  out.insert(out.end(), frame.begin(), frame.end());
  const Bytes scan = {0xFF, 0xDA, 0x00, 0x0C, 3, 1, 0, 2, 0x11, 3, 0x11, 0, 63, 0};
  out.insert(out.end(), scan.begin(), scan.end());
  std::mt19937 random(42);
  for (size_t i = 0; i < scanBytes; ++i) {
    unsigned char b = static_cast<unsigned char>(random());
    out.push_back(b);
    if (b == 0xFF) out.push_back(0);
  }
  out.push_back(0xFF), out.push_back(0xD9);
  return out;
}

// Makes the file with convert when it can; false when convert is missing or fails.
bool ConvertJpeg(const std::string& size, const std::string& image, const fs::path& out) {
  std::string command = "convert -size " + size + " " + image + " -quality 90 '" +
                        out.string() + "' 2>/dev/null";
  return std::system(command.c_str()) == 0 && fs::exists(out);
}

// One read as the viewer makes it; true when the EXIF block was parsed.
bool ReadOnce(const fs::path& path) {
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return false;
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  if (std::fgetc(file) == 0xFF) ReadJpegMetadata(file, reader);
  std::fclose(file);
  ReleaseSegments(reader);
  return record.exifFound == 1 && record.exifOrientation == 6;
}

double ReadMicros(const fs::path& path) {
  auto start = std::chrono::steady_clock::now();
  if (!ReadOnce(path)) {
    std::fprintf(stderr, "read of %s found no EXIF orientation 6\n", path.c_str());
    std::exit(1);
  }
  return std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
      .count();
}

double Median(std::vector<double> times) {
  std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
  return times[times.size() / 2];
}

}  // namespace

int main() {
  fs::path dir = fs::temp_directory_path() / "vistrel-exif-bench";
  fs::create_directories(dir);
  fs::path big = dir / "big.jpg", tiny = dir / "tiny.jpg";
  fs::path rawBig = dir / "raw-big.jpg", rawTiny = dir / "raw-tiny.jpg";

  const char* how = "ImageMagick convert";
  if (ConvertJpeg("6000x4000", "gradient:navy-orange +noise Gaussian", rawBig) &&
      ConvertJpeg("8x8", "gradient:navy-orange +noise Gaussian", rawTiny)) {
    SaveFile(big, WithExif(LoadFile(rawBig)));
    SaveFile(tiny, WithExif(LoadFile(rawTiny)));
  } else {
    how = "synthesised marker structure (convert unavailable)";
    SaveFile(big, WithExif(SyntheticJpeg(6000, 4000, 8u << 20)));
    SaveFile(tiny, WithExif(SyntheticJpeg(8, 8, 64)));
  }

  // Reads alternate between the two files so both see the same machine state.
  const int kWarmup = 50, kRounds = 2000;
  std::vector<double> tinyTimes, bigTimes;
  for (int i = 0; i < kWarmup + kRounds; ++i) {
    double t = ReadMicros(tiny), b = ReadMicros(big);
    if (i < kWarmup) continue;
    tinyTimes.push_back(t);
    bigTimes.push_back(b);
  }
  double tinyMicros = Median(tinyTimes), bigMicros = Median(bigTimes);
  std::printf("exif_bench: JPEGs made by %s\n", how);
  std::printf("  24 MP JPEG: %10ju bytes, one metadata read %8.2f us (median of %d)\n",
              static_cast<uintmax_t>(fs::file_size(big)), bigMicros, kRounds);
  std::printf("  tiny JPEG:  %10ju bytes, one metadata read %8.2f us (median of %d)\n",
              static_cast<uintmax_t>(fs::file_size(tiny)), tinyMicros, kRounds);
  std::printf("  ratio 24 MP / tiny: %.2f\n", bigMicros / tinyMicros);
  fs::remove_all(dir);
  return 0;
}
