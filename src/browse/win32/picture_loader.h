// The shown entry's picture without waiting for it: taken from the pictures prepared ahead for
// the neighbours of the shown entry, or decoded on the worker and drawn when it arrives, while
// the window stays responsive. Everything here runs on the window's thread (checked); only the
// preparation of a picture runs on the worker, on images of its own, and no file is read here.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "browse/win32/browser.h"

// Shows the entry at currentIndex as Render with reuse 0 does: the same pixels, the same turn
// from the file's EXIF orientation with its reset of the zoom, the same loadFailed outcome. A
// picture prepared ahead is drawn at once (its file is checked on the worker afterwards, and
// shown again should it have changed); otherwise the worker decodes it and the window keeps its
// frame, and the picture it shows with its own rules and copies, until it arrives. A file whose
// preparation failed is decoded again. direction tells which neighbour to prepare first.
void ShowCurrentPicture(Browser& browser, StepDirection direction);
// True while the shown entry's picture is being decoded.
bool PictureLoading(const Browser& browser);
// While PictureLoading: true until a first view of the picture is on the screen, and for at most
// kAwaitedWorthWaitingMs after it was asked for. A held key's repeated steps wait for it, so
// that each picture they land on is seen before the next supersedes it.
constexpr ULONGLONG kAwaitedWorthWaitingMs = 250;
bool AwaitedPictureWorthWaitingFor(const Browser& browser);
// Asks the worker for the neighbours of the shown entry that are not prepared yet: the one in
// the direction of travel first, at most two kept, within a memory budget.
void SchedulePrefetch(Browser& browser);
// Before the window exists: starts decoding the start file's picture (path as it will be listed)
// on the worker, so that the decode overlaps the framework's and the window's start, in the
// colours of the monitor the window will open on (null: the primary one).
void PreparePictureEarly(Browser& browser, const std::wstring& path, HMONITOR opensOn);
// The window is now on a monitor with another colour profile (moved, or the displays changed):
// the shown picture is decoded again in that monitor's colours on the worker, keeping its turns,
// and replaces the one shown when it arrives; those prepared ahead are dropped. Nothing happens
// when the profile is the same.
enum class DisplayCheck {
  kIfMonitorChanged,  // the window moved: only another monitor may have another profile
  kAlways,            // the displays changed: the same monitor may have another profile now
};
void FollowDisplayProfile(Browser& browser, DisplayCheck check);
// While the window is being placed: its picture area is expected to be width x height, so the
// early preparation may make its fitted copy for that size already.
void PredictStartPictureArea(Browser& browser, int32_t width, int32_t height);
// The window is placed and its picture area will be width x height: the early preparation makes
// its fitted copy for that size and delivers the picture as any other preparation.
void GiveStartPictureItsWindow(Browser& browser, int32_t width, int32_t height);
// The list changed (a drop, a delete) or the window is going: nothing prepared for the old list
// may be used, and work for it is abandoned. The shown picture stays, with its copies, until
// another is put in its place.
void ForgetPreparedPictures(Browser& browser);
// True while the worker still prepares a neighbour ahead (for tests and benchmarks).
bool PreparingAhead(const Browser& browser);
