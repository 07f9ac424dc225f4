#include "decode/heif/heif_rows.h"

#include <algorithm>
#include <utility>
#include <system_error>
#include <thread>

#include "decode/byte_cursor.h"
#include "decode/isobmff/isobmff_format.h"

// libheif's objects for one picture, released together, in the order libheif needs.
struct HeifSession {
  const HeifApi* api = nullptr;
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  const std::atomic<bool>* cancel = nullptr;
  uint64_t maxDecodedBytes = 0;
  heif_context* context = nullptr;
  heif_image_handle* handle = nullptr;
  heif_image* image = nullptr;
  HeifPicture picture;
  bool headerRead = false;
  bool premultiplied = false;
  bool deep = false;

  bool Cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }

  ~HeifSession() {
    if (image != nullptr) api->imageRelease(image);
    if (handle != nullptr) api->handleRelease(handle);
    if (context != nullptr) api->contextFree(context);
  }
};

namespace {

// libheif refuses an image item wider or taller than this when it reads the boxes; it is libheif's
// own default. The area is ours to judge (the limit's bytes).
constexpr int kMaxSide = 32768;

bool Ok(const heif_error& error) { return error.code == heif_error_Ok; }

// libheif 1.15 decodes an item by decoding, recursively, the items it is derived from (a grid's
// tiles, iden's and iovl's inputs: dimg) and its alpha plane (the item whose auxl names it), with
// no guard against a file whose references lead back to an item on the way: its stack overflows.
// True when, from the primary item, those references end within a few steps without a cycle
// (read by our own bounded reader; a file it cannot read is not handed to libheif either).
bool DerivationsEnd(const uint8_t* bytes, size_t size) {
  MemoryByteSource source(bytes, size);
  ByteCursor cursor(source);
  IsobmffMeta meta;
  if (!ReadIsobmffMeta(cursor, meta) || meta.Item(meta.primary) == nullptr) return false;
  const uint32_t dimg = FourCc("dimg"), auxl = FourCc("auxl");
  // The depth-first walk: each entry an item and the depth it was reached at; the path so far.
  constexpr size_t kMaxDepth = 8;
  constexpr size_t kMaxVisits = 1u << 16;
  std::vector<std::pair<uint32_t, size_t>> pending = {{meta.primary, 0}};
  std::vector<uint32_t> path;
  size_t visits = 0;
  while (!pending.empty()) {
    const auto [id, depth] = pending.back();
    pending.pop_back();
    if (++visits > kMaxVisits || depth >= kMaxDepth) return false;
    path.resize(depth);
    if (std::find(path.begin(), path.end(), id) != path.end()) return false;
    path.push_back(id);
    for (const IsobmffReference& reference : meta.references) {
      if (reference.type == dimg && reference.from == id) {
        for (uint32_t to : reference.to) pending.emplace_back(to, depth + 1);
      } else if (reference.type == auxl && std::find(reference.to.begin(), reference.to.end(), id) != reference.to.end()) {
        pending.emplace_back(reference.from, depth + 1);
      }
    }
  }
  return true;
}

// One band of rows, from libheif's interleaved RGB(A) to the caller's BGR(A).
void WriteBand(const uint8_t* source, int sourceStride, int32_t width, int32_t first, int32_t last, bool alpha,
               bool premultiplied, uint8_t* topRow, ptrdiff_t pitch) {
  const int inBytes = alpha ? 4 : 3;
  for (int32_t y = first; y < last; ++y) {
    const uint8_t* in = source + static_cast<ptrdiff_t>(y) * sourceStride;
    uint8_t* out = topRow + static_cast<ptrdiff_t>(y) * pitch;
    if (!alpha) {
      for (int32_t x = 0; x < width; ++x, in += 3, out += 3) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
      }
    } else if (!premultiplied) {
      for (int32_t x = 0; x < width; ++x, in += inBytes, out += 4) {
        out[0] = in[2];
        out[1] = in[1];
        out[2] = in[0];
        out[3] = in[3];
      }
    } else {
      // Straight alpha is what the bitmap holds: a premultiplied file's colours are divided back.
      for (int32_t x = 0; x < width; ++x, in += inBytes, out += 4) {
        const unsigned a = in[3];
        const auto straight = [a](unsigned c) {
          return static_cast<uint8_t>(a == 0 ? 0 : std::min(255u, (c * 255 + a / 2) / a));
        };
        out[0] = straight(in[2]);
        out[1] = straight(in[1]);
        out[2] = straight(in[0]);
        out[3] = static_cast<uint8_t>(a);
      }
    }
  }
}

}  // namespace

