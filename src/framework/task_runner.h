// Work on the worker, its reply on the window's thread: the one way the viewer hands work off.
// A task runs on the viewer's worker (one at a time, in order, a task put first going next) with
// a cancel flag it checks where it can stop early; its result then goes back through the mailbox
// and the reply runs with it on the window's thread. Every task that is not cancelled replies:
// work that throws (out of memory on the way) replies with a default-made result, so nothing on
// the window's thread waits for a reply that never comes. A cancelled task never replies.
//
// Owned by the viewer; window's thread only (checked), except the work itself.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <type_traits>
#include <utility>

#include "framework/thread_checker.h"
#include "framework/worker_thread.h"

// The wake-up the window gets when replies wait; its handler calls TakeReplies.
constexpr UINT WM_WORKER_RESULTS = WM_APP + 2;

class TaskRunner {
 public:
  using TaskId = WorkerThread::Ticket;
  using Placement = WorkerThread::Placement;

  TaskRunner();
  // Shuts the worker down if that was not done (see Shutdown).
  ~TaskRunner();
  TaskRunner(const TaskRunner&) = delete;
  TaskRunner& operator=(const TaskRunner&) = delete;

  // The window replies wake. Until it is given, replies wait (a task posted before the window
  // exists, the start picture's).
  void SetReplyWindow(HWND window);

  // work(const std::atomic<bool>& cancelled) -> Result runs on the worker, then reply(Result&)
  // on the window's thread. Result must be default-constructible and movable.
  template <class Work, class Reply>
  TaskId PostTaskAndReply(Placement placement, Work work, Reply reply) {
    VISTREL_CHECK_THREAD(thread_);
    if (stopped_) return 0;  // the window is going: nothing would take the reply
    using Result = std::decay_t<std::invoke_result_t<Work&, const std::atomic<bool>&>>;
    // Made here, so that a failure on the worker still has a result to reply with.
    auto result = std::make_shared<Result>();
    auto reply_ = std::make_shared<Reply>(std::move(reply));
    std::shared_ptr<WindowMailbox> mailbox = mailbox_;
    return Worker().Submit(
        [work = std::move(work), reply_, result, mailbox](const std::atomic<bool>& cancelled) mutable {
          try {
            *result = work(cancelled);
          } catch (...) {
            *result = Result{};
          }
          if (cancelled) return;
          mailbox->Post([reply_, result] { (*reply_)(*result); });
        },
        placement);
  }

  // What a task has to show before it ends (a first view of a picture still decoding) goes to
  // the window's thread through this, in order with the replies. Unlike a reply, an early one
  // is delivered even when its task was cancelled meanwhile: it must check for itself that what
  // it belongs to is still wanted.
  class EarlyReplies {
   public:
    // Any thread.
    void Post(std::function<void()> reply) const {
      if (mailbox_) mailbox_->Post(std::move(reply));
    }

   private:
    friend class TaskRunner;
    std::shared_ptr<WindowMailbox> mailbox_;
  };
  EarlyReplies EarlyRepliesToWindow() const {
    EarlyReplies replies;
    replies.mailbox_ = mailbox_;
    return replies;
  }

  // Removes a queued task or asks the running one to stop; either way it does not reply. Task 0
  // (none) is ignored.
  void Cancel(TaskId task);
  // Moves a queued task to the front; false when it is running or done.
  bool PutFirst(TaskId task);

  // Runs every reply that waits, in the order their tasks finished.
  void TakeReplies();
  // Any thread: true while a reply waits (its wake-up may have been lost).
  bool RepliesWaiting() const { return mailbox_->Waiting(); }

  // The window is going: takes no more tasks, abandons the queued ones, asks the running one to
  // stop and waits up to `waitMs` for it; drops every reply still waiting. True when the worker
  // has stopped. False leaves a task running (one that cannot stop early, such as a decode inside
  // the imaging library): the worker is then kept for the process's life, and the process must
  // end without destroying what that task may still reach (see the application's exit). Later
  // calls wait no more and tell what the first one found.
  bool Shutdown(DWORD waitMs);

 private:
  WorkerThread& Worker();

  ThreadChecker thread_;
  std::shared_ptr<WindowMailbox> mailbox_;  // shared with tasks in flight
  std::unique_ptr<WorkerThread> worker_;    // started on the first task
  bool stopped_ = false;
  bool workerStopped_ = true;
};
