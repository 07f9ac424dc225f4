// The turn in flight as the renderer sees it: its size, a turn added to it, and its abandonment.
// The renderer draws from this state and the turn (background_turn) asks the renderer for a
// redraw, never the other way round. Window's thread only (checked).
#pragma once
#include <cstdint>

#include "picture/rotate_request.h"

class PictureView;

// The full-size picture's size once the turns asked for so far are done.
void PictureSizeAfterTurns(const PictureView& view, int32_t& width, int32_t& height);
// Adds a turn to the one in flight (a synchronous turn asked for meanwhile).
void AddTurnInFlight(PictureView& view, RotateRequest turn);

// The shown picture is being replaced (another picture put in its place, the window going): the
// turn in flight is abandoned and its result will be dropped.
void AbandonTurn(PictureView& view);
