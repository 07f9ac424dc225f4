// The slideshow's worker thread. It only waits: every interval it asks the window's thread to
// take one step and waits until that step is done, so it never touches the list, the picture
// or the title itself, and stopping it never has to interrupt a decode or a draw.
#pragma once
#include <windows.h>
#include <cstdint>

// Sent (posted) to the viewer window for each step; wParam carries the worker's generation.
constexpr UINT WM_SLIDESHOW_STEP = WM_APP + 1;
constexpr DWORD kSlideshowIntervalMs = 3000;

class SlideshowThread {
 public:
  SlideshowThread(HWND window, uintptr_t generation, DWORD intervalMs);
  // Stops the worker and waits for it; it is only ever waiting, so this returns at once.
  ~SlideshowThread();
  SlideshowThread(const SlideshowThread&) = delete;
  SlideshowThread& operator=(const SlideshowThread&) = delete;

  bool Started() const { return thread_ != nullptr; }
  uintptr_t Generation() const { return generation_; }
  // The window finished a step: the next interval starts now.
  void StepDone() { SetEvent(stepDone_); }

 private:
  static DWORD WINAPI SlideshowWorker(void* self);
  DWORD Run();

  HWND window_;
  uintptr_t generation_;
  DWORD intervalMs_;
  HANDLE stop_;
  HANDLE stepDone_;
  HANDLE thread_ = nullptr;
};
