// ISOBMFF still-picture files (the AVIF and HEIF container) put together box by box, so the reader
// can be shown exactly the structure a test needs, hostile ones included. The coded data is
// whatever bytes the test gives. Platform-free; for the native and the Wine tests alike.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace isobmff {

using Bytes = std::vector<uint8_t>;

Bytes Box(const char* type, const Bytes& content);
Bytes FullBox(const char* type, uint8_t version, uint32_t flags, const Bytes& content);

// Properties, as boxes for IsoItem::properties.
Bytes Ispe(uint32_t width, uint32_t height);
Bytes Nclx(uint16_t primaries, uint16_t transfer, uint16_t matrix, bool fullRange);
Bytes IccColour(const Bytes& profile);
Bytes Irot(uint8_t quarterTurns);
Bytes Imir(uint8_t mode);  // 0: top and bottom exchanged, 1: left and right
Bytes Pixi(const std::vector<uint8_t>& depths);
Bytes AuxC(const std::string& urn);
// av1C for 8, 10 or 12 bits, 4:2:0 unless monochrome.
Bytes Av1C(int bitDepth, bool monochrome = false);

struct Item {
  uint32_t id = 0;
  std::string type = "av01";
  Bytes data;                   // its bytes, put in mdat (or in idat when inIdat)
  std::vector<Bytes> properties;  // each associated with the item, in this order
  bool inIdat = false;
};

struct Reference {
  std::string type;
  uint32_t from = 0;
  std::vector<uint32_t> to;
};

struct File {
  std::vector<std::string> brands = {"avif", "mif1", "miaf"};  // the first is the major brand
  uint32_t primary = 1;
  std::vector<Item> items;
  std::vector<Reference> references;
};

Bytes Build(const File& file);

// A grid item's descriptor: rows x columns of tiles making width x height.
Bytes GridDescriptor(uint32_t rows, uint32_t columns, uint32_t width, uint32_t height);

// The offset of the first occurrence of the four-character type in bytes (of a box's type field,
// so the box starts 4 bytes before); npos for none.
size_t FindType(const Bytes& bytes, const char* type, size_t from = 0);
void PutU32(Bytes& bytes, size_t at, uint32_t value);

}  // namespace isobmff
