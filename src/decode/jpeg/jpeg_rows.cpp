#include "decode/jpeg/jpeg_rows.h"

#include <initializer_list>

#include "decode/jpeg/jpeg_rows_session.h"

namespace {

// The C side calls back through these; both return normally, so no C++ frame is ever live when
// libjpeg's error exit jumps.
size_t ReadThroughReader(void* context, unsigned char* buffer, size_t capacity) {
  return static_cast<JpegByteReader*>(context)->Read(buffer, capacity);
}

void PublishRows(void* context, int rows) {
  static_cast<RowProgress*>(context)->RowsWritten(static_cast<int32_t>(rows));
}

int CancelRequested(void* context) {
  return static_cast<const std::atomic<bool>*>(context)->load(std::memory_order_relaxed) ? 1 : 0;
}

}  // namespace

JpegRowsDecoder::JpegRowsDecoder(JpegByteReader& reader, JpegCmyk cmyk) : reader_(reader), cmyk_(cmyk) {
  session_ = JpegRowsOpen(ReadThroughReader, &reader_);
}

JpegRowsDecoder::~JpegRowsDecoder() { JpegRowsClose(session_); }

bool JpegRowsDecoder::ReadHeader(JpegRowsHeader& header) {
  if (session_ == nullptr || headerRead_) return false;
  int width = 0, height = 0;
  JpegRowsColour colour = kJpegRowsBgr;
  const JpegRowsStatus status =
      JpegRowsReadHeader(session_, cmyk_ == JpegCmyk::kTake ? 1 : 0, &width, &height, &colour);
  header.width = width;
  header.height = height;
  if (status != kJpegRowsOk) return false;
  headerRead_ = true;
  switch (colour) {
    case kJpegRowsBgr: header.layout = JpegRowLayout::kBgr24; break;
    case kJpegRowsGrey: header.layout = JpegRowLayout::kGrey8; break;
    case kJpegRowsCmyk:
    case kJpegRowsInvertedCmyk: header.layout = JpegRowLayout::kCmyk32; break;
  }
  header.invertedCmyk = colour == kJpegRowsInvertedCmyk;
  return true;
}

bool JpegRowsDecoder::ScaleDown(int denominator, JpegRowsHeader& header) {
  if (!headerRead_ || decodeStarted_) return false;
  int width = 0, height = 0;
  if (JpegRowsScaleDown(session_, denominator, &width, &height) != kJpegRowsOk || width <= 0 || height <= 0) {
    headerRead_ = false;  // libjpeg may be half-way through a change: nothing more from it
    return false;
  }
  header.width = width;
  header.height = height;
  return true;
}

bool JpegRowsDecoder::Progressive() const { return headerRead_ && JpegRowsProgressive(session_) != 0; }

JpegRowsOutcome JpegRowsDecoder::DecodeFirstScans(uint8_t* topRow, ptrdiff_t pitch, const std::atomic<bool>* cancel) {
  if (!headerRead_ || decodeStarted_ || topRow == nullptr || !Progressive()) return JpegRowsOutcome::kNotTaken;
  decodeStarted_ = true;
  int rows = 0;
  const JpegRowsStatus status = JpegRowsDecodeFirstScans(session_, topRow, pitch,
                                                         cancel != nullptr ? CancelRequested : nullptr,
                                                         const_cast<std::atomic<bool>*>(cancel), &rows);
  rowsDone_ = rows;
  if (status == kJpegRowsOk) return JpegRowsOutcome::kDecoded;
  return status == kJpegRowsStopped ? JpegRowsOutcome::kCancelled : JpegRowsOutcome::kNotTaken;
}

JpegRowsOutcome JpegRowsDecoder::DecodeRows(uint8_t* topRow, ptrdiff_t pitch,
                                            const std::atomic<bool>* cancel) {
  if (!headerRead_ || decodeStarted_ || topRow == nullptr) return JpegRowsOutcome::kNotTaken;
  decodeStarted_ = true;
  if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) return JpegRowsOutcome::kCancelled;
  int rows = 0;
  if (published_ != nullptr) JpegRowsSetProgress(session_, PublishRows, published_);
  const JpegRowsStatus status =
      JpegRowsDecode(session_, topRow, pitch, cancel != nullptr ? CancelRequested : nullptr,
                     const_cast<std::atomic<bool>*>(cancel), &rows);
  rowsDone_ = rows;
  switch (status) {
    case kJpegRowsOk: return JpegRowsOutcome::kDecoded;
    case kJpegRowsStopped: return JpegRowsOutcome::kCancelled;
    case kJpegRowsFailed:
    case kJpegRowsEndOfData: break;
  }
  return JpegRowsOutcome::kNotTaken;
}

int ReductionForView(int32_t width, int32_t height, int32_t viewWidth, int32_t viewHeight) {
  if (width <= 0 || height <= 0 || viewWidth <= 0 || viewHeight <= 0) return 0;
  for (int denominator : {8, 4, 2}) {
    // libjpeg rounds a reduced size up.
    const int64_t reducedWidth = (static_cast<int64_t>(width) + denominator - 1) / denominator;
    const int64_t reducedHeight = (static_cast<int64_t>(height) + denominator - 1) / denominator;
    if (reducedWidth >= viewWidth && reducedHeight >= viewHeight) return denominator;
  }
  return 0;
}
