// The ISOBMFF reader shared by AVIF and HEIF: which brands choose which row, the primary item's
// facts (size, colour, its own turn), and hostile structures refused before anything is allocated.
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "decode/decode_limit.h"
#include "decode/format_table.h"
#include "decode/isobmff/isobmff_format.h"
#include "support/test_isobmff.h"

namespace {

using isobmff::Bytes;

const char* NameOf(PictureFormat format) {
  const FormatRow* row = RowOf(format);
  return row != nullptr ? row->name : "none";
}

PictureFacts FactsOf(const Bytes& bytes) {
  MemoryByteSource source(bytes.data(), bytes.size());
  return ReadPictureFacts(source);
}

Bytes Ftyp(const std::vector<std::string>& brands) {
  isobmff::File file;
  file.brands = brands;
  Bytes bytes = isobmff::Build(file);
  return Bytes(bytes.begin(), bytes.begin() + 16 + 4 * static_cast<long>(brands.size()));
}

TEST(IsobmffBrands, MajorOrCompatibleBrandsChooseTheRowAndAvifWins) {
  struct Case {
    std::vector<std::string> brands;
    PictureFormat expected;
  };
  const Case cases[] = {
      {{"avif", "mif1"}, PictureFormat::kAvif},         {{"mif1", "miaf", "avif"}, PictureFormat::kAvif},
      {{"avis", "msf1"}, PictureFormat::kAvif},         {{"heic", "mif1", "avif"}, PictureFormat::kAvif},
      {{"heic", "mif1"}, PictureFormat::kHeif},         {{"mif1", "heic"}, PictureFormat::kHeif},
      {{"msf1", "hevc"}, PictureFormat::kHeif},         {{"isom", "mp41", "heix"}, PictureFormat::kHeif},
      {{"isom", "iso2", "mp41"}, PictureFormat::kUnknown}, {{"qt  "}, PictureFormat::kUnknown},
  };
  for (const Case& c : cases) {
    const Bytes bytes = Ftyp(c.brands);
    const FormatRow* row = ChooseFormat(bytes.data(), bytes.size());
    const PictureFormat got = row != nullptr ? row->format : PictureFormat::kUnknown;
    EXPECT_EQ(got, c.expected) << "brands " << c.brands.front() << "...(" << c.brands.size() << "): expected "
                               << NameOf(c.expected) << ", got " << NameOf(got);
  }
  // The minor version is no brand, and a brand past the ftyp box's own length is not its brand.
  Bytes minor = Ftyp({"mif1", "miaf"});
  std::memcpy(minor.data() + 12, "avif", 4);
  EXPECT_EQ(IsobmffBrandFormat(minor.data(), minor.size()), PictureFormat::kHeif)
      << "expected the minor version field to be no brand";
  // A JPEG 2000 codestream (FF4FFF51) or a JPEG whose next bytes spell ftyp and a brand stays
  // what its first bytes say (found by the format table's fuzzer).
  for (const Bytes& other : {Bytes{0xFF, 0x4F, 0xFF, 0x51, 'f', 't', 'y', 'p', 'h', 'e', 'i', 'm', 'i', 'a', 'a', 'a'},
                             Bytes{0xFF, 0xD8, 0xFF, 0xE0, 'f', 't', 'y', 'p', 'a', 'v', 'i', 'f', 0, 0, 0, 0}}) {
    const FormatRow* row = ChooseFormat(other.data(), other.size());
    EXPECT_TRUE(row == nullptr || (row->format != PictureFormat::kAvif && row->format != PictureFormat::kHeif))
        << "expected another format's first word never to pass for an ftyp box's size, got " << row->name;
  }
  Bytes past = Ftyp({"isom", "mp41"});
  past.insert(past.end(), {'h', 'e', 'i', 'c'});
  EXPECT_EQ(IsobmffBrandFormat(past.data(), past.size()), PictureFormat::kUnknown)
      << "expected bytes after the ftyp box not to count";
}

// A camera's AVIF as the viewer meets it: the primary item turned and mirrored, tagged with both a
// profile and code points, 10 bits deep, with an EXIF item (orientation 6) beside it that must not
// become the picture's orientation.
TEST(IsobmffFacts, PrimaryItemGivesSizeColourDepthAndItsOwnTurnButNoExifOrientation) {
  const Bytes profile = {'a', 'c', 's', 'p', 1, 2, 3, 4, 5};
  isobmff::File file;
  file.primary = 2;
  file.items.push_back({1, "av01", {9, 9, 9}, {isobmff::Ispe(64, 32), isobmff::Av1C(8)}});
  file.items.push_back({2, "av01", {1, 2, 3, 4},
                        {isobmff::Ispe(640, 480), isobmff::Av1C(10), isobmff::IccColour(profile),
                         isobmff::Nclx(9, 16, 9, true), isobmff::Irot(1), isobmff::Imir(1)}});
  file.items.push_back({3, "Exif", {0, 0, 0, 6, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 1, 0x12, 0, 3, 0, 0, 0, 1, 0, 6}});
  file.references.push_back({"cdsc", 3, {2}});
  const PictureFacts facts = FactsOf(isobmff::Build(file));
  EXPECT_EQ(facts.format, PictureFormat::kAvif) << "expected AVIF, got " << NameOf(facts.format);
  EXPECT_EQ(facts.header.format, PictureFormat::kAvif) << "expected it sized";
  EXPECT_EQ(facts.header.width, 640u) << "expected the primary item's width 640, got " << facts.header.width;
  EXPECT_EQ(facts.header.height, 480u) << "expected the primary item's height 480, got " << facts.header.height;
  EXPECT_EQ(facts.header.decodedBytesPerPixel, 8u) << "expected 16-bit samples held for a 10-bit picture";
  EXPECT_EQ(facts.profile, profile) << "expected the colr profile, got " << facts.profile.size() << " bytes";
  EXPECT_TRUE(facts.cicp.present);
  EXPECT_EQ(facts.cicp.primaries, 9) << "expected primaries 9, got " << facts.cicp.primaries;
  EXPECT_EQ(facts.cicp.transfer, 16) << "expected transfer 16, got " << facts.cicp.transfer;
  EXPECT_EQ(facts.cicp.matrix, 9) << "expected matrix 9, got " << facts.cicp.matrix;
  EXPECT_TRUE(facts.cicp.fullRange);
  // A quarter turn anticlockwise, then left and right exchanged: a left-right flip, then three
  // quarter turns anticlockwise.
  EXPECT_TRUE(facts.ownTransform.flipLeftRight);
  EXPECT_EQ(facts.ownTransform.quarterTurns, 3) << "expected 3 quarter turns, got " << +facts.ownTransform.quarterTurns;
  EXPECT_FALSE(facts.orientationFound) << "expected the EXIF item never to be the picture's orientation";
  EXPECT_EQ(facts.exifOrientation, 0);
}

// The picture in a small grid of labels: where a label lands after each operation.
using Grid = std::vector<std::vector<int>>;  // [row][column]

Grid TurnAnticlockwise(const Grid& in) {
  const size_t h = in.size(), w = in[0].size();
  Grid out(w, std::vector<int>(h));
  for (size_t y = 0; y < h; ++y) {
    for (size_t x = 0; x < w; ++x) out[w - 1 - x][y] = in[y][x];
  }
  return out;
}

Grid ExchangeLeftRight(Grid in) {
  for (auto& row : in) std::reverse(row.begin(), row.end());
  return in;
}

Grid ExchangeTopBottom(Grid in) {
  std::reverse(in.begin(), in.end());
  return in;
}

Grid Applied(const OwnTransform& t, Grid g) {
  if (t.flipLeftRight) g = ExchangeLeftRight(g);
  for (int i = 0; i < t.quarterTurns; ++i) g = TurnAnticlockwise(g);
  return g;
}

// Every sequence of up to three irot and imir properties, composed in ipma's order, equals the
// operations done one after another on a 3 x 2 picture.
TEST(IsobmffFacts, IrotAndImirComposeInTheirOrder) {
  const Grid start = {{1, 2, 3}, {4, 5, 6}};
  // 0-3: irot of that many quarter turns; 4, 5: imir mode 0, 1.
  for (int length = 1; length <= 3; ++length) {
    int combinations = 1;
    for (int i = 0; i < length; ++i) combinations *= 6;
    for (int code = 0; code < combinations; ++code) {
      isobmff::File file;
      std::vector<Bytes> properties = {isobmff::Ispe(3, 2)};
      Grid expected = start;
      std::string name;
      for (int i = 0, c = code; i < length; ++i, c /= 6) {
        const int op = c % 6;
        if (op < 4) {
          properties.push_back(isobmff::Irot(static_cast<uint8_t>(op)));
          for (int q = 0; q < op; ++q) expected = TurnAnticlockwise(expected);
          name += " irot " + std::to_string(op);
        } else {
          properties.push_back(isobmff::Imir(static_cast<uint8_t>(op - 4)));
          expected = op == 4 ? ExchangeTopBottom(expected) : ExchangeLeftRight(expected);
          name += " imir " + std::to_string(op - 4);
        }
      }
      file.items.push_back({1, "av01", {1}, properties});
      const PictureFacts facts = FactsOf(isobmff::Build(file));
      EXPECT_EQ(Applied(facts.ownTransform, start), expected)
          << "after" << name << ": got flip " << facts.ownTransform.flipLeftRight << ", turns "
          << +facts.ownTransform.quarterTurns;
    }
  }
}

TEST(IsobmffFacts, GridIsSizedByItsOwnExtentElseItsDescriptorAndTilesGiveTheDepth) {
  isobmff::File file;
  file.brands = {"heic", "mif1"};
  file.items.push_back({1, "grid", isobmff::GridDescriptor(2, 3, 1500, 900), {isobmff::Ispe(1400, 800)}});
  file.items[0].inIdat = true;
  for (uint32_t id = 2; id <= 7; ++id) file.items.push_back({id, "av01", {7}, {isobmff::Ispe(512, 512), isobmff::Av1C(12)}});
  file.references.push_back({"dimg", 1, {2, 3, 4, 5, 6, 7}});
  PictureFacts facts = FactsOf(isobmff::Build(file));
  EXPECT_EQ(facts.format, PictureFormat::kHeif) << "expected HEIF by its brands, got " << NameOf(facts.format);
  EXPECT_EQ(facts.header.width, 1400u) << "expected the grid's ispe, got " << facts.header.width;
  EXPECT_EQ(facts.header.height, 800u);
  EXPECT_EQ(facts.header.decodedBytesPerPixel, 8u) << "expected the tiles' 12 bits to count";
  file.items[0].properties.clear();
  facts = FactsOf(isobmff::Build(file));
  EXPECT_EQ(facts.header.width, 1500u) << "expected the descriptor's width without an ispe, got "
                                       << facts.header.width;
  EXPECT_EQ(facts.header.height, 900u);
}

TEST(IsobmffMeta, AlphaIsTheAuxiliaryItemThatSaysSoAndRefersToThePicture) {
  isobmff::File file;
  file.items.push_back({1, "av01", {1}, {isobmff::Ispe(8, 8)}});
  file.items.push_back({2, "av01", {2}, {isobmff::Ispe(8, 8), isobmff::AuxC("urn:mpeg:mpegB:cicp:systems:auxiliary:alpha")}});
  file.items.push_back({3, "av01", {3}, {isobmff::Ispe(8, 8), isobmff::AuxC("urn:mpeg:hevc:2015:auxid:2")}});
  file.items.push_back({4, "av01", {4}, {isobmff::Ispe(8, 8), isobmff::AuxC("urn:mpeg:hevc:2015:auxid:1")}});
  file.references = {{"auxl", 2, {1}}, {"auxl", 3, {1}}, {"auxl", 4, {9}}};
  const Bytes bytes = isobmff::Build(file);
  MemoryByteSource source(bytes.data(), bytes.size());
  ByteCursor cursor(source);
  IsobmffMeta meta;
  ASSERT_TRUE(ReadIsobmffMeta(cursor, meta));
  ASSERT_EQ(meta.items.size(), 4u);
  const bool expected[] = {false, true, false, false};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(IsAlphaOf(cursor, meta, meta.items[i], 1), expected[i])
        << "item " << meta.items[i].id << ": expected " << (expected[i] ? "" : "not ") << "the picture's alpha";
  }
  // The extents point at each item's own bytes.
  uint8_t data = 0;
  ASSERT_EQ(meta.items[2].extents.size(), 1u);
  ASSERT_TRUE(cursor.Read(meta.items[2].extents[0].offset, &data, 1));
  EXPECT_EQ(data, 3) << "expected item 3's byte, got " << +data;
}

