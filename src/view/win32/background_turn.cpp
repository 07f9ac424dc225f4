#include "view/win32/background_turn.h"

#include <memory>
#include <utility>

#include "picture/quarter_turn.h"
#include "picture/win32/dib_turn.h"
#include "picture/win32/image_edits.h"
#include "resource.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "view/win32/exact_view.h"
#include "view/win32/picture_view.h"
#include "view/win32/render.h"

namespace {

// Pictures up to this many pixels are still turned on the window's thread: that is less work
// than a frame's redraw, and leaves nothing in flight.
constexpr int64_t kLargestTurnedAtOnce = 1 << 20;

// One turn on the worker. The window's thread fills it and hands it over; from then on only the
// worker touches it until the reply, after which only the window's thread does.
struct TurnJob {
  CImage picture;  // the full-size picture, away from currentImage
  RotateRequest turn = kTurnNone;
  bool premultiplied = false;
  bool withAlpha = false;  // the fitted copy is averaged with alpha
  int32_t areaWidth = 0;
  int32_t areaHeight = 0;
  CImage turned;  // the result
  FittedCopy fitted;
  ZoomReductions reductions;
};

void PictureArea(HWND viewer, int32_t& width, int32_t& height) {
  RECT client{};
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  width = height = 0;
  if (control != nullptr && GetClientRect(control, &client)) {
    width = client.right - client.left;
    height = client.bottom - client.top;
  }
}

// Worker thread: the job's own images only.
void RunTurn(TurnJob& job) {
  if (!TurnDib(job.picture, job.turn, job.turned)) {
    // Depths of fewer than 8 bits keep the imaging library's route.
    RotateImage(job.picture, job.turn, job.premultiplied);
    job.turned.Swap(job.picture);
  }
  job.picture.Destroy();
  if (job.turned.IsNull() || job.areaWidth <= 0 || job.areaHeight <= 0) return;
  const XywhRect fitted = FitImage(job.turned.Width(), job.turned.Height(), job.areaWidth, job.areaHeight);
  MakeDrawnCopies(job.turned, fitted.width, fitted.height, job.withAlpha && job.turned.HasAlpha(), job.fitted,
                  job.reductions);
}

void TakeTurned(PictureView& view, uint64_t serial, const std::shared_ptr<TurnJob>& job);

// Hands currentImage to the worker to be turned by `turn`; `first` runs after the hand-over and
// before the worker starts (the stand-in's draw, which would otherwise share the cores with it).
template <class First>
void SendTurn(PictureView& view, RotateRequest turn, First first) {
  CancelExactViewJobs(view);  // they were asked for the picture unturned
  auto job = std::make_shared<TurnJob>();
  job->picture.Swap(currentImage);
  job->turn = turn;
  job->premultiplied = view.shown.rules.premultiplied;
  job->withAlpha = view.shown.rules.alphaPath;
  PictureArea(view.viewer, job->areaWidth, job->areaHeight);
  view.shown.fitted.image.Destroy();  // they show the picture unturned
  view.shown.levels.levels.clear();
  TurnFlight& flight = view.turn;
  const uint64_t serial = ++flight.serial;
  flight.active = true;
  flight.more = kTurnNone;
  first();
  flight.task = view.tasks.PostTaskAndReply(
      TaskRunner::Placement::kFirst,
      [job](const std::atomic<bool>&) {
        try {
          RunTurn(*job);
        } catch (...) {
          // Out of memory on the way: the turned picture (if it was made) comes without its
          // copies, which the window then makes when it draws; no turned picture fails it.
          job->fitted.image.Destroy();
          job->reductions.levels.clear();
        }
        return job;
      },
      [&view, serial](std::shared_ptr<TurnJob>& done) { TakeTurned(view, serial, done); });
}

void TakeTurned(PictureView& view, uint64_t serial, const std::shared_ptr<TurnJob>& job) {
  TurnFlight& flight = view.turn;
  if (!flight.active || serial != flight.serial || !job) return;  // abandoned meanwhile
  if (job->turned.IsNull()) {
    // As a turn that could not be finished on this thread: no picture until the next decode.
    AbandonTurn(view);
    viewState.loadFailed = 1;
    return;
  }
  currentImage.Swap(job->turned);
  view.shown.fitted.Swap(job->fitted);
  view.shown.levels.Swap(job->reductions);
  if (flight.more != kTurnNone) {
    SendTurn(view, flight.more, [] {});  // the stand-in already shows these turns
    return;
  }
  flight.active = false;
  flight.standIn.Destroy();
  Redraw(view);
}

}  // namespace

int32_t TurnShownPicture(PictureView& view, RotateRequest turn) {
  VISTREL_CHECK_THREAD(view.thread);
  if (ComposeTurns(turn, kTurnNone) == kTurnNone) return Redraw(view);
  TurnFlight& flight = view.turn;
  PictureRules& rules = view.shown.rules;
  if (flight.active) {
    AddTurnInFlight(view, turn);
    rules.userTurns = ComposeTurns(rules.userTurns, turn);
    return Redraw(view);
  }
  if (currentImage.IsNull() || viewState.loadFailed == 1 ||
      static_cast<int64_t>(currentImage.Width()) * currentImage.Height() <= kLargestTurnedAtOnce) {
    return Turn(view, turn);  // counted among the user's turns by the render
  }
  rules.userTurns = ComposeTurns(rules.userTurns, turn);
  // The stand-in: the fitted copy when it still shows this picture, turned.
  const FittedCopy& fitted = view.shown.fitted;
  flight.standIn.Destroy();
  flight.standInAlpha = false;
  if (!fitted.image.IsNull() && fitted.sourceRevision == currentImage.Revision()) {
    if (TurnDib(fitted.image, turn, flight.standIn)) flight.standInAlpha = fitted.withAlpha;
  }
  TurnedSize(turn, currentImage.Width(), currentImage.Height(), flight.width, flight.height);
  int32_t drawn = 0;
  SendTurn(view, turn, [&] {
    viewState.zoom = 1.0f;
    drawn = Redraw(view);
    GdiFlush();
  });
  return drawn;
}
