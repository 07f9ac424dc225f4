#include "commands/win32/slideshow.h"

#include <memory>

#include "app/win32/vistrel_dlg.h"
#include "imagelist/win32/image_list.h"
#include "view/view_state.h"

SlideshowThread::SlideshowThread(HWND window, uintptr_t generation, DWORD intervalMs)
    : window_(window),
      generation_(generation),
      intervalMs_(intervalMs),
      stop_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      stepDone_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {
  if (stop_ != nullptr && stepDone_ != nullptr)
    thread_ = CreateThread(nullptr, 0, SlideshowWorker, this, 0, nullptr);
}

SlideshowThread::~SlideshowThread() {
  if (stop_ != nullptr) SetEvent(stop_);
  if (thread_ != nullptr) {
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (stepDone_ != nullptr) CloseHandle(stepDone_);
  if (stop_ != nullptr) CloseHandle(stop_);
}

DWORD WINAPI SlideshowThread::SlideshowWorker(void* self) { return static_cast<SlideshowThread*>(self)->Run(); }

DWORD SlideshowThread::Run() {
  const HANDLE waits[2] = {stop_, stepDone_};
  for (;;) {
    if (WaitForSingleObject(stop_, intervalMs_) != WAIT_TIMEOUT) return 0;
    PostMessageW(window_, WM_SLIDESHOW_STEP, generation_, 0);
    if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0 + 1) return 0;
  }
}

namespace {

// The running worker, owned from the start to the stop.
std::unique_ptr<SlideshowThread> slideshowThread;
uintptr_t slideshowGeneration = 0;

}  // namespace

void CVistrelDlg::StartSlideshow() {
  if (ImageList.empty()) return;
  viewState.slideshowRunning = 1;
  slideshowThread = std::make_unique<SlideshowThread>(hwnd_, ++slideshowGeneration, kSlideshowIntervalMs);
  if (!slideshowThread->Started()) {
    // No worker: nothing runs, and the title stays as it was.
    slideshowThread.reset();
    viewState.slideshowRunning = 0;
    return;
  }
  SetWindowTextW(hwnd_, L"Vistrel - Running Slide Show");
}

// Also ends a slideshow whose list has become empty (a drop of a folder without images), which
// could otherwise never be stopped; the title is then left alone.
void CVistrelDlg::StopSlideshow() {
  if (viewState.slideshowRunning == 0) return;
  viewState.slideshowRunning = 0;
  slideshowThread.reset();  // a step it posted but the window has not taken is ignored
  UpdateWindowTitle();
}

void CVistrelDlg::ToggleSlideshow() {
  if (viewState.slideshowRunning == 1) {
    StopSlideshow();
  } else {
    StartSlideshow();
  }
}

LRESULT CVistrelDlg::OnSlideshowStep(WPARAM wParam, LPARAM) {
  if (viewState.slideshowRunning == 0 || !slideshowThread || slideshowThread->Generation() != wParam) return 0;
  ShowNextImage();
  if (slideshowThread) slideshowThread->StepDone();
  return 0;
}

LRESULT CVistrelDlg::OnSlideshowCommand(WPARAM, LPARAM) {
  ToggleSlideshow();
  return 0;
}
