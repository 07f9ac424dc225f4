// Render with reuse 0 under the name the tests use: the current file decoded afresh and drawn.
#pragma once
#include "view/win32/picture_view.h"
#include "view/win32/render.h"

inline int32_t Reload(PictureView& view) { return Render(view, 0, kTurnNone); }