// Hostile structures: unsized (refused by the decode limit's check like an unknown file), never
// read outside the file. The buffers are exactly the file's length, so the sanitizer sees a read
// past them.
TEST(IsobmffHostile, CutFilesLyingCountsAndHugeExtentsAreRefused) {
  isobmff::File file;
  file.items.push_back({1, "av01", Bytes(40, 7), {isobmff::Ispe(300, 200), isobmff::Nclx(1, 13, 6, false)}});
  const Bytes whole = isobmff::Build(file);
  ASSERT_EQ(FactsOf(whole).header.width, 300u) << "expected the untouched file sized";
  // Cut anywhere, the item's bytes are no longer all there: unsized, whatever the cut.
  for (size_t length = 0; length < whole.size(); ++length) {
    const Bytes cut(whole.begin(), whole.begin() + static_cast<long>(length));
    const PictureFacts facts = FactsOf(cut);
    EXPECT_EQ(facts.header.format, PictureFormat::kUnknown) << "cut to " << length << " of " << whole.size()
                                                             << " bytes: expected unsized, got "
                                                             << facts.header.width << " x " << facts.header.height;
  }
  // Bytes of the box of this type rewritten, counting from its type field.
  const auto patched = [&](const char* type, std::vector<std::pair<long, uint32_t>> changes) {
    Bytes bytes = whole;
    const size_t at = isobmff::FindType(bytes, type);
    EXPECT_NE(at, std::string::npos) << type;
    for (const auto& [delta, value] : changes) isobmff::PutU32(bytes, static_cast<size_t>(static_cast<long>(at) + delta), value);
    return bytes;
  };
  // iinf's entry count (16 bits, right after its version and flags) far beyond its bytes.
  Bytes lyingCount = whole;
  const size_t iinf = isobmff::FindType(lyingCount, "iinf");
  lyingCount[iinf + 8] = 0xFF, lyingCount[iinf + 9] = 0xFF;
  EXPECT_EQ(FactsOf(lyingCount).header.format, PictureFormat::kUnknown) << "expected 65535 items in a small box refused";
  // ipma's count of items, and a box claiming more bytes than the file has.
  EXPECT_EQ(FactsOf(patched("ipma", {{8, 0x7FFFFFFF}})).header.format, PictureFormat::kUnknown)
      << "expected 2^31 associations refused";
  EXPECT_EQ(FactsOf(patched("meta", {{-4, 0xFFFFFF00}})).header.format, PictureFormat::kUnknown)
      << "expected a meta box longer than the file refused";
  // A size the decode limit refuses is still read, so that the limit can refuse it.
  const PictureFacts huge = FactsOf(patched("ispe", {{8, 100000}, {12, 60000}}));
  ASSERT_EQ(huge.header.format, PictureFormat::kAvif);
  EXPECT_EQ(huge.header.width, 100000u) << "expected the lying width read, got " << huge.header.width;
  EXPECT_FALSE(HeaderFitsDecoder(huge.header)) << "expected 100000 x 60000 pixels over the decode limit";
}

}  // namespace
