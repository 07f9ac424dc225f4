// The viewer's state, one object per layer, owned by the viewer window: the worker and its
// replies, the picture view, the browser, the commands and the held input. Each layer's object is
// given the one below it, so each operation takes exactly the state it may touch. The described
// process-wide records (the list, the position, the start path, the shown bitmap and the view
// state) stay process-wide. Made on the window's thread before the window exists (the start
// picture is asked for then); window's thread only.
#pragma once
#include "browse/win32/browser.h"
#include "commands/win32/commands.h"
#include "framework/task_runner.h"
#include "input/win32/viewer_input.h"
#include "view/win32/picture_view.h"

struct Viewer {
  Viewer() = default;
  Viewer(const Viewer&) = delete;
  Viewer& operator=(const Viewer&) = delete;

  TaskRunner tasks;  // first: gone last, after everything its replies reach
  PictureView view{tasks};
  Browser browse{view};
  Commands commands{browse};
  ViewerInput input{commands};
};
