#include "support/test_isobmff.h"

#include <cstring>

namespace isobmff {
namespace {

void U8(Bytes& out, uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
void U16(Bytes& out, uint32_t v) { U8(out, v >> 8), U8(out, v); }
void U32(Bytes& out, uint32_t v) { U16(out, v >> 16), U16(out, v); }
void Type(Bytes& out, const std::string& type) { out.insert(out.end(), type.begin(), type.begin() + 4); }
void Append(Bytes& out, const Bytes& more) { out.insert(out.end(), more.begin(), more.end()); }

// The meta box for the file with its items' bytes at dataStart (mdat's content) or in idat.
Bytes Meta(const File& file, uint32_t dataStart) {
  Bytes hdlr = {0, 0, 0, 0};
  Type(hdlr, "pict");
  hdlr.resize(hdlr.size() + 13, 0);
  Bytes pitm;
  U16(pitm, file.primary);
  Bytes infos;
  U16(infos, static_cast<uint32_t>(file.items.size()));
  for (const Item& item : file.items) {
    Bytes infe;
    U16(infe, item.id);
    U16(infe, 0);
    Type(infe, item.type);
    infe.push_back(0);
    Append(infos, FullBox("infe", 2, 0, infe));
  }
  // iloc version 1: 4-byte offsets and lengths, no base offset; method 1 for idat.
  Bytes iloc = {0x44, 0x00};
  U16(iloc, static_cast<uint32_t>(file.items.size()));
  uint32_t mdatAt = dataStart, idatAt = 0;
  Bytes idat;
  for (const Item& item : file.items) {
    U16(iloc, item.id);
    U16(iloc, item.inIdat ? 1 : 0);
    U16(iloc, 0);
    U16(iloc, 1);
    U32(iloc, item.inIdat ? idatAt : mdatAt);
    U32(iloc, static_cast<uint32_t>(item.data.size()));
    (item.inIdat ? idatAt : mdatAt) += static_cast<uint32_t>(item.data.size());
    if (item.inIdat) Append(idat, item.data);
  }
  Bytes ipco, ipma;
  U32(ipma, static_cast<uint32_t>(file.items.size()));
  uint32_t index = 0;
  for (const Item& item : file.items) {
    U16(ipma, item.id);
    U8(ipma, static_cast<uint32_t>(item.properties.size()));
    for (const Bytes& property : item.properties) {
      Append(ipco, property);
      U8(ipma, 0x80 | ++index);
    }
  }
  Bytes iref;
  for (const Reference& reference : file.references) {
    Bytes entry;
    U16(entry, reference.from);
    U16(entry, static_cast<uint32_t>(reference.to.size()));
    for (uint32_t to : reference.to) U16(entry, to);
    Append(iref, Box(reference.type.c_str(), entry));
  }
  Bytes content;
  Append(content, FullBox("hdlr", 0, 0, hdlr));
  Append(content, FullBox("pitm", 0, 0, pitm));
  Append(content, FullBox("iinf", 0, 0, infos));
  Append(content, FullBox("iloc", 1, 0, iloc));
  Append(content, Box("iprp", [&] {
           Bytes iprp = Box("ipco", ipco);
           Append(iprp, FullBox("ipma", 0, 0, ipma));
           return iprp;
         }()));
  if (!file.references.empty()) Append(content, FullBox("iref", 0, 0, iref));
  if (!idat.empty()) Append(content, Box("idat", idat));
  return FullBox("meta", 0, 0, content);
}

}  // namespace

Bytes Box(const char* type, const Bytes& content) {
  Bytes out;
  U32(out, static_cast<uint32_t>(content.size() + 8));
  Type(out, type);
  Append(out, content);
  return out;
}

Bytes FullBox(const char* type, uint8_t version, uint32_t flags, const Bytes& content) {
  Bytes body;
  U32(body, (uint32_t{version} << 24) | flags);
  Append(body, content);
  return Box(type, body);
}

Bytes Ispe(uint32_t width, uint32_t height) {
  Bytes c;
  U32(c, width), U32(c, height);
  return FullBox("ispe", 0, 0, c);
}

Bytes Nclx(uint16_t primaries, uint16_t transfer, uint16_t matrix, bool fullRange) {
  Bytes c;
  Type(c, "nclx");
  U16(c, primaries), U16(c, transfer), U16(c, matrix), U8(c, fullRange ? 0x80 : 0);
  return Box("colr", c);
}

Bytes IccColour(const Bytes& profile) {
  Bytes c;
  Type(c, "prof");
  Append(c, profile);
  return Box("colr", c);
}

Bytes Irot(uint8_t quarterTurns) { return Box("irot", {quarterTurns}); }
Bytes Imir(uint8_t mode) { return Box("imir", {mode}); }

Bytes Pixi(const std::vector<uint8_t>& depths) {
  Bytes c = {static_cast<uint8_t>(depths.size())};
  Append(c, depths);
  return FullBox("pixi", 0, 0, c);
}

Bytes AuxC(const std::string& urn) {
  Bytes c(urn.begin(), urn.end());
  c.push_back(0);
  return FullBox("auxC", 0, 0, c);
}

Bytes Av1C(int bitDepth, bool monochrome) {
  const uint8_t depthBits = bitDepth == 8 ? 0 : bitDepth == 10 ? 0x40 : 0x60;
  // Profile 2 (professional) for 12 bits; 4:2:0 subsampling (both bits set) unless monochrome.
  const uint8_t profile = bitDepth == 12 ? 0x40 : 0x00;
  return Box("av1C", {0x81, profile, static_cast<uint8_t>(depthBits | (monochrome ? 0x10 : 0) | 0x0C), 0});
}

Bytes Build(const File& file) {
  Bytes ftypContent;
  Type(ftypContent, file.brands.front());
  U32(ftypContent, 0);
  for (const std::string& brand : file.brands) Type(ftypContent, brand);
  Bytes out = Box("ftyp", ftypContent);
  // The meta box's length does not depend on the offsets it holds: measure it, then write it.
  const size_t metaLength = Meta(file, 0).size();
  Bytes mdat;
  for (const Item& item : file.items) {
    if (!item.inIdat) Append(mdat, item.data);
  }
  Append(out, Meta(file, static_cast<uint32_t>(out.size() + metaLength + 8)));
  Append(out, Box("mdat", mdat));
  return out;
}

Bytes GridDescriptor(uint32_t rows, uint32_t columns, uint32_t width, uint32_t height) {
  const bool wide = width > 0xFFFF || height > 0xFFFF;
  Bytes c = {0, static_cast<uint8_t>(wide ? 1 : 0), static_cast<uint8_t>(rows - 1), static_cast<uint8_t>(columns - 1)};
  if (wide) {
    U32(c, width), U32(c, height);
  } else {
    U16(c, width), U16(c, height);
  }
  return c;
}

size_t FindType(const Bytes& bytes, const char* type, size_t from) {
  for (size_t i = from; i + 4 <= bytes.size(); ++i) {
    if (std::memcmp(bytes.data() + i, type, 4) == 0) return i;
  }
  return std::string::npos;
}

void PutU32(Bytes& bytes, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

}  // namespace isobmff
