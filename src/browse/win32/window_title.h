// The window's title rule. Window's thread only.
#pragma once
#include <windows.h>

// "Vistrel - " and the shown file's name, unless a slideshow owns the title or the list is
// empty (the title is then left as it is).
void UpdateWindowTitle(HWND viewer);
