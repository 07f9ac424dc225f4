// The viewer's input filter: every queued message of the viewer window and its children passes
// through it before delivery. Window's thread only.
#pragma once
#include "input/win32/viewer_input.h"
#include <windows.h>

// Acts on the left button, moves, the wheel and key presses, applying the rule that input
// stops a running slideshow first. A key issues its command to the viewer (WM_COMMAND), so keys
// and menu items share one table of operations. Never runs the dialog manager's key handling:
// Enter and Esc must not end the viewer. Every message goes on to normal delivery afterwards.
void FilterViewerInput(ViewerInput& input, const MSG& msg);
