#include "decode/isobmff/isobmff_format.h"

#include <algorithm>
#include <cstring>

#include "decode/icc_profile_extract.h"

namespace {

constexpr uint32_t kMaxFtypBytes = 4096;

struct Box {
  uint32_t type = 0;
  uint64_t start = 0;    // the box's first byte
  uint64_t content = 0;  // after its header
  uint64_t end = 0;      // just past it
  uint64_t Length() const { return end - content; }
};

// The box at offset inside a parent that ends at limit; false when it does not fit there.
bool ReadBox(ByteCursor& cursor, uint64_t offset, uint64_t limit, Box& box) {
  uint32_t size32 = 0;
  if (limit - offset < 8 || !cursor.U32(offset, Endian::kBig, size32) || !cursor.U32(offset + 4, Endian::kBig, box.type)) {
    return false;
  }
  uint64_t size = size32;
  box.start = offset;
  box.content = offset + 8;
  if (size32 == 1) {  // a 64-bit size follows
    if (limit - offset < 16 || !cursor.U64(offset + 8, Endian::kBig, size)) return false;
    box.content = offset + 16;
  } else if (size32 == 0) {  // to the end of the parent
    size = limit - offset;
  }
  if (size < box.content - offset || size > limit - offset) return false;
  box.end = offset + size;
  return true;
}

// Calls visit(child) for each child box of the span [from, end), at most kMaxIsobmffBoxes of
// them; false when one does not fit, there are more, or visit says stop with false.
template <typename Visit>
bool ForEachChild(ByteCursor& cursor, uint64_t from, uint64_t end, Visit visit) {
  uint64_t offset = from;
  for (uint32_t i = 0; offset < end; ++i) {
    Box child;
    if (i == kMaxIsobmffBoxes || !ReadBox(cursor, offset, end, child) || !visit(child)) return false;
    offset = child.end;
  }
  return true;
}

// A full box's version and flags; content then starts 4 bytes further.
bool FullBox(ByteCursor& cursor, Box& box, uint32_t& version, uint32_t& flags) {
  uint32_t word = 0;
  if (box.Length() < 4 || !cursor.U32(box.content, Endian::kBig, word)) return false;
  version = word >> 24;
  flags = word & 0xFFFFFF;
  box.content += 4;
  return true;
}

// A number of 0, 2, 4 or 8 bytes (iloc's field sizes), advancing at.
bool Number(ByteCursor& cursor, uint64_t& at, uint64_t end, uint32_t bytes, uint64_t& value) {
  if (end - at < bytes) return false;
  uint32_t v32 = 0;
  bool ok = true;
  switch (bytes) {
    case 0: value = 0; break;
    case 2: ok = cursor.U16(at, Endian::kBig, v32); value = v32; break;
    case 4: ok = cursor.U32(at, Endian::kBig, v32); value = v32; break;
    case 8: ok = cursor.U64(at, Endian::kBig, value); break;
    default: return false;
  }
  at += bytes;
  return ok;
}

bool Id(ByteCursor& cursor, uint64_t& at, uint64_t end, bool wide, uint32_t& id) {
  uint64_t value = 0;
  if (!Number(cursor, at, end, wide ? 4 : 2, value)) return false;
  id = static_cast<uint32_t>(value);
  return true;
}

IsobmffItem* MutableItem(IsobmffMeta& meta, uint32_t id) {
  for (IsobmffItem& item : meta.items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

bool ReadItemInfo(ByteCursor& cursor, Box iinf, IsobmffMeta& meta) {
  uint32_t version = 0, flags = 0;
  if (!FullBox(cursor, iinf, version, flags)) return false;
  uint64_t at = iinf.content, count = 0;
  if (!Number(cursor, at, iinf.end, version == 0 ? 2 : 4, count)) return false;
  // Every entry is a box of at least 12 bytes.
  if (count > kMaxIsobmffItems || count > (iinf.end - at) / 12) return false;
  meta.items.reserve(static_cast<size_t>(count));
  uint64_t seen = 0;
  const bool read = ForEachChild(cursor, at, iinf.end, [&](Box infe) {
    if (infe.type != FourCc("infe") || seen == count) return true;  // trailing boxes are not entries
    ++seen;
    uint32_t infeVersion = 0, infeFlags = 0;
    if (!FullBox(cursor, infe, infeVersion, infeFlags)) return false;
    if (infeVersion < 2) return true;  // no item type: nothing a picture is made of
    IsobmffItem item;
    uint64_t p = infe.content, protection = 0, type = 0;
    if (!Id(cursor, p, infe.end, infeVersion >= 3, item.id) || !Number(cursor, p, infe.end, 2, protection) ||
        !Number(cursor, p, infe.end, 4, type)) {
      return false;
    }
    item.type = static_cast<uint32_t>(type);
    item.protectedItem = protection != 0;
    item.hidden = (infeFlags & 1) != 0;
    if (item.id == 0 || MutableItem(meta, item.id) != nullptr) return false;  // ids are unique
    meta.items.push_back(std::move(item));
    return true;
  });
  return read && seen == count;
}

struct Location {
  uint32_t id = 0;
  uint32_t method = 0;
  std::vector<IsobmffSpan> extents;  // offsets relative to the method's base (file or idat)
};

bool ReadItemLocations(ByteCursor& cursor, Box iloc, const Box* idat, IsobmffMeta& meta) {
  uint32_t version = 0, flags = 0;
  if (!FullBox(cursor, iloc, version, flags) || version > 2) return false;
  uint64_t at = iloc.content, sizes = 0, count = 0;
  if (!Number(cursor, at, iloc.end, 2, sizes)) return false;
  const uint32_t offsetSize = (sizes >> 12) & 15, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
  const uint32_t indexSize = version >= 1 ? sizes & 15 : 0;
  for (uint32_t s : {offsetSize, lengthSize, baseSize, indexSize}) {
    if (s != 0 && s != 4 && s != 8) return false;
  }
  if (!Number(cursor, at, iloc.end, version < 2 ? 2 : 4, count)) return false;
  const uint64_t entryBytes = (version < 2 ? 2 : 4) + (version >= 1 ? 2 : 0) + 2 + baseSize + 2;
  if (count > kMaxIsobmffItems || count > (iloc.end - at) / entryBytes) return false;
  const uint64_t extentBytes = uint64_t{indexSize} + offsetSize + lengthSize;
  uint64_t extentsSeen = 0;
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t id = 0;
    uint64_t method = 0, dataReference = 0, base = 0, extents = 0;
    if (!Id(cursor, at, iloc.end, version >= 2, id)) return false;
    if (version >= 1 && !Number(cursor, at, iloc.end, 2, method)) return false;
    method &= 15;
    if (!Number(cursor, at, iloc.end, 2, dataReference) || !Number(cursor, at, iloc.end, baseSize, base) ||
        !Number(cursor, at, iloc.end, 2, extents)) {
      return false;
    }
    extentsSeen += extents;
    if (extentsSeen > kMaxIsobmffExtents || extents * extentBytes > iloc.end - at) return false;
    IsobmffItem* item = MutableItem(meta, id);
    // Another file (a data reference) or another item's bytes (method 2): not ours to read.
    const bool usable = item != nullptr && !item->located && dataReference == 0 && method <= 1 &&
                        (method == 0 || idat != nullptr) && extents > 0;
    if (usable) item->extents.reserve(static_cast<size_t>(extents));
    for (uint64_t e = 0; e < extents; ++e) {
      uint64_t index = 0, offset = 0, length = 0;
      if (!Number(cursor, at, iloc.end, indexSize, index) || !Number(cursor, at, iloc.end, offsetSize, offset) ||
          !Number(cursor, at, iloc.end, lengthSize, length)) {
        return false;
      }
      if (!usable) continue;
      const uint64_t limitStart = method == 0 ? 0 : idat->content;
      const uint64_t limitEnd = method == 0 ? cursor.Size() : idat->end;
      // Each extent must lie inside the file (or idat): a cut file shows here, before any decode.
      if (length == 0 || base > UINT64_MAX - offset || offset + base > limitEnd - limitStart ||
          length > limitEnd - limitStart - (offset + base)) {
        item->extents.clear();
        return false;
      }
      item->extents.push_back({limitStart + base + offset, length});
    }
    if (usable) item->located = true;
  }
  return true;
}

bool ReadProperties(ByteCursor& cursor, const Box& ipco, IsobmffMeta& meta) {
  return ForEachChild(cursor, ipco.content, ipco.end, [&](Box property) {
    if (meta.properties.size() == kMaxIsobmffProperties) return false;
    meta.properties.push_back({property.type, {property.content, property.Length()}});
    return true;
  });
}

bool ReadAssociations(ByteCursor& cursor, Box ipma, IsobmffMeta& meta) {
  uint32_t version = 0, flags = 0;
  if (!FullBox(cursor, ipma, version, flags)) return false;
  uint64_t at = ipma.content, count = 0;
  if (!Number(cursor, at, ipma.end, 4, count)) return false;
  const uint64_t idBytes = version < 1 ? 2 : 4;
  if (count > kMaxIsobmffItems || count > (ipma.end - at) / (idBytes + 1)) return false;
  for (uint64_t i = 0; i < count; ++i) {
    uint32_t id = 0, associations = 0;
    if (!Id(cursor, at, ipma.end, version >= 1, id) || !cursor.U8(at, associations)) return false;
    ++at;
    const uint64_t each = (flags & 1) != 0 ? 2 : 1;
    if (associations * each > ipma.end - at) return false;
    IsobmffItem* item = MutableItem(meta, id);
    if (item != nullptr && item->properties.empty()) item->properties.reserve(associations);
    for (uint32_t a = 0; a < associations; ++a) {
      uint32_t value = 0;
      if (each == 2 ? !cursor.U16(at, Endian::kBig, value) : !cursor.U8(at, value)) return false;
      at += each;
      const uint32_t essential = each == 2 ? value >> 15 : value >> 7;
      const uint32_t index = each == 2 ? value & 0x7FFF : value & 0x7F;
      if (index == 0) continue;  // no property
      if (index > meta.properties.size()) return false;
      if (item != nullptr) item->properties.push_back(static_cast<uint16_t>(index | (essential << 15)));
    }
  }
  return true;
}

bool ReadReferences(ByteCursor& cursor, Box iref, IsobmffMeta& meta) {
  uint32_t version = 0, flags = 0;
  if (!FullBox(cursor, iref, version, flags)) return false;
  const bool wide = version != 0;
  uint64_t total = 0;
  return ForEachChild(cursor, iref.content, iref.end, [&](const Box& entry) {
    IsobmffReference reference;
    reference.type = entry.type;
    uint64_t at = entry.content, count = 0;
    if (!Id(cursor, at, entry.end, wide, reference.from) || !Number(cursor, at, entry.end, 2, count)) return false;
    total += count;
    if (total > kMaxIsobmffItems * 4 || count * (wide ? 4 : 2) > entry.end - at) return false;
    reference.to.resize(static_cast<size_t>(count));
    for (uint32_t& to : reference.to) {
      if (!Id(cursor, at, entry.end, wide, to)) return false;
    }
    meta.references.push_back(std::move(reference));
    return true;
  });
}

// Reads count bytes at offset within the item's joined extents.
bool ReadItemBytes(ByteCursor& cursor, const IsobmffItem& item, uint64_t offset, uint8_t* out, size_t count) {
  for (const IsobmffSpan& span : item.extents) {
    if (count == 0) return true;
    if (offset >= span.length) {
      offset -= span.length;
      continue;
    }
    const size_t take = static_cast<size_t>(std::min<uint64_t>(count, span.length - offset));
    if (!cursor.Read(span.offset + offset, out, take)) return false;
    out += take;
    count -= take;
    offset = 0;
  }
  return count == 0;
}

bool IsAlphaUrn(const std::vector<char>& urn) {
  static const char* const kAlpha[] = {"urn:mpeg:mpegB:cicp:systems:auxiliary:alpha", "urn:mpeg:hevc:2015:auxid:1"};
  for (const char* name : kAlpha) {
    if (urn.size() == std::strlen(name) && std::memcmp(urn.data(), name, urn.size()) == 0) return true;
  }
  return false;
}

// The depth a codec configuration box states: av1C's high_bitdepth/twelve_bit, hvcC's luma depth.
uint32_t CodecBitDepth(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item) {
  uint32_t value = 0;
  if (const IsobmffProperty* av1c = meta.Property(item, FourCc("av1C"))) {
    if (av1c->content.length < 4 || !cursor.U8(av1c->content.offset + 2, value)) return 0;
    return (value & 0x40) == 0 ? 8 : (value & 0x20) != 0 ? 12 : 10;
  }
  if (const IsobmffProperty* hvcc = meta.Property(item, FourCc("hvcC"))) {
    if (hvcc->content.length < 23 || !cursor.U8(hvcc->content.offset + 18, value)) return 0;
    return (value & 7) + 8;
  }
  return 0;
}

}  // namespace

PictureFormat IsobmffBrandFormat(const uint8_t* first, size_t count) {
  if (count < 16 || std::memcmp(first + 4, "ftyp", 4) != 0) return PictureFormat::kUnknown;
  const uint32_t size = (uint32_t{first[0]} << 24) | (uint32_t{first[1]} << 16) | (uint32_t{first[2]} << 8) | first[3];
  // An ftyp box is a few brands long, whole 4-byte words. Requiring that keeps every other
  // format's first word (a JPEG 2000 codestream's FF4FFF51, a JPEG's FFD8FFxx) from passing for a
  // size.
  if (size < 16 || size > kMaxFtypBytes || size % 4 != 0) return PictureFormat::kUnknown;
  const size_t end = std::min<size_t>(size, count);
  static const char* const kAvifBrands[] = {"avif", "avis"};
  static const char* const kHeifBrands[] = {"heic", "heix", "heim", "heis", "hevc", "hevx", "mif1", "msf1"};
  bool heif = false;
  // The major brand (8), then the compatible brands from 16; the minor version (12) is no brand.
  for (size_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
    for (const char* brand : kAvifBrands) {
      if (std::memcmp(first + at, brand, 4) == 0) return PictureFormat::kAvif;
    }
    for (const char* brand : kHeifBrands) heif = heif || std::memcmp(first + at, brand, 4) == 0;
  }
  return heif ? PictureFormat::kHeif : PictureFormat::kUnknown;
}

bool IsAvifSignature(const uint8_t* first, size_t count) {
  return IsobmffBrandFormat(first, count) == PictureFormat::kAvif;
}

bool IsHeifSignature(const uint8_t* first, size_t count) {
  return IsobmffBrandFormat(first, count) == PictureFormat::kHeif;
}

const IsobmffItem* IsobmffMeta::Item(uint32_t id) const {
  for (const IsobmffItem& item : items) {
    if (item.id == id) return &item;
  }
  return nullptr;
}

const IsobmffProperty* IsobmffMeta::Property(const IsobmffItem& item, uint32_t type) const {
  for (uint16_t entry : item.properties) {
    const IsobmffProperty& property = properties[(entry & 0x7FFF) - 1];
    if (property.type == type) return &property;
  }
  return nullptr;
}

std::vector<uint32_t> IsobmffMeta::ReferencesFrom(uint32_t from, uint32_t type) const {
  for (const IsobmffReference& reference : references) {
    if (reference.type == type && reference.from == from) return reference.to;
  }
  return {};
}

std::vector<uint32_t> IsobmffMeta::ReferencesTo(uint32_t to, uint32_t type) const {
  std::vector<uint32_t> from;
  for (const IsobmffReference& reference : references) {
    if (reference.type == type && std::find(reference.to.begin(), reference.to.end(), to) != reference.to.end()) {
      from.push_back(reference.from);
    }
  }
  return from;
}

bool IsobmffMeta::ItemLength(const IsobmffItem& item, uint64_t limit, uint64_t& length) const {
  length = 0;
  for (const IsobmffSpan& span : item.extents) {
    if (span.length > limit - length) return false;
    length += span.length;
  }
  return length != 0;
}

bool ReadIsobmffMeta(ByteCursor& cursor, IsobmffMeta& meta) {
  meta = IsobmffMeta{};
  Box ftyp;
  if (!ReadBox(cursor, 0, cursor.Size(), ftyp) || ftyp.type != FourCc("ftyp")) return false;
  Box metaBox;
  bool found = false;
  ForEachChild(cursor, ftyp.end, cursor.Size(), [&](const Box& box) {
    if (box.type != FourCc("meta")) return true;
    metaBox = box;
    found = true;
    return false;  // the first meta box is the file's
  });
  uint32_t version = 0, flags = 0;
  if (!found || !FullBox(cursor, metaBox, version, flags)) return false;

  // The children first, then read in the order their contents depend on one another.
  Box pitm, iinf, iloc, iprp, iref, idat;
  bool has[6] = {};
  const uint32_t kinds[6] = {FourCc("pitm"), FourCc("iinf"), FourCc("iloc"), FourCc("iprp"), FourCc("iref"),
                             FourCc("idat")};
  Box* slots[6] = {&pitm, &iinf, &iloc, &iprp, &iref, &idat};
  if (!ForEachChild(cursor, metaBox.content, metaBox.end, [&](const Box& box) {
        for (int k = 0; k < 6; ++k) {
          if (box.type != kinds[k]) continue;
          if (has[k]) return false;  // each at most once
          *slots[k] = box;
          has[k] = true;
        }
        return true;
      })) {
    return false;
  }
  if (has[0]) {
    uint32_t pitmVersion = 0, pitmFlags = 0;
    uint64_t at = 0;
    if (!FullBox(cursor, pitm, pitmVersion, pitmFlags)) return false;
    at = pitm.content;
    if (!Id(cursor, at, pitm.end, pitmVersion != 0, meta.primary)) return false;
  }
  if (has[1] && !ReadItemInfo(cursor, iinf, meta)) return false;
  if (has[2] && !ReadItemLocations(cursor, iloc, has[5] ? &idat : nullptr, meta)) return false;
  if (has[3]) {
    Box ipco, ipma;
    bool hasIpco = false, hasIpma = false;
    std::vector<Box> associations;
    if (!ForEachChild(cursor, iprp.content, iprp.end, [&](const Box& box) {
          if (box.type == FourCc("ipco") && !hasIpco) ipco = box, hasIpco = true;
          if (box.type == FourCc("ipma") && !hasIpma) ipma = box, hasIpma = true;
          return true;
        })) {
      return false;
    }
    if (hasIpco && !ReadProperties(cursor, ipco, meta)) return false;
    if (hasIpma && !ReadAssociations(cursor, ipma, meta)) return false;
  }
  if (has[4] && !ReadReferences(cursor, iref, meta)) return false;
  return true;
}

bool ReadSpatialExtent(ByteCursor& cursor, const IsobmffProperty& ispe, uint32_t& width, uint32_t& height) {
  // A full box: version and flags, then width and height.
  return ispe.content.length >= 12 && cursor.U32(ispe.content.offset + 4, Endian::kBig, width) &&
         cursor.U32(ispe.content.offset + 8, Endian::kBig, height) && width != 0 && height != 0;
}

void ReadColourProperty(ByteCursor& cursor, const IsobmffProperty& colr, std::vector<uint8_t>& profile, Cicp& cicp) {
  uint32_t kind = 0;
  if (colr.content.length < 4 || !cursor.U32(colr.content.offset, Endian::kBig, kind)) return;
  const uint64_t at = colr.content.offset + 4, length = colr.content.length - 4;
  if (kind == FourCc("nclx")) {
    uint32_t primaries = 0, transfer = 0, matrix = 0, range = 0;
    if (length >= 7 && cursor.U16(at, Endian::kBig, primaries) && cursor.U16(at + 2, Endian::kBig, transfer) &&
        cursor.U16(at + 4, Endian::kBig, matrix) && cursor.U8(at + 6, range)) {
      cicp.present = true;
      cicp.primaries = static_cast<uint16_t>(primaries);
      cicp.transfer = static_cast<uint16_t>(transfer);
      cicp.matrix = static_cast<uint16_t>(matrix);
      cicp.fullRange = (range & 0x80) != 0;
    }
  } else if ((kind == FourCc("prof") || kind == FourCc("rICC")) && length > 0 && length <= kMaxProfileBytes &&
             profile.empty()) {
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    if (cursor.Read(at, bytes.data(), bytes.size())) profile = std::move(bytes);
  }
}

OwnTransform ReadOwnTransform(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item) {
  OwnTransform transform;
  for (uint16_t entry : item.properties) {
    const IsobmffProperty& property = meta.properties[(entry & 0x7FFF) - 1];
    uint32_t value = 0;
    if (property.content.length < 1 || !cursor.U8(property.content.offset, value)) continue;
    if (property.type == FourCc("irot")) {
      transform.quarterTurns = static_cast<uint8_t>((transform.quarterTurns + (value & 3)) & 3);
    } else if (property.type == FourCc("imir")) {
      // Mirroring after a turn q: left-right makes it -q, top-bottom (a left-right mirror and a
      // half turn) 2 - q, each with the flip toggled.
      transform.flipLeftRight = !transform.flipLeftRight;
      const int turns = (value & 1) != 0 ? -transform.quarterTurns : 2 - transform.quarterTurns;
      transform.quarterTurns = static_cast<uint8_t>((turns + 4) & 3);
    }
  }
  return transform;
}

uint32_t ReadBitDepth(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item) {
  const IsobmffProperty* pixi = meta.Property(item, FourCc("pixi"));
  uint32_t channels = 0;
  if (pixi == nullptr || pixi->content.length < 5 || !cursor.U8(pixi->content.offset + 4, channels)) return 0;
  uint32_t depth = 0;
  for (uint32_t c = 0; c < channels && 5 + c < pixi->content.length; ++c) {
    uint32_t bits = 0;
    if (!cursor.U8(pixi->content.offset + 5 + c, bits)) return 0;
    depth = std::max(depth, bits);
  }
  return depth;
}

std::vector<char> ReadAuxiliaryType(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item) {
  const IsobmffProperty* auxc = meta.Property(item, FourCc("auxC"));
  if (auxc == nullptr || auxc->content.length <= 4) return {};
  // A full box, then a nul-terminated URN (then subtype bytes); at most 256 bytes looked at.
  std::vector<char> urn;
  const uint64_t length = std::min<uint64_t>(auxc->content.length - 4, 256);
  for (uint64_t i = 0; i < length; ++i) {
    uint32_t c = 0;
    if (!cursor.U8(auxc->content.offset + 4 + i, c)) return {};
    if (c == 0) return urn;
    urn.push_back(static_cast<char>(c));
  }
  return {};
}

bool IsAlphaOf(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item, uint32_t of) {
  const std::vector<uint32_t> to = meta.ReferencesFrom(item.id, FourCc("auxl"));
  return std::find(to.begin(), to.end(), of) != to.end() && IsAlphaUrn(ReadAuxiliaryType(cursor, meta, item));
}

bool ReadGridDescriptor(ByteCursor& cursor, const IsobmffItem& grid, IsobmffGrid& out) {
  uint8_t head[12] = {};
  if (!ReadItemBytes(cursor, grid, 0, head, 4) || head[0] != 0) return false;
  const bool wide = (head[1] & 1) != 0;
  if (!ReadItemBytes(cursor, grid, 4, head + 4, wide ? 8 : 4)) return false;
  out.rows = head[2] + 1u;
  out.columns = head[3] + 1u;
  if (wide) {
    out.width = (uint32_t{head[4]} << 24) | (uint32_t{head[5]} << 16) | (uint32_t{head[6]} << 8) | head[7];
    out.height = (uint32_t{head[8]} << 24) | (uint32_t{head[9]} << 16) | (uint32_t{head[10]} << 8) | head[11];
  } else {
    out.width = (uint32_t{head[4]} << 8) | head[5];
    out.height = (uint32_t{head[6]} << 8) | head[7];
  }
  return out.width != 0 && out.height != 0;
}

void ReadIsobmffFacts(ByteCursor& cursor, FactsWanted wanted, PictureFacts& facts) {
  IsobmffMeta meta;
  if (!ReadIsobmffMeta(cursor, meta)) return;
  const IsobmffItem* primary = meta.Item(meta.primary);
  if (primary == nullptr) return;
  uint32_t width = 0, height = 0;
  const IsobmffProperty* ispe = meta.Property(*primary, FourCc("ispe"));
  IsobmffGrid grid;
  if (ispe != nullptr && ReadSpatialExtent(cursor, *ispe, width, height)) {
  } else if (primary->type == FourCc("grid") && ReadGridDescriptor(cursor, *primary, grid)) {
    width = grid.width, height = grid.height;
  } else {
    return;
  }
  // The depth: the primary's own, else (for a grid) its first tile's.
  uint32_t depth = std::max(ReadBitDepth(cursor, meta, *primary), CodecBitDepth(cursor, meta, *primary));
  if (depth == 0 && primary->type == FourCc("grid")) {
    const std::vector<uint32_t> tiles = meta.ReferencesFrom(primary->id, FourCc("dimg"));
    if (const IsobmffItem* tile = tiles.empty() ? nullptr : meta.Item(tiles.front())) {
      depth = std::max(ReadBitDepth(cursor, meta, *tile), CodecBitDepth(cursor, meta, *tile));
    }
  }
  PictureFormat format = facts.format;
  if (format != PictureFormat::kAvif && format != PictureFormat::kHeif) {
    uint8_t first[kSignatureBytes] = {};
    const size_t count = static_cast<size_t>(std::min<uint64_t>(cursor.Size(), kSignatureBytes));
    if (!cursor.Read(0, first, count)) return;
    format = IsobmffBrandFormat(first, count);
  }
  facts.header.format = format;
  facts.header.width = width;
  facts.header.height = height;
  facts.header.decodedBytesPerPixel = depth > 8 ? 8 : 4;
  if (wanted == FactsWanted::kSize) return;
  for (uint16_t entry : primary->properties) {
    const IsobmffProperty& property = meta.properties[(entry & 0x7FFF) - 1];
    if (property.type == FourCc("colr")) ReadColourProperty(cursor, property, facts.profile, facts.cicp);
  }
  facts.ownTransform = ReadOwnTransform(cursor, meta, *primary);
}
