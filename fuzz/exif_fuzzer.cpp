// libFuzzer target: any bytes, read as a file through the EXIF reader the way the viewer
// reads one, then the record's invariants checked.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "exif/jpeg_exif.h"
#include "checks.h"

namespace {

bool Terminated(const char* text, size_t size) { return std::memchr(text, 0, size) != nullptr; }

bool InsideSomeSegment(const JpegExifReader& reader, const uint8_t* start, int32_t length) {
  for (int32_t i = 0; i < reader.segmentCount; ++i) {
    const JpegSegment& s = reader.segments[i];
    if (start >= s.data && start + length <= s.data + s.length) return true;
  }
  return false;
}

void CheckRecord(const JpegExifReader& reader) {
  const JpegExifRecord& r = reader.record;
  Require(reader.segmentCount >= 0 && reader.segmentCount <= kMaxJpegSegments, "segment count");
  Require(r.exifOrientation >= 0 && r.exifOrientation <= 8, "orientation range");
  Require(r.exifFound <= 1, "exifFound is 0 or 1");
  Require(Terminated(r.exifVersion, sizeof r.exifVersion), "exifVersion terminated");
  Require(Terminated(r.make, sizeof r.make), "make terminated");
  Require(Terminated(r.model, sizeof r.model), "model terminated");
  Require(Terminated(r.dateTimeOriginal, sizeof r.dateTimeOriginal), "date terminated");
  Require(Terminated(r.commentText, sizeof r.commentText), "comment terminated");
  if (r.thumbnailData != nullptr) {
    Require(r.thumbnailLength > 0, "thumbnail length");
    Require(InsideSomeSegment(reader, r.thumbnailData, r.thumbnailLength), "thumbnail inside");
  }
  for (int32_t i = 0; i < reader.segmentCount; ++i) {
    Require(reader.segments[i].data != nullptr && reader.segments[i].length >= 2, "slot held");
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The reader's two diagnostics would flood the log; libFuzzer reports on stderr.
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // Opened read-only, so the buffer is never written through the stream.
  FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (file == nullptr) return 0;
  JpegExifRecord record = {};
  JpegExifReader reader(record);
  if (std::fgetc(file) == 0xFF) ReadJpegMetadata(file, reader);
  std::fclose(file);
  CheckRecord(reader);
  ReleaseSegments(reader);
  return 0;
}
