#include "decode/png/apng_frames.h"

#include <spng.h>
#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <memory>

namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kHeaderEnd = 8 + 12 + 13;  // the signature and the IHDR chunk: where frames are sought
constexpr uint32_t kMostChunkLength = 0x7FFFFFFF;
constexpr uint8_t kDisposeBackground = 1;
constexpr uint8_t kDisposePrevious = 2;
constexpr uint8_t kBlendSource = 0;

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}
uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

struct Chunk {
  const uint8_t* type = nullptr;
  const uint8_t* body = nullptr;
  uint32_t length = 0;
  size_t at = 0;
  size_t next = 0;
  bool Is(const char* name) const { return std::memcmp(type, name, 4) == 0; }
};

// False when no whole chunk starts at `at`: the bytes end (or are cut) there.
bool ChunkAt(const uint8_t* data, size_t size, size_t at, Chunk& chunk) {
  if (at > size || size - at < 12) return false;
  const uint32_t length = Be32(data + at);
  if (length > kMostChunkLength || size - at - 12 < length) return false;
  chunk = Chunk{data + at + 4, data + at + 8, length, at, at + 12 + length};
  return true;
}

// The fuzzer cannot forge checksums, so its build takes every chunk as it is.
bool CrcMatches(const Chunk& chunk) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  (void)chunk;
  return true;
#else
  const uLong crc = crc32(0, chunk.type, static_cast<uInt>(chunk.length) + 4);
  return crc == Be32(chunk.body + chunk.length);
#endif
}

void AddChunk(std::vector<uint8_t>& png, const char* type, const uint8_t* body, size_t length) {
  PutBe32(png, static_cast<uint32_t>(length));
  const size_t start = png.size();
  png.insert(png.end(), type, type + 4);
  if (length > 0) png.insert(png.end(), body, body + length);
  PutBe32(png, static_cast<uint32_t>(crc32(0, png.data() + start, static_cast<uInt>(length + 4))));
}

uint32_t Pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) { return a << 24 | r << 16 | g << 8 | b; }

// Straight-alpha source over destination, rounded to nearest: with u = 255 as and
// v = (255 - as) ad, the result's alpha is (u + v) / 255 and each colour (cs u + cd v) / (u + v).
uint32_t Over(uint32_t r, uint32_t g, uint32_t b, uint32_t a, uint32_t under) {
  const uint32_t u = a * 255, v = (255 - a) * (under >> 24), sum = u + v;
  auto mix = [&](uint32_t source, int shift) { return (source * u + ((under >> shift) & 0xFF) * v + sum / 2) / sum; };
  return Pack(mix(r, 16), mix(g, 8), mix(b, 0), (sum + 127) / 255);
}

}  // namespace

bool ReadApngLayout(const uint8_t* data, size_t size, ApngLayout& layout) {
  layout = ApngLayout{};
  Chunk chunk;
  if (size < sizeof kSignature || std::memcmp(data, kSignature, sizeof kSignature) != 0 ||
      !ChunkAt(data, size, sizeof kSignature, chunk) || !chunk.Is("IHDR") || chunk.length != 13) {
    return false;
  }
  const uint32_t width = Be32(chunk.body), height = Be32(chunk.body + 4);
  if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) return false;
  layout.width = static_cast<int32_t>(width);
  layout.height = static_cast<int32_t>(height);
  layout.depth = chunk.body[8];
  layout.colourType = chunk.body[9];
  layout.interlace = chunk.body[12];
  for (size_t at = chunk.next; ChunkAt(data, size, at, chunk); at = chunk.next) {
    if (chunk.Is("IDAT") || chunk.Is("IEND")) break;
    if (chunk.Is("acTL") && chunk.length == 8 && layout.frames == 0 && CrcMatches(chunk)) {
      layout.frames = std::min<uint32_t>(Be32(chunk.body), INT32_MAX);
      layout.plays = Be32(chunk.body + 4);
    } else if (chunk.Is("fcTL")) {
      layout.defaultImageIsFrame = true;
    } else if (chunk.Is("PLTE")) {
      layout.paletteAt = at, layout.paletteBytes = chunk.next - at;
    } else if (chunk.Is("tRNS")) {
      layout.transparencyAt = at, layout.transparencyBytes = chunk.next - at;
    }
  }
  return true;
}

