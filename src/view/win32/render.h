// Drawing the current picture into the viewer's picture control.
//
// Threads: everything here runs on the window's thread, the only thread that touches the
// window, the view state, the image list and currentImage. Workers never draw.
#pragma once
#include <windows.h>
#include <cstdint>

#include "picture/rotate_request.h"

// Decodes the current file when reuse is 0 (the turn then comes from the file's EXIF
// orientation instead of `rotate`), turns the kept bitmap when asked, fits it into the picture
// control of viewer, applies zoom and pan and draws it with its margins. With an empty list it
// paints the whole control in the background colour. Returns 0 when the picture was drawn, -1
// when it was not (empty list, failed decode, missing control).
int32_t Render(HWND viewer, int32_t reuse, RotateRequest rotate);

// The kept picture drawn again: after a zoom step, a drag, a resize, a move or a colour change.
inline int32_t Redraw(HWND viewer) { return Render(viewer, 1, kTurnNone); }
// The kept picture turned for good and drawn fitted.
inline int32_t Turn(HWND viewer, RotateRequest turn) { return Render(viewer, 1, turn); }

// Puts the last frame Render composed back on the screen (the picture control's draw-item
// request after the first paint). Returns false when there is no kept frame.
bool RepaintKeptFrame(const DRAWITEMSTRUCT& item);
// The picture control in the background colour alone: what it shows before its first frame.
void PaintBackgroundOnly(const DRAWITEMSTRUCT& item);
// Moves the picture control to the given client rectangle in 96-dpi units and invalidates it.
void LayoutPictureControl(HWND viewer, int32_t left, int32_t top, int32_t right, int32_t bottom);
