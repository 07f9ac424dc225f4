// Drawing the current picture into the viewer's picture control.
#pragma once
#include <windows.h>
#include <cstdint>

// 0 none, 1 clockwise quarter turn, 2 counter-clockwise quarter turn, 3 half turn.
using RotateRequest = int32_t;

// Decodes the current file when reuse is 0, turns the kept bitmap when asked, fits it into the
// picture control of viewer, applies zoom and pan and draws it with its margins.
// Returns 0 when drawn, -1 when nothing was drawn.
int32_t Render(HWND viewer, int32_t reuse, RotateRequest rotate);
// Paints the whole picture control in the background colour.
void FillBackground(HWND viewer);
// Puts the last frame Render composed back on the screen (the picture control's draw-item
// request after the first paint). Returns false when there is no kept frame.
bool RepaintKeptFrame(const DRAWITEMSTRUCT& item);
// Moves the picture control to the given client rectangle in 96-dpi units and invalidates it.
void LayoutPictureControl(HWND viewer, int32_t left, int32_t top, int32_t right, int32_t bottom);
