// The shown entry's picture without waiting for it: taken from the pictures prepared ahead for
// the neighbours of the shown entry, or decoded on the worker and drawn when it arrives, while
// the window stays responsive. Everything here runs on the window's thread; only the
// preparation of a picture runs on the worker, on images of its own.
#pragma once
#include <windows.h>

#include "decode/win32/display_profile.h"

#include <cstdint>
#include <string>

// When the display profile is looked at again.
enum class DisplayCheck {
  kIfMonitorChanged,  // the window moved: it may be on another monitor
  kAlways,            // the displays changed: the same monitor may have another profile now
};

enum class StepDirection { kNone, kForward, kBackward };

// Shows the entry at currentIndex as Render with reuse 0 does: the same pixels, the same turn
// from the file's EXIF orientation with its reset of the zoom, the same loadFailed outcome. A
// picture prepared ahead whose file is unchanged (size and last-write time) is drawn at once;
// otherwise the worker decodes it and the window keeps its frame until it arrives. direction
// tells which neighbour to prepare first. In baseline mode it is exactly Render with reuse 0.
void ShowCurrentPicture(HWND viewer, StepDirection direction);
// True while the shown entry's picture is being decoded.
bool PictureLoading();
// Asks the worker for the neighbours of the shown entry that are not prepared yet: the one in
// the direction of travel first, at most two kept, within a memory budget.
void SchedulePrefetch(HWND viewer);
// Before the window exists: starts decoding the start file's picture (path as it will be listed)
// on the worker, so that the decode overlaps the framework's and the window's start.
void PreparePictureEarly(const std::wstring& path);
// The window is now on a monitor with another colour profile (moved, or the displays changed):
// the shown picture is decoded again in that monitor's colours, and those prepared ahead are
// dropped. Nothing happens when the profile is the same.
void FollowDisplayProfile(HWND viewer, DisplayCheck check);
// While the window is being placed: its picture area is expected to be width x height, so the
// early preparation may make its fitted copy for that size already.
void PredictStartPictureArea(int32_t width, int32_t height);
// The window is placed and its picture area will be width x height: the early preparation makes
// its fitted copy for that size and delivers the picture as any other preparation.
void GiveStartPictureItsWindow(HWND viewer, int32_t width, int32_t height);
// The list changed (a drop, a delete) or the window is going: nothing prepared for the old
// list may be used, and work for it is abandoned.
void ForgetPreparedPictures();
