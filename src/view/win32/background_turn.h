// R and L without the wait: the turned picture is on the screen at once, drawn from its fitted
// copy turned on the window's thread (a copy the size of the picture area), while the worker
// turns the full-size picture and makes its fitted copy; the window adopts them when they
// arrive. Input stays live meanwhile: more turns compose, zoom and drags draw from the turned
// copy, and a step to another picture abandons the turn.
//
// Window's thread only, except the job itself, which works on images handed to it for good.
#pragma once
#include <windows.h>
#include <cstdint>

#include "picture/rotate_request.h"
#include "picture/win32/dib_image.h"

// Turns the shown picture as Render(viewer, 1, turn) does (zoom back to 1.0, the turned picture
// fitted), without turning the full-size picture on this thread when it is large. Returns what
// Render would.
int32_t TurnShownPicture(HWND viewer, RotateRequest turn);

// True while the full-size picture is away on the worker being turned: currentImage is then
// empty and the view draws from TurnedStandIn().
bool TurnInFlight();
// What stands for the turned picture meanwhile: its fitted copy turned (32 bits, premultiplied
// alpha when StandInHasAlpha()); may be empty when there was no fitted copy to turn.
const CImage& TurnedStandIn();
bool StandInHasAlpha();
// The full-size picture's size once the turns asked for so far are done.
void PictureSizeAfterTurns(int32_t& width, int32_t& height);
// Adds a turn to the one in flight (a synchronous turn asked for meanwhile).
void AddTurnInFlight(RotateRequest turn);

// The shown picture is being replaced (another entry, a delete, the window going): the turn in
// flight is abandoned and its result will be dropped.
void AbandonTurn();
