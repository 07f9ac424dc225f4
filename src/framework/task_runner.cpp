#include "framework/task_runner.h"

TaskRunner::TaskRunner() : mailbox_(std::make_shared<WindowMailbox>()) {}

TaskRunner::~TaskRunner() {
  if (!stopped_) Shutdown(0);
}

void TaskRunner::SetReplyWindow(HWND window) {
  VISTREL_CHECK_THREAD(thread_);
  mailbox_->SetWindow(window, WM_WORKER_RESULTS);
}

WorkerThread& TaskRunner::Worker() {
  if (!worker_) worker_ = std::make_unique<WorkerThread>();
  return *worker_;
}

void TaskRunner::Cancel(TaskId task) {
  VISTREL_CHECK_THREAD(thread_);
  if (worker_ && task != 0) worker_->Cancel(task);
}

bool TaskRunner::PutFirst(TaskId task) {
  VISTREL_CHECK_THREAD(thread_);
  return worker_ && task != 0 && worker_->PutFirst(task);
}

void TaskRunner::TakeReplies() {
  VISTREL_CHECK_THREAD(thread_);
  mailbox_->Drain();
}

bool TaskRunner::Shutdown(DWORD waitMs) {
  if (stopped_) return workerStopped_;  // a second call tells what the first found
  stopped_ = true;
  if (worker_ && !worker_->Shutdown(waitMs)) {
    // Still busy: the object must outlive its thread, so it is kept for the process's life.
    static_cast<void>(worker_.release());
    workerStopped_ = false;
  }
  worker_.reset();
  mailbox_->SetWindow(nullptr, 0);
  mailbox_->Clear();
  return workerStopped_;
}
