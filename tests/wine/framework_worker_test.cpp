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

#include "framework/task_runner.h"
#include "framework/thread_checker.h"
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
  mailbox.SetWindow(window, WM_WORKER_RESULTS);
  std::vector<std::string> delivered;
  auto job = [&](const std::string& name) -> WorkerThread::Job {
    return [&, name](const std::atomic<bool>& cancelled) {
      log.Add(cancelled ? name + "-cancelled" : name);
      mailbox.Post([&delivered, &testThread, name] {
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
  mailbox.Post([&ran] { ran = true; });
  mailbox.Clear();
  mailbox.Drain();
  EXPECT_FALSE(ran);
}

// The one way work is handed off: each task that is not cancelled replies on the window's
// thread, one that throws replies with a default result, and a cancelled one never replies; a
// window-thread-only entry called from the worker is caught.
TEST(TaskRunner, EveryTaskRepliesOnTheWindowsThreadAndAWorkerCallIsCaught) {
  static std::atomic<int> violations{0};
  static const char* lastFunction = nullptr;
  SetThreadViolationHook([](const char* function) {
    lastFunction = function;
    ++violations;
  });
  HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  ASSERT_NE(window, nullptr);
  const DWORD windowThread = GetCurrentThreadId();
  std::vector<std::string> replies;
  std::atomic<bool> entered{false};
  std::atomic<bool> release{false};
  {
    TaskRunner tasks;
    // Before the window is given, replies wait in the mailbox (the start picture's case).
    tasks.PostTaskAndReply(
        TaskRunner::Placement::kLast,
        [&](const std::atomic<bool>&) {
          entered = true;
          while (!release) Sleep(1);
          return std::string("first");
        },
        [&](std::string& r) {
          EXPECT_EQ(GetCurrentThreadId(), windowThread) << "expected the reply on the window's thread";
          replies.push_back(r);
        });
    ASSERT_TRUE(WaitFor(entered));
    const TaskRunner::TaskId dropped = tasks.PostTaskAndReply(
        TaskRunner::Placement::kLast, [](const std::atomic<bool>&) { return std::string("cancelled"); },
        [&](std::string& r) { replies.push_back(r); });
    tasks.PostTaskAndReply(
        TaskRunner::Placement::kLast,
        [](const std::atomic<bool>&) -> std::string { throw std::bad_alloc(); },
        [&](std::string& r) { replies.push_back("threw:" + r); });
    // A worker calling a window-thread-only entry of the runner.
    tasks.PostTaskAndReply(
        TaskRunner::Placement::kLast,
        [&tasks](const std::atomic<bool>&) {
          tasks.Cancel(0);  // names no task: only the check acts
          return 0;
        },
        [](int&) {});
    tasks.Cancel(dropped);
    release = true;
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < 1000 && violations.load() == 0) Sleep(5);
    EXPECT_TRUE(tasks.RepliesWaiting()) << "expected replies waiting before the window was given";
    tasks.SetReplyWindow(window);
    while (replies.size() < 2 && GetTickCount() - start < 5000) {
      MSG msg;
      while (PeekMessageW(&msg, window, WM_WORKER_RESULTS, WM_WORKER_RESULTS, PM_REMOVE)) tasks.TakeReplies();
      Sleep(5);
    }
    EXPECT_TRUE(tasks.Shutdown(2000)) << "expected an idle worker to stop";
  }
  EXPECT_EQ(replies, (std::vector<std::string>{"first", "threw:"}))
      << "expected the cancelled task silent and the throwing one to reply with an empty result";
  EXPECT_EQ(violations.load(), 1) << "expected the worker's call to the window-thread-only entry caught once";
  EXPECT_STREQ(lastFunction, "Cancel");
  SetThreadViolationHook(nullptr);
  DestroyWindow(window);
}

}  // namespace
