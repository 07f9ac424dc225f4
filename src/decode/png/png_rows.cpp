#include "decode/png/png_rows.h"

#include <spng.h>

#include <cstring>
#include <utility>

namespace {

constexpr uint8_t kGrey = 0;
constexpr uint8_t kRgb = 2;
constexpr uint8_t kPalette = 3;

// Ancillary chunks (text, profiles, unknown) are held while the header is read; a file whose
// extras would take more than this is left to the imaging library instead of growing without end.
constexpr size_t kMostChunkBytes = 16u << 20;
constexpr size_t kMostChunkCacheBytes = 24u << 20;
// Rows decoded between two looks at the cancel flag.
constexpr uint32_t kRowsBetweenCancelChecks = 16;

// libspng asks for exactly length bytes; anything short of that is the end of the file.
int ReadFromReader(spng_ctx*, void* user, void* destination, size_t length) {
  auto& reader = *static_cast<SequentialByteReader*>(user);
  auto* to = static_cast<uint8_t*>(destination);
  while (length > 0) {
    const size_t got = reader.Read(to, length);
    if (got == 0) return SPNG_IO_EOF;
    to += got;
    length -= got;
  }
  return 0;
}

// libspng gives red, green, blue (and alpha); a bitmap stores blue first.
void SwapRedAndBlue(uint8_t* row, int32_t width, size_t pixelBytes) {
  for (int32_t x = 0; x < width; ++x, row += pixelBytes) std::swap(row[0], row[2]);
}

// An sBIT chunk makes libspng rescale converted samples (not palette entries, not the file's own
// indices), which the imaging library does not do.
bool SignificantBitsRescale(spng_ctx* context, const spng_ihdr& ihdr, int format) {
  spng_sbit sbit{};
  if (format == SPNG_FMT_PNG || ihdr.color_type == kPalette || spng_get_sbit(context, &sbit) != 0) return false;
  const uint8_t depth = ihdr.bit_depth;
  const uint8_t bits[] = {sbit.grayscale_bits, sbit.red_bits, sbit.green_bits, sbit.blue_bits, sbit.alpha_bits};
  for (uint8_t b : bits) {
    if (b != 0 && b != depth) return true;
  }
  return false;
}

}  // namespace

PngRowsDecoder::PngRowsDecoder(SequentialByteReader& reader) : reader_(reader), context_(spng_ctx_new(0)) {
  if (context_ == nullptr) return;
  if (spng_set_png_stream(context_, ReadFromReader, &reader_) != 0 ||
      spng_set_chunk_limits(context_, kMostChunkBytes, kMostChunkCacheBytes) != 0) {
    spng_ctx_free(context_);
    context_ = nullptr;
  }
}

PngRowsDecoder::~PngRowsDecoder() {
  if (context_ != nullptr) spng_ctx_free(context_);
}

bool PngRowsDecoder::ReadHeader(PngRowsHeader& header) {
  if (context_ == nullptr || headerRead_) return false;
  spng_ihdr ihdr{};
  if (spng_get_ihdr(context_, &ihdr) != 0 || ihdr.width == 0 || ihdr.height == 0 ||
      ihdr.width > INT32_MAX || ihdr.height > INT32_MAX) {
    return false;
  }
  spng_trns trns{};
  const bool transparency = spng_get_trns(context_, &trns) == 0;
  PngRowsHeader h;
  h.width = static_cast<int32_t>(ihdr.width);
  h.height = static_cast<int32_t>(ihdr.height);
  const bool indexedDepth = ihdr.bit_depth == 1 || ihdr.bit_depth == 4 || ihdr.bit_depth == 8;
  if (!transparency && ihdr.color_type == kPalette && indexedDepth) {
    spng_plte plte{};
    if (spng_get_plte(context_, &plte) != 0 || plte.n_entries == 0 || plte.n_entries > (1u << ihdr.bit_depth))
      return false;
    h.layout = PngRowLayout::kIndexed;
    h.bitsPerPixel = ihdr.bit_depth;
    h.colourCount = plte.n_entries;
    for (uint32_t i = 0; i < plte.n_entries; ++i) {
      const spng_plte_entry& e = plte.entries[i];
      h.colourTable[i][0] = e.blue, h.colourTable[i][1] = e.green, h.colourTable[i][2] = e.red;
    }
    format_ = SPNG_FMT_PNG;
  } else if (!transparency && ihdr.color_type == kGrey && ihdr.bit_depth == 1) {
    h.layout = PngRowLayout::kIndexed;
    h.bitsPerPixel = 1;
    h.colourCount = 2;
    std::memset(h.colourTable[1], 0xFF, 3);
    format_ = SPNG_FMT_PNG;
  } else if (!transparency && ihdr.color_type == kRgb && ihdr.bit_depth == 8) {
    h.layout = PngRowLayout::kBgr24;
    h.bitsPerPixel = 24;
    format_ = SPNG_FMT_RGB8;
  } else {
    h.layout = PngRowLayout::kBgra32;
    h.bitsPerPixel = 32;
    format_ = SPNG_FMT_RGBA8;
  }
  if (SignificantBitsRescale(context_, ihdr, format_)) return false;
  header_ = h;
  header = h;
  headerRead_ = true;
  return true;
}

PngRowsOutcome PngRowsDecoder::DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel) {
  if (!headerRead_ || decodeStarted_) return PngRowsOutcome::kNotTaken;
  decodeStarted_ = true;
  const int flags = SPNG_DECODE_PROGRESSIVE | (format_ == SPNG_FMT_RGBA8 ? SPNG_DECODE_TRNS : 0);
  if (spng_decode_image(context_, nullptr, 0, format_, flags) != 0) return PngRowsOutcome::kNotTaken;

  spng_ihdr ihdr{};
  if (spng_get_ihdr(context_, &ihdr) != 0) return PngRowsOutcome::kNotTaken;
  const bool interlaced = ihdr.interlace_method != 0;
  const size_t rowBytes = header_.RowBytes();
  const size_t pixelBytes = static_cast<size_t>(header_.bitsPerPixel / 8);
  const bool swap = header_.layout != PngRowLayout::kIndexed;
  int result = 0;
  for (uint32_t done = 0;; ++done) {
    if (cancel != nullptr && done % kRowsBetweenCancelChecks == 0 && cancel->load(std::memory_order_relaxed))
      return PngRowsOutcome::kCancelled;
    spng_row_info info{};
    result = spng_get_row_info(context_, &info);
    if (result != 0 || info.row_num >= ihdr.height) break;
    uint8_t* row = topRow + static_cast<ptrdiff_t>(info.row_num) * pitch;
    result = spng_decode_row(context_, row, rowBytes);
    if (result != 0 && result != SPNG_EOI) break;
    // An interlaced row is filled over several passes; its colours are put in order at the end.
    if (swap && !interlaced) SwapRedAndBlue(row, header_.width, pixelBytes);
    if (result == SPNG_EOI) break;
  }
  if (result != SPNG_EOI) return PngRowsOutcome::kNotTaken;
  if (swap && interlaced) {
    for (int32_t y = 0; y < header_.height; ++y)
      SwapRedAndBlue(topRow + static_cast<ptrdiff_t>(y) * pitch, header_.width, pixelBytes);
  }
  return PngRowsOutcome::kDecoded;
}
