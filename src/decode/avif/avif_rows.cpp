#include "decode/avif/avif_rows.h"

#include <dav1d/dav1d.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "decode/avif/yuv_rows.h"
#include "decode/byte_cursor.h"
#include "decode/isobmff/isobmff_format.h"

namespace {

// One picture dav1d gave, released when its owner goes.
class PictureRef {
 public:
  PictureRef() = default;
  ~PictureRef() { Release(); }
  PictureRef(const PictureRef&) = delete;
  PictureRef& operator=(const PictureRef&) = delete;
  Dav1dPicture* get() { return &picture_; }
  const Dav1dPicture& operator*() const { return picture_; }
  void Release() {
    if (picture_.ref != nullptr) dav1d_picture_unref(&picture_);
  }

 private:
  Dav1dPicture picture_{};
};

class ContextOwner {
 public:
  ContextOwner() = default;
  ~ContextOwner() {
    if (context_ != nullptr) dav1d_close(&context_);
  }
  ContextOwner(const ContextOwner&) = delete;
  ContextOwner& operator=(const ContextOwner&) = delete;
  Dav1dContext*& get() { return context_; }

 private:
  Dav1dContext* context_ = nullptr;
};

class DataOwner {
 public:
  DataOwner() = default;
  ~DataOwner() { dav1d_data_unref(&data_); }
  DataOwner(const DataOwner&) = delete;
  DataOwner& operator=(const DataOwner&) = delete;
  Dav1dData* get() { return &data_; }

 private:
  Dav1dData data_{};
};

// The bytes stay the caller's (or the session's copy): dav1d is told not to free them.
void KeepBytes(const uint8_t*, void*) {}

// One plane set as decoded: a single AV1 image's own planes, or a grid's tiles copied together.
struct Planes {
  PictureRef single;
  std::vector<uint8_t> joined[3];
  YuvPlanes yuv;
  bool fullRange = false;
  uint16_t primaries = 2, transfer = 2, matrix = 2;
};

}  // namespace

struct AvifSession {
  const uint8_t* bytes = nullptr;
  size_t size = 0;
  const std::atomic<bool>* cancel = nullptr;
  uint64_t maxDecodedBytes = 0;
  std::vector<uint8_t> itemCopy;  // an item of several extents, joined for dav1d
  ContextOwner context;
  std::vector<uint8_t> profile;
  Planes colour;
  Planes alpha;
  bool hasAlpha = false;
  bool premultiplied = false;
  OwnTransform transform;
  Cicp cicp;
  int threads = 1;
  bool cancelled = false;
  bool ready = false;  // decoded whole: the planes may be written

  bool Cancelled() {
    if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) cancelled = true;
    return cancelled;
  }
};

