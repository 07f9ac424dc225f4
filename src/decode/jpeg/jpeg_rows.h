// Decoding a JPEG straight into the rows of a bitmap the caller owns, read through a small byte
// reader (no whole-file buffer). Covers the common files: 8-bit colour (YCbCr or RGB) and 8-bit
// greyscale, and 8-bit CMYK or YCCK when the caller asks for them. Everything else, and any file
// libjpeg cannot finish, is "not taken" so the caller can hand it to the imaging library instead.
// Platform-free; one decoder is used by one thread.
#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "decode/row_progress.h"

struct JpegRowsSession;

// Where the compressed bytes come from, in order. Called only on the decoding thread.
class JpegByteReader {
 public:
  // Copies up to capacity bytes into buffer; 0 at the end of the file or on a read error.
  virtual size_t Read(uint8_t* buffer, size_t capacity) noexcept = 0;

 protected:
  ~JpegByteReader() = default;
};

// What each row receives.
enum class JpegRowLayout {
  kBgr24,  // 3 bytes a pixel: blue, green, red, as a 24-bit bitmap stores them
  kGrey8,  // 1 byte a pixel, the grey level; a bitmap shows it through a grey colour table
  kCmyk32,  // 4 bytes a pixel: cyan, magenta, yellow, black, for a colour profile to turn into BGRA
};

struct JpegRowsHeader {
  int32_t width = 0;
  int32_t height = 0;
  JpegRowLayout layout = JpegRowLayout::kBgr24;
  // kCmyk32 only: 255 means no ink rather than full ink (files with Adobe's marker).
  bool invertedCmyk = false;
  int32_t BitsPerPixel() const {
    return layout == JpegRowLayout::kBgr24 ? 24 : layout == JpegRowLayout::kCmyk32 ? 32 : 8;
  }
  int32_t RowBytes() const { return width * (BitsPerPixel() / 8); }  // without padding
};

enum class JpegRowsOutcome {
  kDecoded,    // every row written
  kNotTaken,   // not a file this decoder finishes: another decoder should try it
  kCancelled,  // the cancel flag was seen set; the rows are partly written
};

// Whether CMYK and YCCK files are decoded (to kCmyk32 rows) or left to the imaging library:
// CMYK numbers mean nothing on screen without the file's own profile to convert them.
enum class JpegCmyk { kDecline, kTake };

class JpegRowsDecoder {
 public:
  // The reader must outlive the decoder.
  explicit JpegRowsDecoder(JpegByteReader& reader, JpegCmyk cmyk = JpegCmyk::kDecline);
  ~JpegRowsDecoder();
  JpegRowsDecoder(const JpegRowsDecoder&) = delete;
  JpegRowsDecoder& operator=(const JpegRowsDecoder&) = delete;

  // Reads up to the first scan. False: not taken (not a JPEG, or a kind decoded elsewhere);
  // header's width and height then still hold the frame's size when libjpeg could read the
  // frame header (0 when it could not), so a caller can apply its size limit to every kind.
  bool ReadHeader(JpegRowsHeader& header);
  // After a successful ReadHeader, before DecodeRows: the picture comes reduced by `denominator`
  // (2, 4 or 8) in each direction, far faster than whole (at 8 the inverse transform is skipped);
  // header's width and height become the reduced size. False leaves the decoder unusable.
  bool ScaleDown(int denominator, JpegRowsHeader& header);
  // After a successful ReadHeader, once: writes row y (top row first) at topRow + y * pitch, with
  // header.RowBytes() bytes each; pitch is negative for bottom-up bitmaps. cancel (may be null) is
  // checked every few rows and between the scans of a progressive file. A file that ends before
  // its last row is not taken: the imaging library decides what such a file shows.
  JpegRowsOutcome DecodeRows(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel);
  // After a successful ReadHeader: whether the file is progressive (its scans refine the whole
  // picture one after the other).
  bool Progressive() const;
  // Instead of DecodeRows, for progressive files only: writes the picture the first scans give
  // (every component's DC coefficients: a blurred but whole picture), far sooner than the full
  // decode. kNotTaken for other files.
  JpegRowsOutcome DecodeFirstScans(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel);
  // Rows written by DecodeRows so far, counted from the top.
  int32_t RowsDone() const { return rowsDone_; }
  // Before DecodeRows: progress hears the count of rows written after each batch, so another
  // thread can work on the rows above it while the decode goes on.
  void PublishRowsTo(RowProgress* progress) { published_ = progress; }

 private:
  JpegByteReader& reader_;
  JpegCmyk cmyk_;
  JpegRowsSession* session_ = nullptr;  // owned; null when it could not be made
  bool headerRead_ = false;
  bool decodeStarted_ = false;
  int32_t rowsDone_ = 0;
  RowProgress* published_ = nullptr;
};

// The reduction (2, 4 or 8) a first view of a width x height JPEG shown at viewWidth x
// viewHeight is decoded at: the largest that still gives at least one decoded pixel per pixel
// shown. 0 when even a halving would give fewer (the view is more than half the picture's size):
// the full decode is then the first view.
int ReductionForView(int32_t width, int32_t height, int32_t viewWidth, int32_t viewHeight);