bool IsAnimatedPng(const uint8_t* data, size_t size) {
  ApngLayout layout;
  return ReadApngLayout(data, size, layout) && layout.frames >= 2;
}

bool ApngHidesDefaultImage(const uint8_t* data, size_t size) {
  ApngLayout layout;
  return ReadApngLayout(data, size, layout) && layout.frames >= 1 && !layout.defaultImageIsFrame;
}

int32_t ApngDelayMs(uint32_t numerator, uint32_t denominator) {
  const uint64_t over = denominator == 0 ? 100 : denominator;
  const uint64_t ms = (uint64_t{numerator} * 1000 + over / 2) / over;
  return PlayedDelayMs(static_cast<int32_t>(std::min<uint64_t>(ms, INT32_MAX)));
}

bool ApngFrames::Open(const uint8_t* data, size_t size, uint64_t mostPixels) {
  data_ = data;
  size_ = size;
  canvas_.clear();
  if (!ReadApngLayout(data, size, layout_) || layout_.frames == 0) {
    layout_ = ApngLayout{};
    return false;
  }
  const uint64_t pixels = static_cast<uint64_t>(layout_.width) * static_cast<uint64_t>(layout_.height);
  if (pixels > std::min(mostPixels, kMaxDecodedPixels) || !SizeFitsDecoder(layout_.width, layout_.height, 4)) {
    layout_ = ApngLayout{};
    return false;
  }
  canvas_.assign(static_cast<size_t>(pixels), 0);
  return Rewind();
}

bool ApngFrames::Rewind() {
  if (canvas_.empty()) return false;
  std::fill(canvas_.begin(), canvas_.end(), 0u);
  saved_.clear();
  at_ = kHeaderEnd;
  sequence_ = 0;
  imageDataSeen_ = false;
  last_ = Control{};
  delayMs_ = 0;
  frameIndex_ = -1;
  broken_ = false;
  return true;
}

int32_t ApngFrames::Plays() const { return static_cast<int32_t>(std::min<uint32_t>(layout_.plays, INT32_MAX)); }

bool ApngFrames::Fail() {
  broken_ = true;
  return false;
}

bool ApngFrames::ReadControl(const uint8_t* body, uint32_t length, Control& control) {
  if (length != 26 || Be32(body) != sequence_) return false;
  ++sequence_;
  control.width = Be32(body + 4);
  control.height = Be32(body + 8);
  control.left = Be32(body + 12);
  control.top = Be32(body + 16);
  control.delayNumerator = Be16(body + 20);
  control.delayDenominator = Be16(body + 22);
  control.dispose = body[24];
  control.blend = body[25];
  return control.width > 0 && control.height > 0 && control.dispose <= kDisposePrevious && control.blend <= 1 &&
         uint64_t{control.left} + control.width <= static_cast<uint64_t>(layout_.width) &&
         uint64_t{control.top} + control.height <= static_cast<uint64_t>(layout_.height);
}

void ApngFrames::StartFramePng(const Control& control) {
  png_.assign(std::begin(kSignature), std::end(kSignature));
  uint8_t header[13] = {};
  for (int i = 0; i < 4; ++i) {
    header[i] = static_cast<uint8_t>(control.width >> (24 - 8 * i));
    header[4 + i] = static_cast<uint8_t>(control.height >> (24 - 8 * i));
  }
  header[8] = layout_.depth;
  header[9] = layout_.colourType;
  header[12] = layout_.interlace;
  AddChunk(png_, "IHDR", header, sizeof header);
  png_.insert(png_.end(), data_ + layout_.paletteAt, data_ + layout_.paletteAt + layout_.paletteBytes);
  png_.insert(png_.end(), data_ + layout_.transparencyAt,
              data_ + layout_.transparencyAt + layout_.transparencyBytes);
}

void ApngFrames::AddFrameData(const uint8_t* bytes, size_t count) { AddChunk(png_, "IDAT", bytes, count); }

