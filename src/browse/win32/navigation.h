// Moving through the list: one step forward or back with wrap-around, a fresh list for a
// dropped file, and the title that names the shown file. Window's thread only.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include "browse/win32/browser.h"
#include "browse/win32/window_title.h"

// Each resets the zoom to the fitted view, moves currentIndex, sets the title and shows the file
// now current (prepared ahead, or decoded on the worker).
void ShowNextImage(Browser& browser);
void ShowPreviousImage(Browser& browser);
// Rebuilds the list from the folder of the first dropped file and shows that file. Releases the
// drop handle.
void OpenDroppedFiles(Browser& browser, HDROP drop);

