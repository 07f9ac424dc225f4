#include "decode/heif/win32/heif_decode.h"

#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

#include "decode/cicp_colour.h"
#include "decode/heif/heif_rows.h"
#include "decode/heif/win32/heif_library.h"
#include "decode/win32/colour_managed.h"

namespace {

// The window's thread sleeps while the worker decodes, so libheif may use every core for its tiles.
int DecodeThreads() { return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u)); }

}  // namespace

FileDecodeOutcome DecodeHeif(const EncodedPicture& picture, CImage& image) {
  image.Destroy();
  const HeifApi* api = HeifLibrary();
  if (api == nullptr) return FileDecodeOutcome::kRefused;
  HeifRowsDecoder decoder(*api, picture.bytes, picture.size, picture.cancelled);
  HeifPicture decoded;
  const auto outcomeOf = [](HeifOutcome outcome) {
    return outcome == HeifOutcome::kCancelled ? FileDecodeOutcome::kCancelled : FileDecodeOutcome::kRefused;
  };
  HeifOutcome outcome = decoder.ReadHeader(decoded);
  if (outcome != HeifOutcome::kDecoded) return outcomeOf(outcome);
  // The decode limit judged the size our reader found; libheif must not find a larger picture
  // (its cropping may make it smaller).
  const PictureHeader* sized = picture.facts != nullptr ? &picture.facts->header : nullptr;
  if (sized != nullptr && sized->format == PictureFormat::kHeif &&
      static_cast<uint64_t>(decoded.width) * static_cast<uint64_t>(decoded.height) >
          static_cast<uint64_t>(sized->width) * sized->height) {
    return FileDecodeOutcome::kRefused;
  }
  // The colour box as our reader found it, else as libheif did (the same box).
  std::vector<uint8_t> profile = picture.facts != nullptr ? picture.facts->profile : std::vector<uint8_t>{};
  if (profile.empty()) profile = decoder.EmbeddedProfile();
  const Cicp cicp = picture.facts != nullptr && picture.facts->cicp.present ? picture.facts->cicp : decoder.Nclx();
  const HeifColourPlan colour = PlanHeifColour(std::move(profile), cicp, decoded.bitDepth);

  const int threads = DecodeThreads();
  outcome = decoder.Decode(threads, colour.deep);
  if (outcome != HeifOutcome::kDecoded) return outcomeOf(outcome);
  const bool alpha = decoded.layout == HeifRowLayout::kBgra32;
  if (!image.Create(decoded.width, decoded.height, decoded.BitsPerPixel(), alpha)) return FileDecodeOutcome::kRefused;
  if (colour.deep) {
    // Converted at 16 bits (tone-mapped under PQ or HLG), then rounded into the bitmap.
    if (!WriteDeepRowsAsDisplay(decoder.DeepSamples(), colour.transfer, colour.profile, *picture.display,
                                image.TopRow(), image.Pitch(), alpha, threads)) {
      image.Destroy();
      return FileDecodeOutcome::kRefused;
    }
  } else {
    decoder.WriteRows(image.TopRow(), image.Pitch(), threads);
    ConvertColours(image, colour.profile, *picture.display);
  }
  if (picture.cancelled != nullptr && picture.cancelled->load(std::memory_order_relaxed)) {
    image.Destroy();
    return FileDecodeOutcome::kCancelled;
  }
  return FileDecodeOutcome::kDecoded;
}
