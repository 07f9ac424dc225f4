// Builds JPEG marker sequences and TIFF directories for the EXIF reader's tests.
#pragma once
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "exif/jpeg_exif.h"

using Bytes = std::vector<uint8_t>;

inline void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

inline Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Numbers in one byte order.
struct ByteOrder {
  bool bigEndian;
  void U16(Bytes& out, uint32_t v) const {
    if (bigEndian) {
      out.push_back(uint8_t(v >> 8)), out.push_back(uint8_t(v));
    } else {
      out.push_back(uint8_t(v)), out.push_back(uint8_t(v >> 8));
    }
  }
  void U32(Bytes& out, uint32_t v) const {
    if (bigEndian) {
      U16(out, v >> 16), U16(out, v & 0xFFFF);
    } else {
      U16(out, v & 0xFFFF), U16(out, v >> 16);
    }
  }
  void Put32(Bytes& out, size_t at, uint32_t v) const {
    Bytes b;
    U32(b, v);
    std::memcpy(out.data() + at, b.data(), 4);
  }
};

// One TIFF directory. Values longer than four bytes go after the directory; pointers to
// sub-directories and the next-directory link are filled in when the block is laid out.
class Ifd {
 public:
  struct Entry {
    uint16_t tag, format;
    uint32_t count;
    Bytes value;                  // the value bytes in the block's byte order
    bool rawField = false;        // value field given as is (an offset of the test's choosing)
    uint32_t field = 0;
    std::shared_ptr<Ifd> child;   // a sub-directory this entry points to
  };

  explicit Ifd(bool bigEndian = false) : order{bigEndian} {}

  Ifd& Raw(uint16_t tag, uint16_t format, uint32_t count, const Bytes& value) {
    entries.push_back(Entry{tag, format, count, value});
    return *this;
  }
  // An entry whose value field holds `field` whatever its size: for offsets that lie.
  Ifd& Field(uint16_t tag, uint16_t format, uint32_t count, uint32_t field) {
    Entry e{tag, format, count, {}};
    e.rawField = true;
    e.field = field;
    entries.push_back(e);
    return *this;
  }
  Ifd& Short(uint16_t tag, uint32_t v) { return Raw(tag, 3, 1, Num16(v)); }
  Ifd& Long(uint16_t tag, uint32_t v) { return Raw(tag, 4, 1, Num32(v)); }
  Ifd& Rational(uint16_t tag, uint32_t num, uint32_t den, uint16_t format = 5) {
    Bytes b = Num32(num);
    Append(b, Num32(den));
    return Raw(tag, format, 1, b);
  }
  Ifd& Ascii(uint16_t tag, const std::string& text) {
    Bytes b = TextBytes(text);
    b.push_back(0);
    return Raw(tag, 2, uint32_t(b.size()), b);
  }
  Ifd& Undefined(uint16_t tag, const Bytes& b) { return Raw(tag, 7, uint32_t(b.size()), b); }
  Ifd& Sub(uint16_t tag, const Ifd& child) {
    Entry e{tag, 4, 1, {}};
    e.child = std::make_shared<Ifd>(child);
    entries.push_back(e);
    return *this;
  }
  Ifd& Next(const Ifd& ifd) {
    next = std::make_shared<Ifd>(ifd);
    return *this;
  }
  Ifd& NextOffset(uint32_t offset) {
    nextOffset = offset;
    return *this;
  }

  Bytes Num16(uint32_t v) const { Bytes b; order.U16(b, v); return b; }
  Bytes Num32(uint32_t v) const { Bytes b; order.U32(b, v); return b; }

  // Writes this directory at the end of `out` (offsets count from out[0]); returns its offset.
  uint32_t Layout(Bytes& out) const {
    uint32_t at = uint32_t(out.size());
    order.U16(out, uint32_t(entries.size()));
    std::vector<size_t> fieldAt;
    for (const Entry& e : entries) {
      order.U16(out, e.tag), order.U16(out, e.format), order.U32(out, e.count);
      fieldAt.push_back(out.size());
      Bytes field = e.value.size() <= 4 && !e.rawField ? e.value : Bytes{};
      field.resize(4, 0);
      Append(out, field);
      if (e.rawField) order.Put32(out, fieldAt.back(), e.field);
    }
    size_t linkAt = out.size();
    order.U32(out, nextOffset);
    for (size_t i = 0; i < entries.size(); ++i) {
      const Entry& e = entries[i];
      if (e.child) {
        order.Put32(out, fieldAt[i], e.child->Layout(out));
      } else if (!e.rawField && e.value.size() > 4) {
        order.Put32(out, fieldAt[i], uint32_t(out.size()));
        Append(out, e.value);
      }
    }
    if (next) order.Put32(out, linkAt, next->Layout(out));
    return at;
  }

