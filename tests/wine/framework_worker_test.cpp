// The worker thread and its mailbox: jobs in order, a job put first, a queued job cancelled
// against the running one, results run on the window's thread in the order posted, and a
// worker destroyed with work pending.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/worker_thread.h"

namespace {

// What the jobs did, in order, from whichever thread.
class Log {
 public:
  void Add(const std::string& entry) {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.push_back(entry);
  }
  std::string Joined() {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string all;
    for (const std::string& e : entries_) all += (all.empty() ? "" : " ") + e;
    return all;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> entries_;
};

bool WaitFor(const std::atomic<bool>& flag) {
  for (int i = 0; i < 500 && !flag; ++i) Sleep(10);
  return flag;
}

// A job that holds the worker until it is cancelled, so the queue behind it can be arranged.
WorkerThread::Job Gate(Log& log, std::atomic<bool>& entered) {
  return [&log, &entered](const std::atomic<bool>& cancelled) {
    entered = true;
    for (int i = 0; i < 1000 && !cancelled; ++i) Sleep(5);
    log.Add(cancelled ? "gate-cancelled" : "gate-timed-out");
  };
}

TEST(WorkerThread, RunsInOrderWithFirstPlacementAndCancelsQueuedAndRunningJobs) {
  Log log;
  std::atomic<bool> entered{false};
  const DWORD testThread = GetCurrentThreadId();
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  WindowMailbox mailbox;
  std::vector<std::string> delivered;
  auto job = [&](const std::string& name) -> WorkerThread::Job {
    return [&, name](const std::atomic<bool>& cancelled) {
      log.Add(cancelled ? name + "-cancelled" : name);
      mailbox.Post(window, WM_WORKER_RESULTS, [&delivered, &testThread, name] {
        EXPECT_EQ(GetCurrentThreadId(), testThread) << "expected " << name << "'s result on the window's thread";
        delivered.push_back(name);
      });
    };
  };
  {
    WorkerThread worker;
    const WorkerThread::Ticket gate = worker.Submit(Gate(log, entered), WorkerThread::Placement::kLast);
    ASSERT_TRUE(WaitFor(entered)) << "the first job never started";
    worker.Submit(job("a"), WorkerThread::Placement::kLast);
    const WorkerThread::Ticket b = worker.Submit(job("b"), WorkerThread::Placement::kLast);
    const WorkerThread::Ticket c = worker.Submit(job("c"), WorkerThread::Placement::kFirst);
    const WorkerThread::Ticket d = worker.Submit(job("d"), WorkerThread::Placement::kLast);
    EXPECT_TRUE(worker.PutFirst(b)) << "b is queued, so it can be put first";
    EXPECT_FALSE(worker.PutFirst(gate)) << "the running job is no longer queued";
    worker.Cancel(d);     // queued: removed unrun
    worker.Cancel(gate);  // running: asked to stop, and the flag must not leak into later jobs
    const DWORD start = GetTickCount();
    while (delivered.size() < 3 && GetTickCount() - start < 5000) {
      MSG msg;
      while (PeekMessageW(&msg, window, WM_WORKER_RESULTS, WM_WORKER_RESULTS, PM_REMOVE)) mailbox.Drain();
      Sleep(5);
    }
    EXPECT_FALSE(worker.PutFirst(c)) << "c has run";
  }
  EXPECT_EQ(log.Joined(), "gate-cancelled b c a");
  EXPECT_EQ(delivered, (std::vector<std::string>{"b", "c", "a"}));
  DestroyWindow(window);
}

TEST(WorkerThread, DestroyedWithWorkPendingStopsTheRunningJobAndDropsTheQueue) {
  Log log;
  std::atomic<bool> entered{false};
  std::atomic<bool> queuedRan{false};
  const DWORD start = GetTickCount();
  {
    WorkerThread worker;
    worker.Submit(Gate(log, entered), WorkerThread::Placement::kLast);
    worker.Submit([&](const std::atomic<bool>&) { queuedRan = true; }, WorkerThread::Placement::kLast);
    ASSERT_TRUE(WaitFor(entered));
  }
  const DWORD took = GetTickCount() - start;
  EXPECT_EQ(log.Joined(), "gate-cancelled") << "the running job must be told to stop";
  EXPECT_FALSE(queuedRan) << "a queued job must not run once the worker goes";
  EXPECT_LT(took, 2000u) << "expected the destruction to wait only for the running job to stop";

  // A mailbox cleared before its message is handled runs nothing.
  WindowMailbox mailbox;
  bool ran = false;
  mailbox.Post(nullptr, WM_WORKER_RESULTS, [&ran] { ran = true; });
  mailbox.Clear();
  mailbox.Drain();
  EXPECT_FALSE(ran);
}

}  // namespace