bool ApngFrames::DecodeFramePng(const Control& control) {
  AddChunk(png_, "IEND", nullptr, 0);
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
  const int flags = SPNG_CTX_IGNORE_ADLER32;
#else
  const int flags = 0;
#endif
  const std::unique_ptr<spng_ctx, void (*)(spng_ctx*)> context(spng_ctx_new(flags), spng_ctx_free);
  size_t bytes = 0;
  if (!context || spng_set_png_buffer(context.get(), png_.data(), png_.size()) != 0 ||
      spng_decoded_image_size(context.get(), SPNG_FMT_RGBA8, &bytes) != 0 ||
      bytes != size_t{control.width} * control.height * 4) {
    return false;
  }
  rgba_.resize(bytes);
  return spng_decode_image(context.get(), rgba_.data(), bytes, SPNG_FMT_RGBA8, SPNG_DECODE_TRNS) == 0;
}

void ApngFrames::DisposeLast() {
  if (frameIndex_ < 0) return;
  const size_t width = static_cast<size_t>(layout_.width);
  for (uint32_t y = 0; y < last_.height; ++y) {
    uint32_t* row = canvas_.data() + (last_.top + y) * width + last_.left;
    if (last_.dispose == kDisposeBackground) {
      std::fill(row, row + last_.width, 0u);
    } else if (last_.dispose == kDisposePrevious) {
      std::copy_n(saved_.data() + size_t{y} * last_.width, last_.width, row);
    }
  }
}

void ApngFrames::Blend(const Control& control) {
  const size_t width = static_cast<size_t>(layout_.width);
  if (control.dispose == kDisposePrevious) {
    saved_.resize(size_t{control.width} * control.height);
    for (uint32_t y = 0; y < control.height; ++y) {
      const uint32_t* row = canvas_.data() + (control.top + y) * width + control.left;
      std::copy_n(row, control.width, saved_.data() + size_t{y} * control.width);
    }
  }
  const uint8_t* source = rgba_.data();
  for (uint32_t y = 0; y < control.height; ++y) {
    uint32_t* row = canvas_.data() + (control.top + y) * width + control.left;
    for (uint32_t x = 0; x < control.width; ++x, source += 4) {
      const uint32_t r = source[0], g = source[1], b = source[2], a = source[3];
      if (control.blend == kBlendSource || a == 255) {
        row[x] = Pack(r, g, b, a);
      } else if (a != 0) {
        row[x] = Over(r, g, b, a, row[x]);
      }
    }
  }
}

bool ApngFrames::Next() {
  if (canvas_.empty() || broken_ || static_cast<uint32_t>(frameIndex_ + 1) >= layout_.frames) return false;
  Control control;
  bool haveControl = false, usesImageData = false;
  size_t dataChunks = 0;
  for (;;) {
    Chunk chunk;
    const bool whole = ChunkAt(data_, size_, at_, chunk);
    // A frame's data ends at the next frame's control, at IEND or where the bytes end.
    if (!whole || chunk.Is("IEND") || (chunk.Is("fcTL") && dataChunks > 0)) {
      if (dataChunks > 0) break;
      return haveControl ? Fail() : false;
    }
    if (chunk.Is("fcTL")) {
      if (haveControl || !CrcMatches(chunk) || !ReadControl(chunk.body, chunk.length, control)) return Fail();
      haveControl = true;
      // The default image as the first frame fills the canvas, as its IHDR says.
      usesImageData = !imageDataSeen_;
      if (usesImageData && (control.left != 0 || control.top != 0 ||
                            control.width != static_cast<uint32_t>(layout_.width) ||
                            control.height != static_cast<uint32_t>(layout_.height))) {
        return Fail();
      }
      StartFramePng(control);
    } else if (chunk.Is("IDAT")) {
      imageDataSeen_ = true;
      if (haveControl) {  // without a control, the default image that is no frame
        if (!usesImageData || !CrcMatches(chunk)) return Fail();
        AddFrameData(chunk.body, chunk.length);
        ++dataChunks;
      }
    } else if (chunk.Is("fdAT")) {
      if (!haveControl || usesImageData || chunk.length < 4 || !CrcMatches(chunk) || Be32(chunk.body) != sequence_)
        return Fail();
      ++sequence_;
      AddFrameData(chunk.body + 4, chunk.length - 4);
      ++dataChunks;
    }
    at_ = chunk.next;
  }
  if (!DecodeFramePng(control)) return Fail();
  DisposeLast();
  Blend(control);
  // A first frame's "previous" is the empty canvas, so it clears as APNG asks.
  last_ = control;
  delayMs_ = ApngDelayMs(control.delayNumerator, control.delayDenominator);
  ++frameIndex_;
  return true;
}
