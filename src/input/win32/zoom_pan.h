// Zoom steps around the cursor and drag panning; each ends in one redraw from the kept
// bitmap. Window's thread only.
#pragma once
#include <windows.h>

void ZoomIn(HWND viewer);
void ZoomOut(HWND viewer);
// The picture control's double click: fitted view to 3x around the cursor, anything else back.
void OnPictureDoubleClick(HWND viewer);
// One mouse move while dragging.
void DragPan(HWND viewer);