namespace {

bool OpenContext(AvifSession& session) {
  Dav1dSettings settings;
  dav1d_default_settings(&settings);
  settings.n_threads = std::clamp(session.threads, 1, 64);
  settings.max_frame_delay = 1;  // one still frame: out as soon as it is decoded
  settings.all_layers = 0;       // the highest spatial layer only
  settings.frame_size_limit =
      static_cast<unsigned>(std::min<uint64_t>(session.maxDecodedBytes / 4, UINT_MAX));
  return dav1d_open(&session.context.get(), &settings) == 0;
}

// Decodes one AV1 item into picture: its extents handed to dav1d as they lie in the file (joined
// first when there are several).
bool DecodeAv1Item(AvifSession& session, const IsobmffMeta& meta, const IsobmffItem& item, PictureRef& picture) {
  uint64_t length = 0;
  if (item.type != FourCc("av01") || item.protectedItem || !meta.ItemLength(item, session.size, length)) {
    return false;
  }
  const uint8_t* start = session.bytes + item.extents.front().offset;
  if (item.extents.size() > 1) {
    session.itemCopy.resize(static_cast<size_t>(length));
    size_t at = 0;
    for (const IsobmffSpan& span : item.extents) {
      std::memcpy(session.itemCopy.data() + at, session.bytes + span.offset, static_cast<size_t>(span.length));
      at += static_cast<size_t>(span.length);
    }
    start = session.itemCopy.data();
  }
  if (session.context.get() == nullptr && !OpenContext(session)) return false;
  dav1d_flush(session.context.get());  // nothing of the previous item carries over
  DataOwner data;
  if (dav1d_data_wrap(data.get(), start, static_cast<size_t>(length), KeepBytes, nullptr) != 0) return false;
  for (;;) {
    if (data.get()->sz > 0) {
      const int sent = dav1d_send_data(session.context.get(), data.get());
      if (sent < 0 && sent != DAV1D_ERR(EAGAIN)) return false;
    }
    const int got = dav1d_get_picture(session.context.get(), picture.get());
    if (got == 0) break;
    // Every byte handed over and still no picture: the item holds no whole frame.
    if (got != DAV1D_ERR(EAGAIN) || data.get()->sz == 0) return false;
  }
  const Dav1dPicture& p = *picture;
  return p.p.w > 0 && p.p.h > 0 && (p.p.bpc == 8 || p.p.bpc == 10 || p.p.bpc == 12) && p.seq_hdr != nullptr;
}

void Describe(const Dav1dPicture& p, YuvPlanes& yuv, Planes& planes) {
  yuv.width = p.p.w;
  yuv.height = p.p.h;
  yuv.bitDepth = p.p.bpc;
  yuv.monochrome = p.p.layout == DAV1D_PIXEL_LAYOUT_I400;
  yuv.subsampleX = p.p.layout == DAV1D_PIXEL_LAYOUT_I420 || p.p.layout == DAV1D_PIXEL_LAYOUT_I422 ? 1 : 0;
  yuv.subsampleY = p.p.layout == DAV1D_PIXEL_LAYOUT_I420 ? 1 : 0;
  planes.fullRange = p.seq_hdr->color_range != 0;
  planes.primaries = static_cast<uint16_t>(p.seq_hdr->pri);
  planes.transfer = static_cast<uint16_t>(p.seq_hdr->trc);
  planes.matrix = static_cast<uint16_t>(p.seq_hdr->mtrx);
}

bool FitsLimit(uint32_t width, uint32_t height, int depth, uint64_t maxDecodedBytes) {
  return uint64_t{width} * height * (depth > 8 ? 8 : 4) <= maxDecodedBytes;
}

// An item's picture: one AV1 image of exactly width x height, or a grid of AV1 tiles of one size,
// shape and depth that covers width x height and no more than a tile's worth beyond, copied
// together and cut to it.
bool DecodePicture(AvifSession& session, ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item,
                   uint32_t width, uint32_t height, Planes& out) {
  if (item.type == FourCc("av01")) {
    if (session.Cancelled() || !DecodeAv1Item(session, meta, item, out.single) || session.Cancelled()) return false;
    const Dav1dPicture& p = *out.single;
    if (static_cast<uint32_t>(p.p.w) != width || static_cast<uint32_t>(p.p.h) != height) return false;
    Describe(p, out.yuv, out);
    for (int i = 0; i < 3; ++i) {
      out.yuv.plane[i] = static_cast<const uint8_t*>(p.data[i]);
      out.yuv.stride[i] = p.stride[i == 0 ? 0 : 1];
    }
    return true;
  }
  IsobmffGrid grid;
  if (item.type != FourCc("grid") || !ReadGridDescriptor(cursor, item, grid) || grid.width != width ||
      grid.height != height) {
    return false;
  }
  const std::vector<uint32_t> tiles = meta.ReferencesFrom(item.id, FourCc("dimg"));
  if (tiles.size() != static_cast<size_t>(grid.rows) * grid.columns) return false;
  uint32_t tileWidth = 0, tileHeight = 0;
  size_t sampleBytes = 1;
  int32_t chromaWidth = 0, chromaHeight = 0;
  for (size_t t = 0; t < tiles.size(); ++t) {
    const IsobmffItem* tileItem = meta.Item(tiles[t]);
    PictureRef tile;
    if (tileItem == nullptr || session.Cancelled() || !DecodeAv1Item(session, meta, *tileItem, tile) ||
        session.Cancelled()) {
      return false;
    }
    const Dav1dPicture& p = *tile;
    YuvPlanes shape;
    Planes facts;
    Describe(p, shape, facts);
    if (t == 0) {
      tileWidth = static_cast<uint32_t>(p.p.w), tileHeight = static_cast<uint32_t>(p.p.h);
      // The tiles cover the picture, and the last row and column are not wholly outside it.
      if (uint64_t{tileWidth} * grid.columns < width || uint64_t{tileWidth} * (grid.columns - 1) >= width ||
          uint64_t{tileHeight} * grid.rows < height || uint64_t{tileHeight} * (grid.rows - 1) >= height) {
        return false;
      }
      // Subsampled chroma of a tile must start on a whole chroma sample of the picture.
      if ((shape.subsampleX != 0 && tileWidth % 2 != 0 && grid.columns > 1) ||
          (shape.subsampleY != 0 && tileHeight % 2 != 0 && grid.rows > 1)) {
        return false;
      }
      // The joined planes are allocated at the tiles' true depth: judged by it first.
      if (!FitsLimit(width, height, shape.bitDepth, session.maxDecodedBytes)) return false;
      out.yuv = shape;
      out.fullRange = facts.fullRange, out.primaries = facts.primaries, out.transfer = facts.transfer;
      out.matrix = facts.matrix;
      out.yuv.width = static_cast<int32_t>(width), out.yuv.height = static_cast<int32_t>(height);
      sampleBytes = shape.bitDepth > 8 ? 2 : 1;
      chromaWidth = (out.yuv.width + shape.subsampleX) >> shape.subsampleX;
      chromaHeight = (out.yuv.height + shape.subsampleY) >> shape.subsampleY;
      for (int i = 0; i < (shape.monochrome ? 1 : 3); ++i) {
        const int32_t w = i == 0 ? out.yuv.width : chromaWidth, h = i == 0 ? out.yuv.height : chromaHeight;
        out.joined[i].resize(static_cast<size_t>(w) * static_cast<size_t>(h) * sampleBytes);
        out.yuv.plane[i] = out.joined[i].data();
        out.yuv.stride[i] = static_cast<ptrdiff_t>(w * sampleBytes);
      }
    } else if (static_cast<uint32_t>(p.p.w) != tileWidth || static_cast<uint32_t>(p.p.h) != tileHeight ||
               shape.bitDepth != out.yuv.bitDepth || shape.monochrome != out.yuv.monochrome ||
               shape.subsampleX != out.yuv.subsampleX || shape.subsampleY != out.yuv.subsampleY) {
      return false;
    }
    const uint32_t row = static_cast<uint32_t>(t / grid.columns), column = static_cast<uint32_t>(t % grid.columns);
    for (int i = 0; i < (out.yuv.monochrome ? 1 : 3); ++i) {
      const int sx = i == 0 ? 0 : out.yuv.subsampleX, sy = i == 0 ? 0 : out.yuv.subsampleY;
      const int32_t planeWidth = i == 0 ? out.yuv.width : chromaWidth;
      const int32_t planeHeight = i == 0 ? out.yuv.height : chromaHeight;
      const int32_t left = static_cast<int32_t>((column * tileWidth) >> sx);
      const int32_t top = static_cast<int32_t>((row * tileHeight) >> sy);
      const int32_t w = std::min<int32_t>(static_cast<int32_t>((tileWidth + sx) >> sx), planeWidth - left);
      const int32_t h = std::min<int32_t>(static_cast<int32_t>((tileHeight + sy) >> sy), planeHeight - top);
      const ptrdiff_t stride = p.stride[i == 0 ? 0 : 1];
      for (int32_t y = 0; y < h; ++y) {
        std::memcpy(out.joined[i].data() + (static_cast<size_t>(top + y) * static_cast<size_t>(planeWidth) +
                                            static_cast<size_t>(left)) * sampleBytes,
                    static_cast<const uint8_t*>(p.data[i]) + y * stride, static_cast<size_t>(w) * sampleBytes);
      }
    }
  }
  return true;
}

// The depth the item's codec configuration states (av1C), for a grid its first tile's; 8 when
// it says nothing.
int StatedDepth(ByteCursor& cursor, const IsobmffMeta& meta, const IsobmffItem& item) {
  const IsobmffItem* coded = &item;
  if (item.type == FourCc("grid")) {
    const std::vector<uint32_t> tiles = meta.ReferencesFrom(item.id, FourCc("dimg"));
    coded = tiles.empty() ? nullptr : meta.Item(tiles.front());
  }
  uint32_t flags = 0;
  const IsobmffProperty* av1c = coded != nullptr ? meta.Property(*coded, FourCc("av1C")) : nullptr;
  if (av1c == nullptr || av1c->content.length < 4 || !cursor.U8(av1c->content.offset + 2, flags)) return 8;
  return (flags & 0x40) == 0 ? 8 : (flags & 0x20) != 0 ? 12 : 10;
}

}  // namespace