  ByteOrder order;
  std::vector<Entry> entries;
  std::shared_ptr<Ifd> next;
  uint32_t nextOffset = 0;
};

// A TIFF block: header, `gap` filler bytes, then IFD0 (so IFD0 lies at 8 + gap).
inline Bytes TiffBlock(const Ifd& ifd0, uint32_t gap = 0) {
  Bytes out = ifd0.order.bigEndian ? TextBytes("MM") : TextBytes("II");
  ifd0.order.U16(out, 42);
  ifd0.order.U32(out, 8 + gap);
  out.resize(8 + gap, 0);
  ifd0.Layout(out);
  return out;
}

// One marker segment: 0xFF, the code, the big-endian length (body + 2), the body.
inline Bytes Segment(uint8_t marker, const Bytes& body) {
  size_t length = body.size() + 2;
  Bytes out = {0xFF, marker, uint8_t(length >> 8), uint8_t(length)};
  Append(out, body);
  return out;
}

inline Bytes ExifSegment(const Bytes& tiff) {
  Bytes body = {'E', 'x', 'i', 'f', 0, 0};
  Append(body, tiff);
  return Segment(0xE1, body);
}

inline Bytes FrameSegment(uint16_t height, uint16_t width, uint8_t components,
                          uint8_t marker = 0xC0) {
  Bytes body = {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width),
                components};
  for (uint8_t c = 0; c < components; ++c) Append(body, Bytes{uint8_t(c + 1), 0x11, 0});
  return Segment(marker, body);
}

inline Bytes ScanSegment() { return Segment(0xDA, {1, 1, 0, 0, 63, 0}); }

// A complete small JPEG structure: SOI, the given segments, a frame, a scan and some data.
inline Bytes Jpeg(const std::vector<Bytes>& segments) {
  Bytes out = {0xFF, 0xD8};
  for (const Bytes& s : segments) Append(out, s);
  Append(out, FrameSegment(480, 640, 3));
  Append(out, ScanSegment());
  Append(out, Bytes{0x12, 0x34, 0xFF, 0x00, 0xFF, 0xD9});
  return out;
}

// The outcome of one read of a byte sequence, as ReadOrientation makes it.
struct ReadOutcome {
  bool started = false;  // the first byte was 0xFF, so the reader ran
  bool walkResult = false;
  JpegExifRecord record = {};
  int32_t segmentsHeld = 0;  // retained segments when the walk ended, before release
  Bytes thumbnail;           // copied out while the segment buffers still lived
  std::string output;        // what the reader wrote to standard output
};

// Runs the reader over `bytes` through a memory stream: clear the record, read the first
// byte, walk only when it is 0xFF, release the segments.
inline ReadOutcome ReadBytes(const Bytes& bytes) {
  ReadOutcome out;
  Bytes copy = bytes;
  copy.push_back(0);  // fmemopen refuses an empty buffer; the extra byte is never exposed
  FILE* file = fmemopen(copy.data(), bytes.size(), "rb");
  if (file == nullptr) {
    ADD_FAILURE() << "fmemopen failed";
    return out;
  }
  JpegExifReader reader(out.record);
  testing::internal::CaptureStdout();
  if (std::fgetc(file) == 0xFF) {
    out.started = true;
    out.walkResult = ReadJpegMetadata(file, reader);
  }
  std::fclose(file);
  out.output = testing::internal::GetCapturedStdout();
  out.segmentsHeld = reader.segmentCount;
  if (out.record.thumbnailData != nullptr) {
    out.thumbnail.assign(out.record.thumbnailData,
                         out.record.thumbnailData + out.record.thumbnailLength);
    out.record.thumbnailData = nullptr;
  }
  ReleaseSegments(reader);
  return out;
}

// Reads a JPEG holding one EXIF segment made of `tiff`.
inline ReadOutcome ReadExif(const Bytes& tiff) { return ReadBytes(Jpeg({ExifSegment(tiff)})); }
