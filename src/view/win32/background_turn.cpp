#include "view/win32/background_turn.h"

#include <memory>
#include <utility>

#include "framework/worker_thread.h"
#include "imagelist/win32/image_list.h"
#include "picture/quarter_turn.h"
#include "picture/win32/dib_turn.h"
#include "resource.h"
#include "view/alpha_path.h"
#include "view/fit_layout.h"
#include "view/view_state.h"
#include "framework/baseline_mode.h"
#include "view/win32/exact_view.h"
#include "view/win32/fitted_copy.h"
#include "picture/win32/image_edits.h"
#include "view/win32/render.h"
#include "view/win32/zoom_reductions.h"

namespace {

// Pictures up to this many pixels are still turned on the window's thread: that is less work
// than a frame's redraw, and leaves nothing in flight.
constexpr int64_t kLargestTurnedAtOnce = 1 << 20;

// One turn on the worker. The window's thread fills it and hands it over; from then on only the
// worker touches it until the result is posted back, after which only the window's thread does.
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

// Window's thread only.
struct InFlight {
  bool active = false;
  uint64_t serial = 0;
  WorkerThread::Ticket ticket = 0;
  RotateRequest more = kTurnNone;  // asked for after the job was handed over
  CImage standIn;
  bool standInAlpha = false;
  int32_t width = 0;  // the full-size picture's size after every turn asked for
  int32_t height = 0;
};
InFlight flight;

void PictureArea(HWND viewer, int32_t& width, int32_t& height) {
  RECT client{};
  HWND control = GetDlgItem(viewer, IDC_PICTURE);
  width = height = 0;
  if (control != nullptr && GetClientRect(control, &client)) {
    width = client.right - client.left;
    height = client.bottom - client.top;
  }
}

bool AlphaPathNow() {
  const std::wstring* path = CurrentPath();
  return path != nullptr && TakesAlphaPath(*path);
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

void TakeTurned(HWND viewer, uint64_t serial, const std::shared_ptr<TurnJob>& job);

// Hands currentImage to the worker to be turned by `turn`; `first` runs after the hand-over and
// before the worker starts (the stand-in's draw, which would otherwise share the cores with it).
template <class First>
void SendTurn(HWND viewer, RotateRequest turn, First first) {
  CancelExactViewJobs();  // they were asked for the picture unturned
  auto job = std::make_shared<TurnJob>();
  job->picture.Swap(currentImage);
  job->turn = turn;
  job->premultiplied = viewState.alphaPrepared != 0;
  job->withAlpha = AlphaPathNow();
  PictureArea(viewer, job->areaWidth, job->areaHeight);
  CurrentFittedCopy().image.Destroy();  // they show the picture unturned
  CurrentZoomReductions().levels.clear();
  const uint64_t serial = ++flight.serial;
  flight.active = true;
  flight.more = kTurnNone;
  first();
  flight.ticket = BackgroundWorker().Submit(
      [viewer, serial, job](const std::atomic<bool>& cancelled) {
        try {
          RunTurn(*job);
        } catch (...) {
          // Out of memory on the way: the turned picture (if it was made) comes without its
          // copies, which the window then makes when it draws; no turned picture fails it.
          job->fitted.image.Destroy();
          job->reductions.levels.clear();
        }
        if (cancelled) return;
        ResultMailbox().Post(viewer, WM_WORKER_RESULTS, [viewer, serial, job] { TakeTurned(viewer, serial, job); });
      },
      WorkerThread::Placement::kFirst);
}

void TakeTurned(HWND viewer, uint64_t serial, const std::shared_ptr<TurnJob>& job) {
  if (!flight.active || serial != flight.serial) return;  // abandoned meanwhile
  if (job->turned.IsNull()) {
    // As a turn that could not be finished on this thread: no picture until the next decode.
    AbandonTurn();
    viewState.loadFailed = 1;
    return;
  }
  currentImage.Swap(job->turned);
  CurrentFittedCopy().Swap(job->fitted);
  CurrentZoomReductions().Swap(job->reductions);
  if (flight.more != kTurnNone) {
    SendTurn(viewer, flight.more, [] {});  // the stand-in already shows these turns
    return;
  }
  flight.active = false;
  flight.standIn.Destroy();
  Redraw(viewer);
}

// The stand-in turned by `turn`, on this thread: it is no larger than the picture area.
void TurnStandIn(RotateRequest turn) {
  if (flight.standIn.IsNull()) return;
  CImage turned;
  if (TurnDib(flight.standIn, turn, turned)) {
    flight.standIn.Swap(turned);
  } else {
    flight.standIn.Destroy();
  }
}

}  // namespace

int32_t TurnShownPicture(HWND viewer, RotateRequest turn) {
  if (ComposeTurns(turn, kTurnNone) == kTurnNone) return Redraw(viewer);
  if (flight.active) {
    AddTurnInFlight(turn);
    return Redraw(viewer);
  }
  if (BaselineMode() || currentImage.IsNull() || viewState.loadFailed == 1 ||
      static_cast<int64_t>(currentImage.Width()) * currentImage.Height() <= kLargestTurnedAtOnce) {
    return Turn(viewer, turn);
  }
  // The stand-in: the fitted copy when it still shows this picture, turned.
  const FittedCopy& fitted = CurrentFittedCopy();
  flight.standIn.Destroy();
  flight.standInAlpha = false;
  if (!fitted.image.IsNull() && fitted.sourceRevision == currentImage.Revision()) {
    if (TurnDib(fitted.image, turn, flight.standIn)) flight.standInAlpha = fitted.withAlpha;
  }
  TurnedSize(turn, currentImage.Width(), currentImage.Height(), flight.width, flight.height);
  int32_t drawn = 0;
  SendTurn(viewer, turn, [&] {
    viewState.zoom = 1.0f;
    drawn = Redraw(viewer);
    GdiFlush();
  });
  return drawn;
}

bool TurnInFlight() { return flight.active; }

const CImage& TurnedStandIn() { return flight.standIn; }

bool StandInHasAlpha() { return flight.standInAlpha; }

void PictureSizeAfterTurns(int32_t& width, int32_t& height) {
  width = flight.active ? flight.width : currentImage.Width();
  height = flight.active ? flight.height : currentImage.Height();
}

void AddTurnInFlight(RotateRequest turn) {
  if (!flight.active || ComposeTurns(turn, kTurnNone) == kTurnNone) return;
  flight.more = ComposeTurns(flight.more, turn);
  TurnStandIn(turn);
  const int32_t width = flight.width, height = flight.height;
  TurnedSize(turn, width, height, flight.width, flight.height);
  viewState.zoom = 1.0f;
}

void AbandonTurn() {
  if (!flight.active) return;
  BackgroundWorker().Cancel(flight.ticket);
  flight.active = false;
  flight.more = kTurnNone;
  flight.standIn.Destroy();
}
