#include "framework/thread_checker.h"

#include <atomic>

namespace {

// The one hook of the process; tests set it before any viewer exists. Never destroyed.
std::atomic<ThreadViolationHook> hook{nullptr};

}  // namespace

void SetThreadViolationHook(ThreadViolationHook h) { hook = h; }

void ReportThreadViolation(const char* function) {
  if (ThreadViolationHook h = hook.load()) {
    h(function);
    return;
  }
  if (IsDebuggerPresent()) DebugBreak();
}
