#include "browse/win32/first_view.h"

#include <utility>

#include "decode/jpeg/win32/jpeg_decode.h"
#include "picture/orientation.h"
#include "picture/win32/image_edits.h"
#include "view/fit_layout.h"
#include "view/win32/fitted_copy.h"

FirstViewBeside::FirstViewBeside(std::wstring path, uint64_t serial, AreaSource area, TaskRunner::EarlyReplies replies,
                                 Taker take)
    : path_(std::move(path)), serial_(serial), area_(std::move(area)), replies_(std::move(replies)),
      take_(std::move(take)) {}

FirstViewBeside::~FirstViewBeside() { Finish(); }

void FirstViewBeside::Start(const EncodedPicture& picture) {
  // Only JPEGs decode reduced for next to nothing; other formats show when their decode ends.
  if (picture.facts == nullptr || picture.facts->format != PictureFormat::kJpeg || thread_.joinable()) return;
  EncodedPicture mine = picture;
  mine.cancelled = &stop_;
  try {
    thread_ = std::thread([this, mine] { Make(mine); });
  } catch (...) {
    // No thread to be had: the full picture alone, as before.
  }
}

void FirstViewBeside::Finish() noexcept {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

// The view's own thread. Everything it makes is its own until it is posted.
void FirstViewBeside::Make(EncodedPicture picture) {
  try {
    SIZE area{};
    if (!area_(area) || area.cx <= 0 || area.cy <= 0 || stop_) return;
    const PictureFacts& facts = *picture.facts;
    const int32_t width = static_cast<int32_t>(facts.header.width);
    const int32_t height = static_cast<int32_t>(facts.header.height);
    const RotateRequest turn = facts.orientationFound ? TurnForOrientation(facts.exifOrientation) : kTurnNone;
    const bool quarter = turn == kTurnClockwise || turn == kTurnCounterClockwise;
    const int32_t uprightWidth = quarter ? height : width;
    const int32_t uprightHeight = quarter ? width : height;
    const XywhRect fitted = FitImage(uprightWidth, uprightHeight, area.cx, area.cy);
    // The fitted size before the turn.
    const int32_t viewWidth = quarter ? fitted.height : fitted.width;
    const int32_t viewHeight = quarter ? fitted.width : fitted.height;
    CImage decoded;
    if (DecodeJpegFirstView(picture, viewWidth, viewHeight, decoded) != FileDecodeOutcome::kDecoded || stop_) return;
    auto view = std::make_shared<FirstViewPicture>();
    if (ReducesTo(decoded, viewWidth, viewHeight)) {
      FittedCopy copy;
      if (!MakeFittedCopy(decoded, viewWidth, viewHeight, false, copy) || stop_) return;
      decoded.Destroy();
      view->fitted.Swap(copy.image);
    } else {
      view->fitted.Swap(decoded);  // already the size shown (or smaller: then stretched when drawn)
    }
    if (turn != kTurnNone) RotateImage(view->fitted, turn, false);
    if (view->fitted.IsNull() || stop_) return;
    view->path = path_;
    view->serial = serial_;
    view->pictureWidth = uprightWidth;
    view->pictureHeight = uprightHeight;
    replies_.Post([take = take_, view]() mutable { take(view); });
  } catch (...) {
    // Out of memory on the way: no first view; the full picture comes as before.
  }
}
