#include "view/win32/turn_flight.h"

#include "picture/quarter_turn.h"
#include "picture/win32/dib_turn.h"
#include "view/view_state.h"
#include "view/win32/picture_view.h"

namespace {

// The stand-in turned by `turn`, on this thread: it is no larger than the picture area.
void TurnStandIn(TurnFlight& flight, RotateRequest turn) {
  if (flight.standIn.IsNull()) return;
  CImage turned;
  if (TurnDib(flight.standIn, turn, turned)) {
    flight.standIn.Swap(turned);
  } else {
    flight.standIn.Destroy();
  }
}

}  // namespace

void PictureSizeAfterTurns(const PictureView& view, int32_t& width, int32_t& height) {
  width = view.turn.active ? view.turn.width : currentImage.Width();
  height = view.turn.active ? view.turn.height : currentImage.Height();
}

void AddTurnInFlight(PictureView& view, RotateRequest turn) {
  VISTREL_CHECK_THREAD(view.thread);
  TurnFlight& flight = view.turn;
  if (!flight.active || ComposeTurns(turn, kTurnNone) == kTurnNone) return;
  flight.more = ComposeTurns(flight.more, turn);
  TurnStandIn(flight, turn);
  const int32_t width = flight.width, height = flight.height;
  TurnedSize(turn, width, height, flight.width, flight.height);
  viewState.zoom = 1.0f;
}

void AbandonTurn(PictureView& view) {
  VISTREL_CHECK_THREAD(view.thread);
  TurnFlight& flight = view.turn;
  if (!flight.active) return;
  view.tasks.Cancel(flight.task);
  flight.active = false;
  flight.more = kTurnNone;
  flight.standIn.Destroy();
}
