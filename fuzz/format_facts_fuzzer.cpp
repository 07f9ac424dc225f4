// libFuzzer target: any bytes through the format table as the decode reads them: the row chosen
// by the signature, then its facts reader (size, embedded profile, EXIF orientation; for a JPEG
// the one marker walk and the EXIF parse of its block), through a source that aborts when it is
// asked for bytes outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "decode/format_table.h"
#include "decode/icc_profile_extract.h"
#include "checks.h"

namespace {

constexpr PictureFormat kEveryFormat[] = {PictureFormat::kJpeg, PictureFormat::kPng,      PictureFormat::kGif,
                                          PictureFormat::kBmp,  PictureFormat::kTiff,     PictureFormat::kJpeg2000,
                                          PictureFormat::kWebp, PictureFormat::kAvif,     PictureFormat::kHeif,
                                          PictureFormat::kJxl};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // At most one row claims any bytes: the choice never depends on the table's order.
  int claims = 0;
  for (PictureFormat format : kEveryFormat) {
    const FormatRow* row = RowOf(format);
    Require(row != nullptr && row->format == format, "every format has its row");
    if (row->signature(data, size < kSignatureBytes ? size : kSignatureBytes)) ++claims;
  }
  Require(claims <= 1, "signatures do not overlap");
  const FormatRow* chosen = ChooseFormat(data, size);
  Require((chosen != nullptr) == (claims == 1), "the chosen row is the one that claims the bytes");

  CheckedSource source(data, size);
  const PictureFacts facts = ReadPictureFacts(source);
  Require(facts.format == (chosen != nullptr ? chosen->format : PictureFormat::kUnknown), "facts of the chosen row");
  Require(facts.header.format == PictureFormat::kUnknown || facts.header.format == facts.format,
          "a size only of the chosen format");
  if (facts.header.format == PictureFormat::kUnknown) {
    Require(facts.header.width == 0 && facts.header.height == 0, "unsized carries no size");
  }
  Require(facts.profile.size() <= kMaxProfileBytes, "profile within its limit");
  if (facts.format == PictureFormat::kUnknown) Require(facts.profile.empty(), "no profile without a format");
  if (facts.orientationFound) Require(facts.format == PictureFormat::kJpeg, "orientation only from a JPEG's EXIF");
  Require(facts.orientationFound || facts.exifOrientation == 0, "no orientation without an EXIF block");
  Require(facts.exifOrientation >= 0 && facts.exifOrientation <= 8, "orientation 0 (none) or 1 to 8");
  // The other entry points agree with the one pass.
  Require(ReadPictureHeader(source).format == facts.header.format, "header reader agrees");
  Require(EmbeddedIccProfile(source) == facts.profile, "profile reader agrees");
  return 0;
}
