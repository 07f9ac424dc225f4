#include "input/win32/view_commands.h"

#include "view/view_state.h"
#include "view/win32/background_turn.h"
#include "view/win32/render.h"

void ToggleBackground(HWND viewer) {
  viewState.backgroundLevel = viewState.backgroundLevel == 0 ? kLightBackground : kDarkBackground;
  Redraw(viewer);
}

int32_t RotateLeft(HWND viewer) { return TurnShownPicture(viewer, kTurnCounterClockwise); }

int32_t RotateRight(HWND viewer) { return TurnShownPicture(viewer, kTurnClockwise); }