HeifRowsDecoder::HeifRowsDecoder(const HeifApi& api, const uint8_t* bytes, size_t size,
                                 const std::atomic<bool>* cancel, uint64_t maxDecodedBytes)
    : session_(std::make_unique<HeifSession>()) {
  session_->api = &api;
  session_->bytes = bytes;
  session_->size = size;
  session_->cancel = cancel;
  session_->maxDecodedBytes = maxDecodedBytes;
}

HeifRowsDecoder::~HeifRowsDecoder() = default;

HeifOutcome HeifRowsDecoder::ReadHeader(HeifPicture& picture) {
  HeifSession& s = *session_;
  if (s.context != nullptr || s.bytes == nullptr || s.size == 0) return HeifOutcome::kFailed;
  if (s.Cancelled()) return HeifOutcome::kCancelled;
  if (!DerivationsEnd(s.bytes, s.size)) return HeifOutcome::kFailed;
  const HeifApi& api = *s.api;
  s.context = api.contextAlloc();
  if (s.context == nullptr) return HeifOutcome::kFailed;
  // Both sides bounded before the boxes are read; the area once the size is known.
  const uint64_t sideLimit = std::min<uint64_t>(kMaxSide, s.maxDecodedBytes / 4);
  api.setMaximumImageSizeLimit(s.context, static_cast<int>(std::max<uint64_t>(sideLimit, 1)));
  if (!Ok(api.readFromMemoryWithoutCopy(s.context, s.bytes, s.size, nullptr))) return HeifOutcome::kFailed;
  if (!Ok(api.getPrimaryImageHandle(s.context, &s.handle)) || s.handle == nullptr) return HeifOutcome::kFailed;
  const int width = api.handleWidth(s.handle);
  const int height = api.handleHeight(s.handle);
  if (width <= 0 || height <= 0) return HeifOutcome::kFailed;
  if (static_cast<uint64_t>(width) > s.maxDecodedBytes / 4 / static_cast<uint64_t>(height))
    return HeifOutcome::kFailed;
  s.picture.width = width;
  s.picture.height = height;
  s.picture.layout = api.handleHasAlpha(s.handle) ? HeifRowLayout::kBgra32 : HeifRowLayout::kBgr24;
  const int bits = api.handleLumaBits(s.handle);
  s.picture.bitDepth = bits > 0 ? bits : 8;
  s.headerRead = true;
  picture = s.picture;
  return s.Cancelled() ? HeifOutcome::kCancelled : HeifOutcome::kDecoded;
}

HeifColourPlan PlanHeifColour(std::vector<uint8_t> profile, const Cicp& cicp, int bitDepth) {
  HeifColourPlan plan;
  plan.transfer = cicp.present ? cicp.transfer : 2;
  plan.profile = profile.empty() && cicp.present ? ProfileForCicp(cicp.primaries, cicp.transfer) : std::move(profile);
  plan.deep = bitDepth > 8 || HdrCurveOf(plan.transfer) != HdrCurve::kNone;
  return plan;
}

HeifOutcome HeifRowsDecoder::Decode(int threads, bool deep) {
  HeifSession& s = *session_;
  if (!s.headerRead || s.image != nullptr) return HeifOutcome::kFailed;
  if (s.Cancelled()) return HeifOutcome::kCancelled;
  // 16-bit samples take 8 bytes a pixel: within the limit too.
  if (deep && static_cast<uint64_t>(s.picture.width) > s.maxDecodedBytes / 8 / static_cast<uint64_t>(s.picture.height))
    return HeifOutcome::kFailed;
  const HeifApi& api = *s.api;
  // Grid tiles on up to `threads` threads (0 keeps libheif on the calling thread), and as many
  // for libde265 inside each picture where our libheif lets us choose.
  api.setMaxDecodingThreads(s.context, threads > 1 ? threads : 0);
  if (api.setHevcThreads != nullptr) api.setHevcThreads(std::max(threads, 1));

  struct Options {
    const HeifApi& api;
    heif_decoding_options* options;
    ~Options() {
      if (options != nullptr) api.decodingOptionsFree(options);
    }
  } options{api, api.decodingOptionsAlloc()};
  if (options.options == nullptr) return HeifOutcome::kFailed;
  // Otherwise deeper pictures come as 8 bits a channel: the bitmap's.
  if (!deep && options.options->version >= 2) options.options->convert_hdr_to_8bit = 1;

  const bool alpha = s.picture.layout == HeifRowLayout::kBgra32;
  const heif_chroma chroma = deep ? (alpha ? heif_chroma_interleaved_RRGGBBAA_LE : heif_chroma_interleaved_RRGGBB_LE)
                                  : (alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB);
  if (!Ok(api.decodeImage(s.handle, &s.image, heif_colorspace_RGB, chroma, options.options)) || s.image == nullptr)
    return s.Cancelled() ? HeifOutcome::kCancelled : HeifOutcome::kFailed;
  if (s.Cancelled()) return HeifOutcome::kCancelled;
  // What came out must be what the rows expect: the handle's size, the depth, the chosen layout.
  const int bits = api.imageBitsPerPixelRange(s.image, heif_channel_interleaved);
  if (api.imageChroma(s.image) != chroma ||
      api.imageWidth(s.image, heif_channel_interleaved) != s.picture.width ||
      api.imageHeight(s.image, heif_channel_interleaved) != s.picture.height ||
      (deep ? bits < 8 || bits > 16 : bits != 8)) {
    return HeifOutcome::kFailed;
  }
  int stride = 0;
  const uint8_t* plane = api.imagePlaneReadonly(s.image, heif_channel_interleaved, &stride);
  const int pixelBytes = (alpha ? 4 : 3) * (deep ? 2 : 1);
  if (plane == nullptr || stride < s.picture.width * pixelBytes) return HeifOutcome::kFailed;
  if (deep && (stride % 2 != 0 || reinterpret_cast<uintptr_t>(plane) % 2 != 0)) return HeifOutcome::kFailed;
  s.premultiplied = alpha && api.imageIsPremultiplied(s.image) != 0;
  s.deep = deep;
  s.picture.bitDepth = deep ? bits : s.picture.bitDepth;
  return HeifOutcome::kDecoded;
}

