// Playing an animation (GIF, WebP, PNG, JPEG XL) in the window. The first frame is the decoded picture, shown like any
// still; the worker composes the frames after it a few ahead (full canvas, in the form the
// renderer draws: 32-bit, premultiplied on the alpha path, turned by the shown picture's user
// turns, with their fitted copy), and the window's thread only swaps a ready frame in as the
// shown picture when its time comes (a window timer on the file's own clock; a late frame is
// dropped rather than the clock let drift) and redraws. A step, a drop, a delete or another
// picture adopted stops it at once; a minimised window pauses it.
//
// Threads: the state and every function here belong to the window's thread (checked); the
// worker sees only the composer (AnimationSource, animation.cpp) and the frames it makes, which
// it hands back through the task runner.
#pragma once
#include <windows.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>

#include "decode/win32/file_bytes.h"
#include "framework/task_runner.h"
#include "picture/rotate_request.h"

// The window timer that shows the next frame; the window routes it to AnimationTick.
constexpr UINT_PTR kAnimationTimer = 0x5647;

// A window timer owned: killed when set again elsewhere, killed, or destroyed.
class WindowTimer {
 public:
  WindowTimer() = default;
  ~WindowTimer() { Kill(); }
  WindowTimer(const WindowTimer&) = delete;
  WindowTimer& operator=(const WindowTimer&) = delete;
  void Set(HWND window, UINT_PTR id, UINT ms);
  void Kill();

 private:
  HWND window_ = nullptr;
  UINT_PTR id_ = 0;
};

struct AnimationFrame;
class AnimationSource;

struct AnimationState {
  bool playing = false;
  bool paused = false;  // the window is minimised
  bool ended = false;   // the composer has no frame left (played its loops, or broke)
  uint64_t generation = 0;  // a reply of an earlier play is dropped
  std::wstring path;        // the picture it animates; drawn only while that is the one shown
  bool alpha = false;       // its frames take the alpha path (premultiplied)
  std::shared_ptr<const FileBytes> bytes;
  std::shared_ptr<AnimationSource> source;  // used by the worker's tasks only, one at a time
  std::deque<std::shared_ptr<AnimationFrame>> ready;
  TaskRunner::TaskId task = 0;  // the frames being composed; 0 when none
  std::chrono::steady_clock::time_point started;
  std::chrono::steady_clock::time_point due;  // when ready.front() is to be shown
  bool dueKnown = false;                      // set once the first frame's delay is known
  WindowTimer timer;
};

class Browser;

// After the first frame has been adopted and drawn: the frames after it start being composed.
void StartAnimation(Browser& browser, std::shared_ptr<const FileBytes> bytes);
// Nothing of the animation is drawn after this; the shown frame stays as a still.
void StopAnimation(Browser& browser);
// The timer: the frame due is swapped in and drawn, and more are asked for.
void AnimationTick(Browser& browser);
// The window minimised (paused) or shown again (resumed, the next frame at once).
void PauseAnimation(Browser& browser, bool minimised);
