#include "framework/worker_thread.h"

#include <algorithm>
#include <chrono>

WorkerThread::WorkerThread() : thread_([this] { Run(); }) {}

WorkerThread::~WorkerThread() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
    queue_.clear();
    runningCancelled_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

WorkerThread::Ticket WorkerThread::Submit(Job job, Placement placement) {
  Ticket ticket;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ticket = nextTicket_++;
    if (placement == Placement::kFirst) {
      queue_.push_front(Entry{ticket, std::move(job)});
    } else {
      queue_.push_back(Entry{ticket, std::move(job)});
    }
  }
  wake_.notify_all();
  return ticket;
}

bool WorkerThread::PutFirst(Ticket ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = std::find_if(queue_.begin(), queue_.end(), [&](const Entry& e) { return e.ticket == ticket; });
  if (it == queue_.end()) return false;
  Entry entry = std::move(*it);
  queue_.erase(it);
  queue_.push_front(std::move(entry));
  return true;
}

void WorkerThread::Cancel(Ticket ticket) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (running_ == ticket) {
    runningCancelled_ = true;
    return;
  }
  queue_.erase(std::remove_if(queue_.begin(), queue_.end(), [&](const Entry& e) { return e.ticket == ticket; }),
               queue_.end());
}

bool WorkerThread::Shutdown(DWORD wait) {
  std::unique_lock<std::mutex> lock(mutex_);
  stopping_ = true;
  queue_.clear();
  runningCancelled_ = true;
  wake_.notify_all();
  return idle_.wait_for(lock, std::chrono::milliseconds(wait), [this] { return running_ == 0; });
}

void WorkerThread::Run() {
  for (;;) {
    Entry entry;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      entry = std::move(queue_.front());
      queue_.pop_front();
      running_ = entry.ticket;
      runningCancelled_ = false;
    }
    // A job delivers its own result, a failure included; what still escapes it (out of memory,
    // no thread for a helper) must not end the viewer.
    try {
      entry.job(runningCancelled_);
    } catch (...) {
    }
    std::lock_guard<std::mutex> lock(mutex_);
    running_ = 0;
    idle_.notify_all();
  }
}

void WindowMailbox::SetWindow(HWND window, UINT message) {
  std::lock_guard<std::mutex> lock(mutex_);
  window_ = window;
  message_ = message;
  if (window_ != nullptr && !waiting_.empty()) PostMessageW(window_, message_, 0, 0);
}

void WindowMailbox::Post(Delivery delivery) {
  std::lock_guard<std::mutex> lock(mutex_);
  waiting_.push_back(std::move(delivery));
  count_ = waiting_.size();
  if (window_ != nullptr) PostMessageW(window_, message_, 0, 0);
}

void WindowMailbox::Drain() {
  for (;;) {
    Delivery next;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (waiting_.empty()) return;
      next = std::move(waiting_.front());
      waiting_.pop_front();
      count_ = waiting_.size();
    }
    next();
  }
}

void WindowMailbox::Clear() {
  std::deque<Delivery> dropped;
  std::lock_guard<std::mutex> lock(mutex_);
  dropped.swap(waiting_);
  count_ = 0;
}
