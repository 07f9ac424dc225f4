// Drawing the current picture into the viewer's picture control.
//
// Threads: everything here runs on the window's thread (checked), the only thread that touches
// the window, the view state, the image list and currentImage. Workers never draw.
#pragma once
#include <windows.h>
#include <cstdint>

#include "picture/rotate_request.h"

class CImage;
class PictureView;

// Decodes the current file when reuse is 0 (the turn then comes from the file's EXIF
// orientation instead of `rotate`), turns the kept bitmap when asked, fits it into the picture
// control of the view's window, applies zoom and pan and draws it with its margins, by the
// shown picture's own rules. With an empty list it
// paints the whole control in the background colour. Returns 0 when the picture was drawn, -1
// when it was not (empty list, failed decode, missing control).
int32_t Render(PictureView& view, int32_t reuse, RotateRequest rotate);

// The kept picture drawn again: after a zoom step, a drag, a resize, a move or a colour change.
inline int32_t Redraw(PictureView& view) { return Render(view, 1, kTurnNone); }
// The kept picture turned for good and drawn fitted.
inline int32_t Turn(PictureView& view, RotateRequest turn) { return Render(view, 1, turn); }

// The exact view once input has paused: a zoom step, a wheel notch or a drag draws a quick view
// at once and sets this timer on the viewer; when the timer finds no input waiting, the worker
// averages the visible part from the full-size picture, which replaces the quick view if that
// view is still shown. The window routes the timer to AskForExactView.
constexpr UINT_PTR kExactViewTimer = 0x5646;
void AskForExactView(PictureView& view);

// A first view of the picture awaited (fitted, upright; the picture itself is pictureWidth x
// pictureHeight upright) drawn fitted over the background, until the picture itself comes and is
// rendered. Nothing else changes: the shown picture, its rules and the view state stay.
void ShowFirstView(PictureView& view, const CImage& firstView, int32_t pictureWidth, int32_t pictureHeight);

// Puts the last frame Render composed back on the screen (the picture control's draw-item
// request after the first paint). Returns false when there is no kept frame.
bool RepaintKeptFrame(const PictureView& view, const DRAWITEMSTRUCT& item);
// The picture control in the background colour alone: what it shows before its first frame.
void PaintBackgroundOnly(const DRAWITEMSTRUCT& item);
// Moves the viewer's picture control to the given client rectangle in 96-dpi units, scaled at the
// DPI of the window's monitor (view.dpi), and invalidates it. Window's thread only.
void LayoutPictureControl(const PictureView& view, int32_t left, int32_t top, int32_t right, int32_t bottom);