DeepPixels HeifRowsDecoder::DeepSamples() const {
  const HeifSession& s = *session_;
  DeepPixels pixels;
  if (s.image == nullptr || !s.deep) return pixels;
  int stride = 0;
  const uint8_t* plane = s.api->imagePlaneReadonly(s.image, heif_channel_interleaved, &stride);
  pixels.top = reinterpret_cast<const uint16_t*>(plane);
  pixels.pitchBytes = stride;
  pixels.width = s.picture.width;
  pixels.height = s.picture.height;
  pixels.bitDepth = s.picture.bitDepth;
  pixels.hasAlpha = s.picture.layout == HeifRowLayout::kBgra32;
  return pixels;
}

void HeifRowsDecoder::WriteRows(uint8_t* topRow, ptrdiff_t pitch, int threads) const {
  const HeifSession& s = *session_;
  if (s.image == nullptr || s.deep) return;
  int stride = 0;
  const uint8_t* plane = s.api->imagePlaneReadonly(s.image, heif_channel_interleaved, &stride);
  if (plane == nullptr) return;
  const int32_t height = s.picture.height;
  const bool alpha = s.picture.layout == HeifRowLayout::kBgra32;
  // Bands of at least 256 rows: a thread costs more than a small picture's copy.
  const int32_t bands = std::clamp<int32_t>(std::min<int32_t>(threads, height / 256), 1, 16);
  std::vector<std::thread> helpers;
  for (int32_t band = 1; band < bands; ++band) {
    const int32_t first = static_cast<int32_t>(static_cast<int64_t>(height) * band / bands);
    const int32_t last = static_cast<int32_t>(static_cast<int64_t>(height) * (band + 1) / bands);
    try {
      helpers.emplace_back(WriteBand, plane, stride, s.picture.width, first, last, alpha, s.premultiplied, topRow,
                           pitch);
    } catch (const std::system_error&) {
      WriteBand(plane, stride, s.picture.width, first, last, alpha, s.premultiplied, topRow, pitch);
    }
  }
  const int32_t firstEnd = static_cast<int32_t>(static_cast<int64_t>(height) / bands);
  WriteBand(plane, stride, s.picture.width, 0, firstEnd, alpha, s.premultiplied, topRow, pitch);
  for (std::thread& helper : helpers) helper.join();
}

std::vector<uint8_t> HeifRowsDecoder::EmbeddedProfile() const {
  const HeifSession& s = *session_;
  if (s.handle == nullptr) return {};
  const size_t size = s.api->handleRawProfileSize(s.handle);
  // A profile larger than the file cannot have come from it.
  if (size == 0 || size > s.size) return {};
  std::vector<uint8_t> profile(size);
  if (!Ok(s.api->handleRawProfile(s.handle, profile.data()))) return {};
  return profile;
}

Cicp HeifRowsDecoder::Nclx() const {
  const HeifSession& s = *session_;
  Cicp nclx;
  if (s.handle == nullptr) return nclx;
  heif_color_profile_nclx* profile = nullptr;
  if (!Ok(s.api->handleNclxProfile(s.handle, &profile)) || profile == nullptr) return nclx;
  nclx.present = true;
  nclx.primaries = static_cast<uint16_t>(profile->color_primaries);
  nclx.transfer = static_cast<uint16_t>(profile->transfer_characteristics);
  nclx.matrix = static_cast<uint16_t>(profile->matrix_coefficients);
  nclx.fullRange = profile->full_range_flag != 0;
  s.api->nclxProfileFree(profile);
  return nclx;
}
