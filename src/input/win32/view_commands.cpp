#include "input/win32/view_commands.h"

#include "view/view_state.h"
#include "view/win32/background_turn.h"
#include "view/win32/render.h"

void ToggleBackground(PictureView& view) {
  viewState.backgroundLevel = viewState.backgroundLevel == 0 ? kLightBackground : kDarkBackground;
  Redraw(view);
}

int32_t RotateLeft(PictureView& view) { return TurnShownPicture(view, kTurnCounterClockwise); }

int32_t RotateRight(PictureView& view) { return TurnShownPicture(view, kTurnClockwise); }
