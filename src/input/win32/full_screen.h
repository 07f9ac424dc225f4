// Borderless full screen over the primary screen, on a dark background, and back.
#pragma once

class PictureView;
#include <windows.h>
#include <cstdint>

// Enters full screen when windowed and leaves it otherwise; ends with a redraw and returns its
// result. Window's thread only.
int32_t ToggleFullScreen(PictureView& view);
