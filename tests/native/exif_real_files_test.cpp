// The reader over every JPEG of the shared test images, against exiftool's EXIF-only reading.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "exif/jpeg_exif.h"

namespace {

namespace fs = std::filesystem;

using CsvRow = std::map<std::string, std::string>;

// Splits one CSV line, with exiftool's quoting ("" inside quotes is one quote).
std::vector<std::string> SplitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
      fields.back() += '"';
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

// Undoes the reference's escapes: \xNN for control bytes, \\ for a backslash.
std::string Unescape(const std::string& s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size() && s[i + 1] == '\\') {
      out += '\\';
      ++i;
    } else if (s[i] == '\\' && i + 3 < s.size() && s[i + 1] == 'x') {
      out += char(std::strtol(s.substr(i + 2, 2).c_str(), nullptr, 16));
      i += 3;
    } else {
      out += s[i];
    }
  }
  return out;
}

// Rows keyed by path relative to the test data folder ("./folder/file.jpg").
std::map<std::string, CsvRow> LoadReference(const fs::path& csv) {
  std::map<std::string, CsvRow> rows;
  std::ifstream in(csv);
  std::string line;
  if (!std::getline(in, line)) return rows;
  std::vector<std::string> header = SplitCsvLine(line);
  while (std::getline(in, line)) {
    std::vector<std::string> fields = SplitCsvLine(line);
    CsvRow row;
    for (size_t i = 0; i < header.size() && i < fields.size(); ++i) row[header[i]] = fields[i];
    rows[row["SourceFile"]] = row;
  }
  return rows;
}

bool IsJpegName(const fs::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".jpg" || ext == ".jpeg";
}

// Reads a file as ReadOrientation does.
JpegExifRecord ReadFile(const fs::path& path) {
  JpegExifRecord record = {};
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    ADD_FAILURE() << "cannot open " << path;
    return record;
  }
  JpegExifReader reader(record);
  testing::internal::CaptureStdout();  // the reader's diagnostics are not the test's output
  if (std::fgetc(file) == 0xFF) ReadJpegMetadata(file, reader);
  std::fclose(file);
  testing::internal::GetCapturedStdout();
  ReleaseSegments(reader);
  record.thumbnailData = nullptr;
  return record;
}

// What the reader stores for one compared field, as text for exact fields.
struct Field {
  const char* column;
  bool isFloat;
  std::string (*text)(const JpegExifRecord&);
  double (*number)(const JpegExifRecord&);
};

const Field kFields[] = {
    {"IFD0:Orientation#", false, [](const JpegExifRecord& r) { return std::to_string(r.exifOrientation); }, nullptr},
    {"IFD0:Make", false, [](const JpegExifRecord& r) { return std::string(r.make); }, nullptr},
    {"IFD0:Model", false, [](const JpegExifRecord& r) { return std::string(r.model); }, nullptr},
    {"ExifIFD:DateTimeOriginal", false, [](const JpegExifRecord& r) { return std::string(r.dateTimeOriginal); }, nullptr},
    {"ExifIFD:ISO#", false, [](const JpegExifRecord& r) { return std::to_string(r.isoSpeed); }, nullptr},
    {"ExifIFD:ExposureTime#", true, nullptr, [](const JpegExifRecord& r) { return double(r.exposureTime); }},
    {"ExifIFD:FNumber#", true, nullptr, [](const JpegExifRecord& r) { return double(r.fNumber); }},
    {"ExifIFD:FocalLength#", true, nullptr, [](const JpegExifRecord& r) { return double(r.focalLength); }},
};

std::string Ours(const Field& field, const JpegExifRecord& r) {
  if (field.text) return field.text(r);
  std::ostringstream s;
  s << field.number(r);
  return s.str();
}

// exiftool drops the trailing spaces of text values, which this reader copies unchanged.
std::string WithoutTrailingSpaces(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

bool Agrees(const Field& field, const JpegExifRecord& r, const std::string& reference) {
  if (!field.isFloat) return WithoutTrailingSpaces(field.text(r)) == reference;
  double expected = std::strtod(reference.c_str(), nullptr);
  double got = field.number(r);
  return std::fabs(got - expected) <= 1e-3 * std::fabs(expected);
}

// Places where the reader's rules give another value than exiftool's, each with its reason.
// `ours` is the value this reader must produce there.
struct Deviation {
  const char* file;
  const char* column;
  const char* ours;
  const char* reason;
};

const Deviation kDeviations[] = {
#include "exif_real_files_deviations.inc"
};

const Deviation* FindDeviation(const std::string& file, const std::string& column) {
  for (const Deviation& d : kDeviations) {
    if (file == d.file && column == d.column) return &d;
  }
  return nullptr;
}

TEST(ExifRealFiles, AgreeWithTheReferenceOrDeviateAsExplained) {
  fs::path root = VISTREL_TESTDATA_DIR;
  fs::path csv = root / "exif-reference-exifonly.csv";
  if (!fs::exists(csv)) GTEST_SKIP() << "no shared test data at " << root;
  std::map<std::string, CsvRow> reference = LoadReference(csv);
  ASSERT_FALSE(reference.empty());

  int files = 0, compared = 0, deviations = 0;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file() || !IsJpegName(entry.path())) continue;
    std::string name = "./" + fs::relative(entry.path(), root).generic_string();
    auto row = reference.find(name);
    if (row == reference.end()) {
      ADD_FAILURE() << name << " has no reference row";
      continue;
    }
    ++files;
    JpegExifRecord record = ReadFile(entry.path());
    for (const Field& field : kFields) {
      std::string expected = Unescape(row->second[field.column]);
      const Deviation* deviation = FindDeviation(name, field.column);
      if (deviation != nullptr) {
        ++deviations;
        EXPECT_EQ(Ours(field, record), deviation->ours)
            << name << " " << field.column << " (" << deviation->reason << ")";
        continue;
      }
      if (expected.empty()) continue;
      ++compared;
      EXPECT_TRUE(Agrees(field, record, expected))
          << name << " " << field.column << ": expected " << expected << ", got "
          << Ours(field, record);
    }
  }
  EXPECT_EQ(files, int(reference.size()));
  for (const Deviation& d : kDeviations) {
    EXPECT_TRUE(reference.count(d.file)) << "deviation for an unknown file " << d.file;
  }
  std::printf("%d files, %d values compared, %d explained deviations\n", files, compared,
              deviations);
}

}  // namespace
