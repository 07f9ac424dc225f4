// One reader of the ISO base media file format's boxes for the two formats built on it, AVIF and
// HEIF: their signature (the brands of the leading ftyp box) and the still picture's structure
// (the meta box: its items, where their bytes are, their properties and references), from which
// both rows of the format table take their facts and the decoders their input. Platform-free and
// bounded like the other readers: every box must lie inside its parent and the file, every count
// must fit the bytes that hold it, and lists are capped, all before anything is allocated.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "decode/byte_cursor.h"
#include "decode/format_table.h"

// A four-character code as the big-endian number its bytes make.
constexpr uint32_t FourCc(const char (&code)[5]) {
  return (uint32_t{static_cast<uint8_t>(code[0])} << 24) | (uint32_t{static_cast<uint8_t>(code[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(code[2])} << 8) | uint32_t{static_cast<uint8_t>(code[3])};
}

// kAvif, kHeif or kUnknown by the brands of the ftyp box the bytes start with: major or compatible
// avif/avis make AVIF, heic/heix/heim/heis/hevc/hevx/mif1/msf1 make HEIF, AVIF's winning when a
// file names both. Only the brands inside the count bytes are seen.
PictureFormat IsobmffBrandFormat(const uint8_t* first, size_t count);
bool IsAvifSignature(const uint8_t* first, size_t count);
bool IsHeifSignature(const uint8_t* first, size_t count);

// Lists longer than these are refused as hostile (a 48-megapixel camera grid has a few hundred
// items; a property list a few dozen).
constexpr uint32_t kMaxIsobmffItems = 4096;
constexpr uint32_t kMaxIsobmffProperties = 4096;
constexpr uint32_t kMaxIsobmffExtents = 4096;  // over every item together
constexpr uint32_t kMaxIsobmffBoxes = 1024;    // in any one box's list of children

struct IsobmffSpan {
  uint64_t offset = 0;  // in the file
  uint64_t length = 0;
};

struct IsobmffItem {
  uint32_t id = 0;
  uint32_t type = 0;  // FourCc: av01, hvc1, grid, Exif, ...
  bool hidden = false;
  bool protectedItem = false;  // encrypted: never decoded
  // Where its bytes are, in order (idat's extents already resolved to file offsets).
  std::vector<IsobmffSpan> extents;
  bool located = false;  // iloc named it
  // 1-based indices into IsobmffMeta::properties, in ipma's order; bit 15 set when essential.
  std::vector<uint16_t> properties;
};

struct IsobmffProperty {
  uint32_t type = 0;
  IsobmffSpan content;  // the box's content, after its header
};

struct IsobmffReference {
  uint32_t type = 0;  // auxl, dimg, thmb, cdsc, prem, ...
  uint32_t from = 0;
  std::vector<uint32_t> to;
};

struct IsobmffMeta {
  uint32_t primary = 0;  // 0: no pitm
  std::vector<IsobmffItem> items;
  std::vector<IsobmffProperty> properties;
  std::vector<IsobmffReference> references;

  const IsobmffItem* Item(uint32_t id) const;
  // The item's first associated property of this type; null for none.
  const IsobmffProperty* Property(const IsobmffItem& item, uint32_t type) const;
  // The items that the reference of this type from `from` names, in order.
  std::vector<uint32_t> ReferencesFrom(uint32_t from, uint32_t type) const;
  // The items whose reference of this type names `to`.
  std::vector<uint32_t> ReferencesTo(uint32_t to, uint32_t type) const;
  // The sum of the item's extents; false when it has none or they add up past limit.
  bool ItemLength(const IsobmffItem& item, uint64_t limit, uint64_t& length) const;
};

// Reads the ftyp-led file's meta box (the still picture's structure). False for a file without
// one, or with one that breaks a bound above.
bool ReadIsobmffMeta(ByteCursor& cursor, IsobmffMeta& meta);

// The properties the decoders and the facts use, each read from its box.
bool ReadSpatialExtent(ByteCursor& cursor, const IsobmffProperty& ispe, uint32_t& width, uint32_t& height);
// One colr box: an ICC profile (prof, rICC; at most kMaxProfileBytes) or code points (nclx).
void ReadColourProperty(ByteCursor& cursor, const IsobmffProperty& colr, std::vector<uint8_t>& profile, Cicp& cicp);
// The item's irot and imir, composed in ipma's order.
OwnTransform ReadOwnTransform(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item);
// pixi: the largest bit depth of the item's channels; 0 without one.
uint32_t ReadBitDepth(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item);
// auxC: the auxiliary item's kind (an URN); empty for none.
std::vector<char> ReadAuxiliaryType(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item);
// True when the item is the alpha plane of `of` (an auxl reference to it and an alpha auxC).
bool IsAlphaOf(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item, uint32_t of);

// A grid item's descriptor: its rows and columns of tiles and the picture's size.
struct IsobmffGrid {
  uint32_t rows = 0, columns = 0;
  uint32_t width = 0, height = 0;
};
bool ReadGridDescriptor(ByteCursor& cursor, const IsobmffItem& grid, IsobmffGrid& out);

// The AVIF and HEIF rows of the format table: the primary item's size (a grid's own ispe, else its
// descriptor's), its profile and nclx code points, its own irot/imir. An EXIF item is never read:
// facts.orientationFound stays false. The decodedBytesPerPixel is 8 for a picture deeper than 8
// bits (16-bit samples are held for its colour conversion), else 4.
void ReadIsobmffFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts);
