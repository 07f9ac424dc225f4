// Zoom steps around the cursor and drag panning; each ends in one redraw from the kept
// bitmap. Window's thread only.
#pragma once

class PictureView;
#include <windows.h>

void ZoomIn(PictureView& view);
void ZoomOut(PictureView& view);
// The picture control's double click: fitted view to 3x around the cursor, anything else back.
void OnPictureDoubleClick(PictureView& view);
// One mouse move while dragging.
void DragPan(PictureView& view);
