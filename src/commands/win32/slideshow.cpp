#include "commands/win32/slideshow.h"

#include <memory>

#include "browse/win32/navigation.h"
#include "browse/win32/picture_loader.h"
#include "framework/unique_handle.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

namespace {

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

// The running worker, owned from the start to the stop.
std::unique_ptr<SlideshowThread> slideshowThread;
uintptr_t slideshowGeneration = 0;
// A step asked for a picture still being decoded: the next interval starts once it is shown.
bool stepAwaitsPicture = false;

}  // namespace

void StartSlideshow(HWND viewer) {
  if (ImageList.empty()) return;
  viewState.slideshowRunning = 1;
  slideshowThread = std::make_unique<SlideshowThread>(viewer, ++slideshowGeneration);
  if (!slideshowThread->Started()) {
    // No worker: nothing runs, and the title stays as it was.
    slideshowThread.reset();
    viewState.slideshowRunning = 0;
    return;
  }
  SetWindowTextW(viewer, L"Vistrel - Running Slide Show");
}

// Also ends a slideshow whose list has become empty (a drop of a folder without images), which
// could otherwise never be stopped; with nothing left to name, the title is the program's.
void StopSlideshow(HWND viewer) {
  if (viewState.slideshowRunning == 0) return;
  viewState.slideshowRunning = 0;
  slideshowThread.reset();  // a step it posted but the window has not taken is ignored
  stepAwaitsPicture = false;
  if (CurrentPath() == nullptr) {
    SetWindowTextW(viewer, L"Vistrel");
  } else {
    UpdateWindowTitle(viewer);
  }
}

void ToggleSlideshow(HWND viewer) {
  if (viewState.slideshowRunning == 1) {
    StopSlideshow(viewer);
  } else {
    StartSlideshow(viewer);
  }
}

LRESULT TakeSlideshowStep(HWND viewer, WPARAM generation, LPARAM) {
  if (viewState.slideshowRunning == 0 || !slideshowThread || slideshowThread->Generation() != generation) return 0;
  ShowNextImage(viewer);
  stepAwaitsPicture = true;
  FinishSlideshowStep();
  return 0;
}

void FinishSlideshowStep() {
  if (!stepAwaitsPicture || PictureLoading()) return;
  stepAwaitsPicture = false;
  if (slideshowThread) slideshowThread->StepDone();
}
