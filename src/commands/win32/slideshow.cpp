#include "commands/win32/slideshow.h"

#include <memory>

#include "browse/win32/navigation.h"
#include "browse/win32/picture_loader.h"
#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

class SlideshowThread {
 public:
  SlideshowThread(HWND window, uintptr_t generation)
      : window_(window),
        generation_(generation),
        stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
        stepDone_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
    if (stop_ && stepDone_) thread_.Reset(CreateThread(nullptr, 0, SlideshowWorker, this, 0, nullptr));
  }
  // Stops the worker and waits for it; it is only ever waiting, so this returns at once.
  ~SlideshowThread() {
    if (stop_) SetEvent(stop_.Get());
    if (thread_) WaitForSingleObject(thread_.Get(), INFINITE);
  }
  SlideshowThread(const SlideshowThread&) = delete;
  SlideshowThread& operator=(const SlideshowThread&) = delete;

  bool Started() const { return static_cast<bool>(thread_); }
  uintptr_t Generation() const { return generation_; }
  // The window finished a step: the next interval starts now.
  void StepDone() { SetEvent(stepDone_.Get()); }

 private:
  static DWORD WINAPI SlideshowWorker(void* self) { return static_cast<SlideshowThread*>(self)->Run(); }

  // Worker thread: waits, posts a step, waits for it to be done, until stopped.
  DWORD Run() {
    const HANDLE waits[2] = {stop_.Get(), stepDone_.Get()};
    for (;;) {
      if (WaitForSingleObject(stop_.Get(), kSlideshowIntervalMs) != WAIT_TIMEOUT) return 0;
      PostMessageW(window_, WM_SLIDESHOW_STEP, generation_, 0);
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
    }
  }

  HWND window_;
  uintptr_t generation_;
  KernelHandle stop_;
  KernelHandle stepDone_;
  KernelHandle thread_;  // declared last: the thread goes before the events it waits on
};

SlideshowState::SlideshowState() = default;
SlideshowState::~SlideshowState() = default;

void StartSlideshow(Commands& commands) {
  VISTREL_CHECK_THREAD(commands.browse.view.thread);
  if (ImageList.empty()) return;
  SlideshowState& show = commands.slideshow;
  HWND viewer = commands.browse.view.viewer;
  viewState.slideshowRunning = 1;
  show.thread = std::make_unique<SlideshowThread>(viewer, ++show.generation);
  if (!show.thread->Started()) {
    // No worker: nothing runs, and the title stays as it was.
    show.thread.reset();
    viewState.slideshowRunning = 0;
    return;
  }
  SetWindowTextW(viewer, L"Vistrel - Running Slide Show");
}

// Also ends a slideshow whose list has become empty (a drop of a folder without images), which
// could otherwise never be stopped; with nothing left to name, the title is the program's.
void StopSlideshow(Commands& commands) {
  VISTREL_CHECK_THREAD(commands.browse.view.thread);
  if (viewState.slideshowRunning == 0) return;
  HWND viewer = commands.browse.view.viewer;
  viewState.slideshowRunning = 0;
  commands.slideshow.thread.reset();  // a step it posted but the window has not taken is ignored
  commands.slideshow.stepAwaitsPicture = false;
  if (CurrentPath() == nullptr) {
    SetWindowTextW(viewer, L"Vistrel");
  } else {
    UpdateWindowTitle(viewer);
  }
}

void ToggleSlideshow(Commands& commands) {
  if (viewState.slideshowRunning == 1) {
    StopSlideshow(commands);
  } else {
    StartSlideshow(commands);
  }
}

LRESULT TakeSlideshowStep(Commands& commands, WPARAM generation, LPARAM) {
  VISTREL_CHECK_THREAD(commands.browse.view.thread);
  SlideshowState& show = commands.slideshow;
  if (viewState.slideshowRunning == 0 || !show.thread || show.thread->Generation() != generation) return 0;
  ShowNextImage(commands.browse);
  show.stepAwaitsPicture = true;
  FinishSlideshowStep(commands);
  return 0;
}

void FinishSlideshowStep(Commands& commands) {
  SlideshowState& show = commands.slideshow;
  if (!show.stepAwaitsPicture || PictureLoading(commands.browse)) return;
  show.stepAwaitsPicture = false;
  if (show.thread) show.thread->StepDone();
}
