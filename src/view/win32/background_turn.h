// R and L without the wait: the turned picture is on the screen at once, drawn from its fitted
// copy turned on the window's thread (a copy the size of the picture area), while the worker
// turns the full-size picture and makes its fitted copy; the window adopts them when they
// arrive. Input stays live meanwhile: more turns compose, zoom and drags draw from the turned
// copy, and a picture put in the shown one's place abandons the turn.
//
// Window's thread only (checked), except the job itself, which works on images handed to it for
// good. The turn's state is the view's (PictureView::turn); the turned picture is drawn by
// asking the view for a redraw.
#pragma once
#include <windows.h>
#include <cstdint>

#include "picture/rotate_request.h"
#include "view/win32/turn_flight.h"

class PictureView;

// Turns the shown picture as Render(view, 1, turn) does (zoom back to 1.0, the turned picture
// fitted), without turning the full-size picture on this thread when it is large. Returns what
// Render would.
int32_t TurnShownPicture(PictureView& view, RotateRequest turn);
