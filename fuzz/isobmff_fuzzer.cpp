// libFuzzer target: any bytes through the ISOBMFF reader that AVIF and HEIF share: the brands, the
// meta box's items, locations, properties and references, and every property reader the decoders
// use, over a source that aborts when asked for bytes outside the input. Whatever it accepts
// must be self-consistent: every extent inside the file, every property index inside the list,
// every list within its cap.
// Seeds (fuzz/corpus/isobmff/): small AVIF files written by avifenc (plain, alpha, grid, 10-bit,
// irot/imir, ICC), e.g.  avifenc -s 10 -q 30 --irot 1 --imir 0 seed.png seed.avif
#include <cstddef>
#include <cstdint>

#include "checks.h"
#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/icc_profile_extract.h"
#include "decode/isobmff/isobmff_format.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const PictureFormat brand = IsobmffBrandFormat(data, size < kSignatureBytes ? size : kSignatureBytes);
  Require(IsAvifSignature(data, size < kSignatureBytes ? size : kSignatureBytes) == (brand == PictureFormat::kAvif),
          "the AVIF row claims exactly the AVIF brands");
  CheckedSource source(data, size);
  ByteCursor cursor(source);
  IsobmffMeta meta;
  if (ReadIsobmffMeta(cursor, meta)) {
    Require(meta.items.size() <= kMaxIsobmffItems && meta.properties.size() <= kMaxIsobmffProperties,
            "lists within their caps");
    size_t extents = 0;
    for (const IsobmffItem& item : meta.items) {
      Require(item.id != 0 && meta.Item(item.id) == &item, "item ids unique and non-zero");
      Require(item.located == !item.extents.empty(), "a located item has its extents");
      for (const IsobmffSpan& span : item.extents) {
        Require(span.length > 0 && span.offset <= size && span.length <= size - span.offset, "extents inside the file");
      }
      extents += item.extents.size();
      for (uint16_t entry : item.properties) {
        Require((entry & 0x7FFF) >= 1 && (entry & 0x7FFF) <= meta.properties.size(), "property index inside ipco");
      }
      uint64_t length = 0;
      if (meta.ItemLength(item, size, length)) Require(length <= size * item.extents.size(), "item length bounded");
      uint32_t width = 0, height = 0;
      if (const IsobmffProperty* ispe = meta.Property(item, FourCc("ispe"))) {
        if (ReadSpatialExtent(cursor, *ispe, width, height)) Require(width > 0 && height > 0, "a size read is whole");
      }
      const OwnTransform turn = ReadOwnTransform(cursor, meta, item);
      Require(turn.quarterTurns < 4, "quarter turns 0..3");
      Require(ReadBitDepth(cursor, meta, item) <= 255, "pixi depth is a byte");
      (void)ReadAuxiliaryType(cursor, meta, item);
      (void)IsAlphaOf(cursor, meta, item, meta.primary);
      IsobmffGrid grid;
      if (ReadGridDescriptor(cursor, item, grid)) {
        Require(grid.rows >= 1 && grid.rows <= 256 && grid.columns >= 1 && grid.columns <= 256, "grid shape");
      }
    }
    Require(extents <= kMaxIsobmffExtents, "extents within their cap");
    for (const IsobmffProperty& property : meta.properties) {
      if (property.type != FourCc("colr")) continue;
      std::vector<uint8_t> profile;
      Cicp cicp;
      ReadColourProperty(cursor, property, profile, cicp);
      Require(profile.size() <= kMaxProfileBytes, "profile within its limit");
    }
  }
  const PictureFacts facts = ReadPictureFacts(source);
  if (facts.format == PictureFormat::kAvif || facts.format == PictureFormat::kHeif) {
    Require(facts.format == brand, "the row is the brand's");
    Require(!facts.orientationFound && facts.exifOrientation == 0, "no EXIF orientation from a container");
    if (facts.header.format != PictureFormat::kUnknown) {
      Require(facts.header.width > 0 && facts.header.height > 0, "sized means a whole size");
      Require(facts.header.decodedBytesPerPixel == 4 || facts.header.decodedBytesPerPixel == 8, "4 or 8 bytes a pixel");
    }
    Require(ReadPictureHeader(source).format == facts.header.format, "the size-only look agrees");
  }
  return 0;
}
