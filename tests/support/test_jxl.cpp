#include "support/test_jxl.h"

#include <algorithm>

namespace {

struct BitWriter {
  std::vector<uint8_t> bytes = {0xFF, 0x0A};  // the codestream's signature
  size_t bits = 16;
  void Put(uint32_t value, int count) {  // lowest bit first, as JPEG XL packs them
    for (int i = 0; i < count; ++i, ++bits) {
      if (bits % 8 == 0) bytes.push_back(0);
      bytes.back() |= static_cast<uint8_t>(((value >> i) & 1u) << (bits % 8));
    }
  }
  void Size(uint32_t value) {  // the narrowest of 9, 13, 18 and 30 bits that holds value - 1
    static constexpr int kWidths[4] = {9, 13, 18, 30};
    uint32_t selector = 0;
    while (selector < 3 && value - 1 >= (1u << kWidths[selector])) ++selector;
    Put(selector, 2);
    Put(value - 1, kWidths[selector]);
  }
};

void PutBox(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& content, bool longLength) {
  const uint64_t total = content.size() + (longLength ? 16 : 8);
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>((longLength ? 1 : total) >> (8 * i)));
  out.insert(out.end(), type, type + 4);
  for (int i = 7; longLength && i >= 0; --i) out.push_back(static_cast<uint8_t>(total >> (8 * i)));
  out.insert(out.end(), content.begin(), content.end());
}

}  // namespace

std::vector<uint8_t> MakeJxlCodestreamHeader(const JxlHeaderOptions& o) {
  static constexpr uint32_t kRatios[7][2] = {{1, 1}, {12, 10}, {4, 3}, {3, 2}, {16, 9}, {5, 4}, {2, 1}};
  uint32_t ratio = 0;
  for (uint32_t r = 1; o.ratio && ratio == 0 && r <= 7; ++r)
    if (static_cast<uint64_t>(o.height) * kRatios[r - 1][0] / kRatios[r - 1][1] == o.width) ratio = r;
  const bool small =
      o.small && o.height <= 256 && o.height % 8 == 0 && (ratio != 0 || (o.width <= 256 && o.width % 8 == 0));
  BitWriter w;
  w.Put(small, 1);
  small ? w.Put(o.height / 8 - 1, 5) : w.Size(o.height);
  w.Put(ratio, 3);
  if (ratio == 0) small ? w.Put(o.width / 8 - 1, 5) : w.Size(o.width);
  // Image metadata, field by field: not all default; extra fields: the orientation, no intrinsic
  // size, preview or animation; 8-bit integer samples (selector 0); 16-bit buffers suffice; no
  // extra channels; XYB; default colour encoding and tone mapping; no extensions.
  for (const auto& [value, count] : std::vector<std::pair<uint32_t, int>>{
           {0, 1}, {1, 1}, {o.orientation - 1, 3}, {0, 3}, {0, 1}, {0, 2}, {1, 1}, {0, 2}, {1, 1}, {1, 1}, {1, 1}, {0, 2}})
    w.Put(value, count);
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
  for (size_t i = 0; i <= cuts.size(); ++i) {  // each part after its counter; the last one marked
    const size_t to = i < cuts.size() ? std::clamp(cuts[i], from, codestream.size()) : codestream.size();
    std::vector<uint8_t> part = {static_cast<uint8_t>(i == cuts.size() ? 0x80 : 0), 0, 0, static_cast<uint8_t>(i)};
    part.insert(part.end(), codestream.begin() + static_cast<ptrdiff_t>(from), codestream.begin() + static_cast<ptrdiff_t>(to));
    PutBox(out, "jxlp", part, longLengths);
    from = to;
  }
  return out;
}