AvifRowsDecoder::AvifRowsDecoder(const uint8_t* bytes, size_t size, const std::atomic<bool>* cancel,
                                 uint64_t maxDecodedBytes)
    : session_(std::make_unique<AvifSession>()) {
  session_->bytes = bytes;
  session_->size = size;
  session_->cancel = cancel;
  session_->maxDecodedBytes = maxDecodedBytes;
}

AvifRowsDecoder::~AvifRowsDecoder() = default;

AvifOutcome AvifRowsDecoder::Decode(AvifPicture& picture, int threads) {
  picture = AvifPicture{};
  if (decoded_) return AvifOutcome::kFailed;
  decoded_ = true;
  AvifSession& s = *session_;
  s.threads = threads;
  const auto failed = [&] { return s.Cancelled() ? AvifOutcome::kCancelled : AvifOutcome::kFailed; };
  if (s.bytes == nullptr || !IsAvifSignature(s.bytes, std::min(s.size, kSignatureBytes))) return AvifOutcome::kFailed;
  MemoryByteSource source(s.bytes, s.size);
  ByteCursor cursor(source);
  IsobmffMeta meta;
  if (!ReadIsobmffMeta(cursor, meta)) return AvifOutcome::kFailed;
  const IsobmffItem* primary = meta.Item(meta.primary);
  if (primary == nullptr || primary->protectedItem) return AvifOutcome::kFailed;
  uint32_t width = 0, height = 0;
  const IsobmffProperty* ispe = meta.Property(*primary, FourCc("ispe"));
  IsobmffGrid grid;
  if (ispe != nullptr) {
    if (!ReadSpatialExtent(cursor, *ispe, width, height)) return AvifOutcome::kFailed;
  } else if (primary->type == FourCc("grid") && ReadGridDescriptor(cursor, *primary, grid)) {
    width = grid.width, height = grid.height;
  } else {
    return AvifOutcome::kFailed;
  }
  // The size refused before dav1d sees a byte, at the depth the file states.
  if (!FitsLimit(width, height, StatedDepth(cursor, meta, *primary), s.maxDecodedBytes)) return AvifOutcome::kFailed;
  for (uint16_t entry : primary->properties) {
    const IsobmffProperty& property = meta.properties[(entry & 0x7FFF) - 1];
    if (property.type == FourCc("colr")) ReadColourProperty(cursor, property, s.profile, s.cicp);
  }
  s.transform = ReadOwnTransform(cursor, meta, *primary);
  const IsobmffItem* alphaItem = nullptr;
  for (const IsobmffItem& item : meta.items) {
    if (&item != primary && IsAlphaOf(cursor, meta, item, primary->id)) {
      alphaItem = &item;
      break;
    }
  }

  if (!DecodePicture(s, cursor, meta, *primary, width, height, s.colour)) return failed();
  if (!FitsLimit(width, height, s.colour.yuv.bitDepth, s.maxDecodedBytes)) return AvifOutcome::kFailed;
  s.colour.yuv.fullRange = s.colour.fullRange;
  if (!s.cicp.present) {
    s.cicp.present = true;
    s.cicp.primaries = s.colour.primaries, s.cicp.transfer = s.colour.transfer, s.cicp.matrix = s.colour.matrix;
    s.cicp.fullRange = s.colour.fullRange;
  }
  s.colour.yuv.matrix = s.cicp.matrix;
  s.colour.yuv.primaries = s.cicp.primaries;
  if (alphaItem != nullptr) {
    // Alpha of another size or depth than the picture's is not its alpha: refused, like libavif.
    if (!DecodePicture(s, cursor, meta, *alphaItem, width, height, s.alpha) ||
        s.alpha.yuv.bitDepth != s.colour.yuv.bitDepth) {
      return failed();
    }
    s.hasAlpha = true;
    const std::vector<uint32_t> premultiplied = meta.ReferencesFrom(primary->id, FourCc("prem"));
    s.premultiplied = std::find(premultiplied.begin(), premultiplied.end(), alphaItem->id) != premultiplied.end();
  }
  s.itemCopy = std::vector<uint8_t>();
  if (s.Cancelled()) return AvifOutcome::kCancelled;
  TurnedSize(s.transform, static_cast<int32_t>(width), static_cast<int32_t>(height), picture.width, picture.height);
  picture.bitDepth = s.colour.yuv.bitDepth;
  picture.hasAlpha = s.hasAlpha;
  picture.cicp = s.cicp;
  s.ready = true;
  return AvifOutcome::kDecoded;
}

