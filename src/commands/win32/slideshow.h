// The slideshow: a worker thread that only waits. Every interval it asks the window's thread
// to take one step (WM_SLIDESHOW_STEP) and waits until that step is done, so it never touches
// the list, the picture or the title itself, and stopping it never has to interrupt a decode
// or a draw. Every function here runs on the window's thread (checked).
#pragma once
#include <windows.h>
#include <cstdint>

#include "commands/win32/commands.h"

// Posted to the viewer window for each step; wParam carries the worker's generation, so a step
// posted by a worker that has since been stopped is ignored.
constexpr UINT WM_SLIDESHOW_STEP = WM_APP + 1;
constexpr DWORD kSlideshowIntervalMs = 3000;

// Starts a worker when the list is not empty, and names the slideshow in the title.
void StartSlideshow(Commands& commands);
// Ends a running slideshow at once (no step follows) and gives the title back to the shown
// file, or to the bare program name when the list has become empty. Nothing when none runs.
void StopSlideshow(Commands& commands);
void ToggleSlideshow(Commands& commands);
// The WM_SLIDESHOW_STEP handler: the next picture; the next interval starts once it is shown.
LRESULT TakeSlideshowStep(Commands& commands, WPARAM generation, LPARAM);
// Called when the worker's results have been taken: ends a step whose picture has arrived.
void FinishSlideshowStep(Commands& commands);
