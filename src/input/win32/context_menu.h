// The context menu: the same commands as the keys, plus Print and Website.
#pragma once
#include <windows.h>

// Shows the menu left- and top-aligned at the screen point (also (-1, -1), from the keyboard);
// the chosen item arrives at the owner as WM_COMMAND. Window's thread only.
void ShowContextMenu(HWND owner, POINT screenPoint);
