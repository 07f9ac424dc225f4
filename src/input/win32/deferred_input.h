// Input that arrives while the viewer is busy (the start folder still being listed, or the
// shown picture still being decoded) waits and runs afterwards, in order, as if it had come
// then; so a key acts on the list and the picture it would have met without the wait.
// Window's thread only.
#pragma once
#include <windows.h>

#include "input/win32/viewer_input.h"

// True when the viewer is busy and msg was taken to run later; false lets it go on now. A step
// to another picture (arrows, Next, Previous, a slideshow step, a drop) does not wait for a
// picture it replaces: it goes on at once when nothing else waits; but a held arrow key's
// repeat waits up to kAwaitedWorthWaitingMs for that picture's first view.
bool DeferWhileBusy(ViewerInput& input, const MSG& msg);
// The one-shot timer that ends such a wait when nothing else comes: its WM_TIMER turns the
// viewer's loop, which replays (the viewer kills it).
constexpr UINT_PTR kHeldStepTimer = 0x5648;
// Runs what waited, in order, through the input filter and normal delivery, until the viewer
// is busy again or nothing is left.
void ReplayDeferredInput(ViewerInput& input);
// The window is going: what waited is dropped.
void DropDeferredInput(ViewerInput& input);
