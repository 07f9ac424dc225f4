// One background thread that runs jobs one at a time, in order, with a way to put a job first
// and to abandon jobs, and the mailbox results go back to the window's thread through: the
// worker never touches the window or anything the window's thread owns. The viewer uses both
// through TaskRunner (framework/task_runner.h).
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Owned by the window's thread, which alone submits and cancels (through TaskRunner).
class WorkerThread {
 public:
  // A job checks `cancelled` where it can stop early; a cancelled job's work is thrown away.
  using Job = std::function<void(const std::atomic<bool>& cancelled)>;
  using Ticket = uint64_t;
  enum class Placement { kLast, kFirst };

  WorkerThread();
  // Abandons every job and waits for the one running to stop.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  Ticket Submit(Job job, Placement placement);
  // Moves a queued job to the front; false when it is no longer queued (running or done).
  bool PutFirst(Ticket ticket);
  // Removes a queued job or asks the running one to stop.
  void Cancel(Ticket ticket);
  // Takes no more jobs, abandons the queued ones and asks the running one to stop; true when
  // the worker has stopped within `wait` milliseconds.
  bool Shutdown(DWORD wait);

 private:
  struct Entry {
    Ticket ticket;
    Job job;
  };
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Entry> queue_;
  Ticket running_ = 0;
  std::atomic<bool> runningCancelled_{false};
  bool stopping_ = false;
  Ticket nextTicket_ = 1;
  std::thread thread_;  // last: started once everything it uses exists
};

// Work finished on a worker, waiting to be taken over by the window's thread. The worker calls
// Post; the window's thread calls Drain when the posted message arrives. Each delivery runs on
// the window's thread, in the order posted.
class WindowMailbox {
 public:
  using Delivery = std::function<void()>;

  // Window's thread: the window woken with `message` (no parameters) for each delivery; until it
  // is set, deliveries only wait (the window's loop finds them Waiting). Wakes it at once when
  // some already wait.
  void SetWindow(HWND window, UINT message);
  // Any thread. The delivery is kept even when the wake-up cannot be posted (no window yet, a
  // full queue): the window's loop then finds it Waiting.
  void Post(Delivery delivery);
  // Window's thread: runs every waiting delivery.
  void Drain();
  // Any thread: true while a delivery waits to be run.
  bool Waiting() const { return count_.load() != 0; }
  // Window's thread: drops every waiting delivery unrun (the window is going).
  void Clear();

 private:
  std::mutex mutex_;
  std::deque<Delivery> waiting_;
  HWND window_ = nullptr;  // under mutex_, like message_
  UINT message_ = 0;
  std::atomic<size_t> count_{0};  // waiting_.size(), readable without the lock
};