namespace {

bool Write(const AvifSession& s, uint8_t* top, ptrdiff_t pitch, RgbRowLayout layout, int threads) {
  AlphaPlane alpha;
  if (s.hasAlpha) {
    alpha.plane = s.alpha.yuv.plane[0];
    alpha.stride = s.alpha.yuv.stride[0];
    alpha.bitDepth = s.alpha.yuv.bitDepth;
    alpha.fullRange = s.alpha.fullRange;
    alpha.premultiplied = s.premultiplied;
  }
  return WriteYuvAsRgb(s.colour.yuv, alpha, s.transform, RgbRows{top, pitch, layout}, threads, s.cancel);
}

}  // namespace

bool AvifRowsDecoder::WriteRows(uint8_t* topRow, ptrdiff_t pitch, int threads) const {
  if (!session_->ready) return false;
  return Write(*session_, topRow, pitch, session_->hasAlpha ? RgbRowLayout::kBgra8 : RgbRowLayout::kBgr8, threads);
}

bool AvifRowsDecoder::WriteDeepRows(uint16_t* top, ptrdiff_t pitchBytes, int threads) const {
  if (!session_->ready) return false;
  return Write(*session_, reinterpret_cast<uint8_t*>(top), pitchBytes,
               session_->hasAlpha ? RgbRowLayout::kRgba16 : RgbRowLayout::kRgb16, threads);
}

const std::vector<uint8_t>& AvifRowsDecoder::EmbeddedProfile() const { return session_->profile; }
