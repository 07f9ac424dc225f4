// Everything the picture area shows and what is asked of the worker for it, in one object the
// viewer owns: the shown picture's rules and copies (its bitmap is currentImage), the turn on
// the worker, the exact views asked for, what the kept frame shows, and the frame itself, and the
// DPI of the window's monitor.
// Window's thread only (checked at every entry of view/win32); the worker sees none of it.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "framework/task_runner.h"
#include "framework/thread_checker.h"
#include "picture/rotate_request.h"
#include "picture/win32/dib_image.h"
#include "view/rects.h"
#include "view/win32/dpi.h"
#include "view/win32/fitted_copy.h"
#include "view/win32/kept_frame.h"
#include "view/win32/zoom_reductions.h"
#include "view/win32/zoomed_draw.h"

// What a picture was decoded under: how it is drawn follows from these, never from the list's
// current entry (which moves at once on a step while the old picture is still shown).
struct PictureRules {
  std::wstring path;           // the file it was decoded from
  bool alphaPath = false;      // drawn with per-pixel alpha over the background (that path's rule)
  bool premultiplied = false;  // its colours are premultiplied by alpha
  RotateRequest exifTurn = kTurnNone;   // turned upright from the file's orientation
  RotateRequest userTurns = kTurnNone;  // R and L since it was decoded, composed
};

// The shown picture: currentImage with its rules and the copies made from it. The copies are
// dropped or replaced with the picture, never under it.
struct ShownPicture {
  bool present = false;  // a picture (or a failure) has been put in place
  PictureRules rules;
  FittedCopy fitted;
  ZoomReductions levels;
};

// The full-size picture away on the worker being turned (R, L on a large picture).
struct TurnFlight {
  bool active = false;
  uint64_t serial = 0;  // of the turn asked for last; a reply for another is dropped
  TaskRunner::TaskId task = 0;
  RotateRequest more = kTurnNone;  // asked for after the job was handed over
  CImage standIn;                  // the fitted copy turned, shown meanwhile
  bool standInAlpha = false;
  int32_t width = 0;  // the full-size picture's size after every turn asked for
  int32_t height = 0;
};

// The exact views asked of the worker: the latest part (a later one replaces it) and the levels.
struct ExactRequests {
  uint64_t partSerial = 0;
  TaskRunner::TaskId partTask = 0;
  bool levelsAsked = false;
  uint64_t levelsRevision = 0;
  bool levelsAlpha = false;
  TaskRunner::TaskId levelsTask = 0;
};

// What the kept frame shows when it is a zoomed view drawn from the picture, so that a drag can
// move it and draw only the strips it exposes.
struct ComposedView {
  bool valid = false;
  uint64_t revision = 0;
  int32_t areaWidth = 0;
  int32_t areaHeight = 0;
  XywhRect drawn{};
  int32_t backgroundLevel = 0;
  bool alpha = false;
  bool exact = false;  // all of it the exact view, none of it from a level
};

class PictureView {
 public:
  explicit PictureView(TaskRunner& tasks) : tasks(tasks) {}
  PictureView(const PictureView&) = delete;
  PictureView& operator=(const PictureView&) = delete;

  HWND viewer = nullptr;  // the window whose picture control is drawn, once it exists
  DisplayDpi dpi;         // of the monitor the window is on (96 until the window exists)
  TaskRunner& tasks;
  ThreadChecker thread;
  ShownPicture shown;
  TurnFlight turn;
  ExactRequests exact;
  ComposedView composed;
  uint64_t fittedAsked = 0;  // the exact-part request making the fitted copy for fittedAskedFor
  ComposedView fittedAskedFor;
  KeptFrame frame;
  ZoomScratch scratch;
};
