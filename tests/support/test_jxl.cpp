#include "support/test_jxl.h"

#include <algorithm>
#include <cstring>

namespace {

class BitWriter {
 public:
  void Put(uint32_t value, int bits) {
    for (int i = 0; i < bits; ++i, ++position_) {
      if (position_ % 8 == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (position_ % 8));
    }
  }
  // The sizes' field: the narrowest of 9, 13, 18 and 30 bits that holds value - 1.
  void Size(uint32_t value) {
    static constexpr int kWidths[4] = {9, 13, 18, 30};
    uint32_t selector = 0;
    while (selector < 3 && value - 1 >= (1u << kWidths[selector])) ++selector;
    Put(selector, 2);
    Put(value - 1, kWidths[selector]);
  }
  std::vector<uint8_t> bytes;

 private:
  size_t position_ = 0;
};

uint32_t RatioOf(uint32_t width, uint32_t height) {
  static constexpr uint32_t kRatios[7][2] = {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
  for (uint32_t r = 0; r < 7; ++r) {
    if (static_cast<uint64_t>(height) * kRatios[r][0] / kRatios[r][1] == width) return r + 1;
  }
  return 0;
}

void PutBox(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& content, bool longLength) {
  const uint64_t total = content.size() + (longLength ? 16 : 8);
  const auto be = [&](uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  be(longLength ? 1 : total, 4);
  out.insert(out.end(), type, type + 4);
  if (longLength) be(total, 8);
  out.insert(out.end(), content.begin(), content.end());
}

}  // namespace

std::vector<uint8_t> MakeJxlCodestreamHeader(const JxlHeaderOptions& o) {
  BitWriter w;
  w.bytes = {0xFF, 0x0A};
  const uint32_t ratio = o.ratio ? RatioOf(o.width, o.height) : 0;
  const bool small = o.small && o.height <= 256 && o.height % 8 == 0 &&
                     (ratio != 0 || (o.width <= 256 && o.width % 8 == 0));
  w.Put(small ? 1 : 0, 1);
  if (small) {
    w.Put(o.height / 8 - 1, 5);
  } else {
    w.Size(o.height);
  }
  w.Put(ratio, 3);
  if (ratio == 0) {
    if (small) {
      w.Put(o.width / 8 - 1, 5);
    } else {
      w.Size(o.width);
    }
  }
  // Image metadata: not all default; extra fields (the orientation, no intrinsic size, preview or
  // animation); 8-bit integer samples; 16-bit buffers suffice; no extra channels; XYB; default
  // colour encoding and tone mapping; no extensions.
  w.Put(0, 1);
  w.Put(1, 1);
  w.Put(o.orientation - 1, 3);
  w.Put(0, 3);
  w.Put(0, 1);
  w.Put(0, 2);
  w.Put(1, 1);
  w.Put(0, 2);
  w.Put(1, 1);
  w.Put(1, 1);
  w.Put(1, 1);
  w.Put(0, 2);
  w.bytes.resize(w.bytes.size() + 8, 0);  // room for what libjxl peeks at past the metadata
  return w.bytes;
}

std::vector<uint8_t> InJxlContainer(const std::vector<uint8_t>& codestream, const std::vector<size_t>& cuts,
                                    bool longLengths) {
  std::vector<uint8_t> out = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};
  PutBox(out, "ftyp", {'j', 'x', 'l', ' ', 0, 0, 0, 0, 'j', 'x', 'l', ' '}, longLengths);
  PutBox(out, "Exif", {0, 0, 0, 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 0}, longLengths);
  if (cuts.empty()) {
    PutBox(out, "jxlc", codestream, longLengths);
    return out;
  }
  size_t from = 0;
  for (size_t i = 0; i <= cuts.size(); ++i) {
    const size_t to = i < cuts.size() ? std::min(cuts[i], codestream.size()) : codestream.size();
    std::vector<uint8_t> part = {0, 0, 0, static_cast<uint8_t>(i)};
    if (i == cuts.size()) part[0] = 0x80;  // the last part
    part.insert(part.end(), codestream.begin() + static_cast<ptrdiff_t>(from), codestream.begin() + static_cast<ptrdiff_t>(std::max(from, to)));
    PutBox(out, "jxlp", part, longLengths);
    from = std::max(from, to);
  }
  return out;
}
