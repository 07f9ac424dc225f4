// The commands' own state, in one object the viewer owns: the slideshow's worker and whether the
// delete prompt is open. They act through the browser they are given. Window's thread only.
#pragma once
#include <cstdint>
#include <memory>

#include "browse/win32/browser.h"

class SlideshowThread;

struct SlideshowState {
  SlideshowState();
  ~SlideshowState();  // stops a running worker
  SlideshowState(const SlideshowState&) = delete;
  SlideshowState& operator=(const SlideshowState&) = delete;

  std::unique_ptr<SlideshowThread> thread;  // the running worker, from the start to the stop
  uintptr_t generation = 0;
  // A step asked for a picture still being decoded: the next interval starts once it is shown.
  bool stepAwaitsPicture = false;
};

class Commands {
 public:
  explicit Commands(Browser& browse) : browse(browse) {}
  Commands(const Commands&) = delete;
  Commands& operator=(const Commands&) = delete;

  Browser& browse;
  SlideshowState slideshow;
  bool deletePromptOpen = false;  // a second Delete meanwhile does nothing
};
