#include "view/win32/exact_view.h"

#include <memory>
#include <utility>

#include "framework/worker_thread.h"
#include "view/area_average.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/zoom_reductions.h"

namespace {

// Window's thread only.
struct Requests {
  uint64_t partSerial = 0;
  WorkerThread::Ticket partTicket = 0;
  bool levelsAsked = false;
  uint64_t levelsRevision = 0;
  bool levelsAlpha = false;
  WorkerThread::Ticket levelsTicket = 0;
};
Requests requests;

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

uint64_t RequestExactPart(HWND viewer, const CImage& picture, int32_t drawnWidth, int32_t drawnHeight,
                      const DrawnWindow& window, bool withAlpha, std::function<void(ExactPart&)> deliver) {
  CancelExactPart();
  auto part = std::make_shared<ExactPart>();
  part->sourceRevision = picture.Revision();
  part->withAlpha = withAlpha;
  part->drawnWidth = drawnWidth;
  part->drawnHeight = drawnHeight;
  part->window = window;
  auto source = std::make_shared<PixelHold>(picture.Hold());
  const uint64_t serial = ++requests.partSerial;
  requests.partTicket = BackgroundWorker().Submit(
      [viewer, serial, part, source, deliver = std::move(deliver)](const std::atomic<bool>& cancelled) {
        try {
          AveragePart(*source, *part, cancelled);
        } catch (...) {
          part->image.Destroy();  // out of memory: the quick view stays
        }
        source->keeper.reset();  // the picture may go now, whatever the window does meanwhile
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS, [serial, part, deliver] {
          if (serial != requests.partSerial) return;  // a later view asked meanwhile
          requests.partTicket = 0;
          deliver(*part);
        });
      },
      WorkerThread::Placement::kFirst);
  return serial;
}

uint64_t ExactPartAsked() { return requests.partTicket != 0 ? requests.partSerial : 0; }

void CancelExactPart() {
  if (requests.partTicket != 0) BackgroundWorker().Cancel(requests.partTicket);
  requests.partTicket = 0;
  ++requests.partSerial;
}

void RequestCurrentLevels(HWND viewer, int32_t fittedWidth, int32_t fittedHeight, bool withAlpha,
                          LevelsUrgency urgency) {
  if (currentImage.IsNull() || CurrentZoomReductions().Match(currentImage, withAlpha)) return;
  if (requests.levelsAsked && requests.levelsRevision == currentImage.Revision() &&
      requests.levelsAlpha == withAlpha) {
    if (urgency == LevelsUrgency::kNow) BackgroundWorker().PutFirst(requests.levelsTicket);
    return;
  }
  if (requests.levelsAsked) BackgroundWorker().Cancel(requests.levelsTicket);
  auto source = std::make_shared<PixelHold>(currentImage.Hold());
  if (source->Empty()) return;
  auto reductions = std::make_shared<ZoomReductions>();
  requests.levelsAsked = true;
  requests.levelsRevision = currentImage.Revision();
  requests.levelsAlpha = withAlpha;
  requests.levelsTicket = BackgroundWorker().Submit(
      [viewer, source, reductions, fittedWidth, fittedHeight, withAlpha](const std::atomic<bool>& cancelled) {
        if (cancelled) return;
        try {
          MakeZoomReductions(*source, fittedWidth, fittedHeight, withAlpha, *reductions);
        } catch (...) {
          reductions->levels.clear();  // zoomed views then keep drawing from the fitted copy
        }
        source->keeper.reset();
        if (cancelled || reductions->levels.empty()) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS, [reductions] {
          if (requests.levelsRevision == reductions->sourceRevision) requests.levelsAsked = false;
          if (currentImage.IsNull() || currentImage.Revision() != reductions->sourceRevision) return;
          CurrentZoomReductions().Swap(*reductions);
        });
      },
      urgency == LevelsUrgency::kNow ? WorkerThread::Placement::kFirst : WorkerThread::Placement::kLast);
}

void CancelExactViewJobs() {
  CancelExactPart();
  if (requests.levelsAsked) BackgroundWorker().Cancel(requests.levelsTicket);
  requests.levelsAsked = false;
}
