// One background thread that runs jobs one at a time, in order, with a way to put a job first
// and to abandon jobs. Results go back to the window's thread through a WindowMailbox: the
// worker never touches the window or anything the window's thread owns.
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

// Owned by the window's thread, which alone submits and cancels.
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

  // Any thread. The window is woken with `message` (no parameters). The delivery is kept even
  // when the wake-up cannot be posted (a full queue): the window's loop then finds it Waiting.
  void Post(HWND window, UINT message, Delivery delivery);
  // Window's thread: runs every waiting delivery.
  void Drain();
  // Any thread: true while a delivery waits to be run.
  bool Waiting() const { return count_.load() != 0; }
  // Window's thread: drops every waiting delivery unrun (the window is going).
  void Clear();

 private:
  std::mutex mutex_;
  std::deque<Delivery> waiting_;
  std::atomic<size_t> count_{0};  // waiting_.size(), readable without the lock
};

// The viewer's one worker and its mailbox, created on first use by the window's thread.
// Results arrive at the window as WM_WORKER_RESULTS, whose handler drains the mailbox.
constexpr UINT WM_WORKER_RESULTS = WM_APP + 2;
WorkerThread& BackgroundWorker();
WindowMailbox& ResultMailbox();
// The window is going: abandons every job and drops what the worker left behind. It waits for
// the running job only briefly: one that cannot stop early (a decode in the imaging library)
// is left to end with the process, so closing never waits for it.
void StopBackgroundWork();
