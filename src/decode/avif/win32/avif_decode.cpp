#include "decode/avif/win32/avif_decode.h"

#include <algorithm>
#include <memory>
#include <new>
#include <thread>

#include "decode/avif/avif_rows.h"
#include "decode/cicp_colour.h"
#include "decode/decode_limit.h"
#include "decode/isobmff/isobmff_format.h"
#include "decode/win32/colour_managed.h"

namespace {

// The window's thread sleeps while the worker decodes, so dav1d and the conversion may use
// every core.
int DecodeThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)); }

}  // namespace

FileDecodeOutcome DecodeAvif(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  if (!IsAvifSignature(picture.bytes, std::min(picture.size, kSignatureBytes))) return FileDecodeOutcome::kNotTaken;
  const PictureFacts& facts = *picture.facts;
  // The facts' size first: a container that states none, or one over the limit, is refused
  // before dav1d sees a byte.
  if (facts.header.format != PictureFormat::kAvif || !HeaderFitsDecoder(facts.header)) {
    return FileDecodeOutcome::kRefused;
  }
  const int threads = DecodeThreads();
  // A write refuses only when cancel was seen (or nothing was decoded, which Decode reports).
  const auto unwritten = [&] {
    return picture.cancelled != nullptr && picture.cancelled->load() ? FileDecodeOutcome::kCancelled
                                                                     : FileDecodeOutcome::kRefused;
  };
  AvifRowsDecoder decoder(picture.bytes, picture.size, picture.cancelled);
  AvifPicture decoded;
  switch (decoder.Decode(decoded, threads)) {
    case AvifOutcome::kDecoded: break;
    case AvifOutcome::kCancelled: return FileDecodeOutcome::kCancelled;
    case AvifOutcome::kFailed: return FileDecodeOutcome::kRefused;
  }
  int32_t width = static_cast<int32_t>(facts.header.width), height = static_cast<int32_t>(facts.header.height);
  if ((facts.ownTransform.quarterTurns & 1) != 0) std::swap(width, height);
  if (decoded.width != width || decoded.height != height) return FileDecodeOutcome::kRefused;
  if (!image.Create(decoded.width, decoded.height, decoded.hasAlpha ? 32 : 24, decoded.hasAlpha)) {
    return FileDecodeOutcome::kRefused;
  }
  // The picture's own profile wins over its code points; code points that need no conversion
  // (sRGB, BT.709, unspecified) give none.
  const std::vector<uint8_t>& embedded = decoder.EmbeddedProfile();
  const std::vector<uint8_t> colours =
      !embedded.empty() ? embedded : ProfileForCicp(decoded.cicp.primaries, decoded.cicp.transfer);
  const uint16_t transfer = embedded.empty() ? decoded.cicp.transfer : 2;
  if (decoded.bitDepth > 8 || HdrCurveOf(transfer) != HdrCurve::kNone) {
    const int channels = decoded.hasAlpha ? 4 : 3;
    const size_t samples = static_cast<size_t>(decoded.width) * static_cast<size_t>(decoded.height) * channels;
    std::unique_ptr<uint16_t[]> deep(new (std::nothrow) uint16_t[samples]);
    if (deep == nullptr) return FileDecodeOutcome::kRefused;
    const ptrdiff_t deepPitch = static_cast<ptrdiff_t>(decoded.width) * channels * 2;
    if (!decoder.WriteDeepRows(deep.get(), deepPitch, threads)) return unwritten();
    const DeepPixels pixels{deep.get(), deepPitch, decoded.width, decoded.height, decoded.bitDepth, decoded.hasAlpha};
    if (!WriteDeepRowsAsDisplay(pixels, transfer, colours, *picture.display, image.TopRow(), image.Pitch(),
                                decoded.hasAlpha, threads)) {
      return FileDecodeOutcome::kRefused;
    }
    return FileDecodeOutcome::kDecoded;
  }
  if (!decoder.WriteRows(image.TopRow(), image.Pitch(), threads)) return unwritten();
  ConvertColours(image, colours, *picture.display);
  return FileDecodeOutcome::kDecoded;
}
