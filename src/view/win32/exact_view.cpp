#include "view/win32/exact_view.h"

#include <memory>
#include <utility>

#include "view/area_average.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/picture_view.h"
#include "view/win32/zoom_reductions.h"

namespace {

// Worker thread: the job's own part, from the held pixels.
void AveragePart(const PixelHold& source, ExactPart& part, const std::atomic<bool>& cancelled) {
  const AreaAverager averager(PixelsOf(source), part.drawnWidth, part.drawnHeight,
                              part.withAlpha ? AverageMode::kPremultipliedAlpha : AverageMode::kOpaque);
  const DrawnWindow& w = part.window;
  if (!averager.Ok() || w.Empty() || !part.image.Create(w.endColumn - w.firstColumn, w.endRow - w.firstRow, 32,
                                                        part.withAlpha)) {
    return;
  }
  AverageInHalves(averager, TargetPixels{part.image.TopRow(), part.image.Pitch(), part.image.Width(),
                                         part.image.Height()},
                  w.firstColumn, w.endColumn, w.firstRow, w.endRow, &cancelled);
  if (cancelled) part.image.Destroy();
}

}  // namespace

uint64_t RequestExactPart(PictureView& view, const CImage& picture, int32_t drawnWidth, int32_t drawnHeight,
                          const DrawnWindow& window, bool withAlpha, std::function<void(ExactPart&)> deliver) {
  VISTREL_CHECK_THREAD(view.thread);
  CancelExactPart(view);
  auto part = std::make_shared<ExactPart>();
  part->sourceRevision = picture.Revision();
  part->withAlpha = withAlpha;
  part->drawnWidth = drawnWidth;
  part->drawnHeight = drawnHeight;
  part->window = window;
  auto source = std::make_shared<PixelHold>(picture.Hold());
  ExactRequests& requests = view.exact;
  const uint64_t serial = ++requests.partSerial;
  requests.partTask = view.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst,
      [part, source](const std::atomic<bool>& cancelled) {
        try {
          AveragePart(*source, *part, cancelled);
        } catch (...) {
          part->image.Destroy();  // out of memory: the quick view stays
        }
        source->keeper.reset();  // the picture may go now, whatever the window does meanwhile
        return part;
      },
      [&view, serial, deliver = std::move(deliver)](std::shared_ptr<ExactPart>& done) {
        ExactRequests& asked = view.exact;
        if (serial != asked.partSerial || !done) return;  // a later view asked meanwhile
        asked.partTask = 0;
        deliver(*done);
      });
  return serial;
}

uint64_t ExactPartAsked(const PictureView& view) {
  return view.exact.partTask != 0 ? view.exact.partSerial : 0;
}

void CancelExactPart(PictureView& view) {
  VISTREL_CHECK_THREAD(view.thread);
  ExactRequests& requests = view.exact;
  view.tasks.Cancel(requests.partTask);
  requests.partTask = 0;
  ++requests.partSerial;
}

void RequestCurrentLevels(PictureView& view, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                          LevelsUrgency urgency) {
  VISTREL_CHECK_THREAD(view.thread);
  ExactRequests& requests = view.exact;
  if (currentImage.IsNull() || view.shown.levels.Match(currentImage, withAlpha)) return;
  if (requests.levelsAsked && requests.levelsRevision == currentImage.Revision() &&
      requests.levelsAlpha == withAlpha) {
    if (urgency == LevelsUrgency::kNow) view.tasks.PutFirst(requests.levelsTask);
    return;
  }
  if (requests.levelsAsked) view.tasks.Cancel(requests.levelsTask);
  auto source = std::make_shared<PixelHold>(currentImage.Hold());
  if (source->Empty()) return;
  requests.levelsAsked = true;
  requests.levelsRevision = currentImage.Revision();
  requests.levelsAlpha = withAlpha;
  requests.levelsTask = view.tasks.PostTaskAndReply(
      urgency == LevelsUrgency::kNow ? TaskRunner::Placement::kFirst : TaskRunner::Placement::kLast,
      [source, fittedWidth, fittedHeight, withAlpha](const std::atomic<bool>& cancelled) {
        auto reductions = std::make_shared<ZoomReductions>();
        if (!cancelled) {
          try {
            MakeZoomReductions(*source, fittedWidth, fittedHeight, withAlpha, *reductions);
          } catch (...) {
            reductions->levels.clear();  // zoomed views then keep drawing from the fitted copy
          }
        }
        source->keeper.reset();
        return reductions;
      },
      [&view](std::shared_ptr<ZoomReductions>& reductions) {
        // None to make (a picture too small for a level) stays asked, so it is not asked again.
        if (!reductions || reductions->levels.empty()) return;
        if (view.exact.levelsRevision == reductions->sourceRevision) view.exact.levelsAsked = false;
        if (currentImage.IsNull() ||
            currentImage.Revision() != reductions->sourceRevision) {
          return;
        }
        view.shown.levels.Swap(*reductions);
      });
}

void CancelExactViewJobs(PictureView& view) {
  VISTREL_CHECK_THREAD(view.thread);
  CancelExactPart(view);
  if (view.exact.levelsAsked) view.tasks.Cancel(view.exact.levelsTask);
  view.exact.levelsAsked = false;
}
