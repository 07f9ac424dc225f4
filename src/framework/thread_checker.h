// Which thread may use an object, checked where it is used rather than only written in a comment.
// The owner captures the thread that creates it; every window-thread-only entry asserts it. A call
// from another thread is reported to the hook tests install (which fails the test), and breaks
// into a debugger when one is attached; a release run without a debugger goes on unchanged.
#pragma once
#include <windows.h>

class ThreadChecker {
 public:
  ThreadChecker() : owner_(GetCurrentThreadId()) {}
  bool OnOwnerThread() const { return GetCurrentThreadId() == owner_; }

 private:
  DWORD owner_;
};

// Called with the function's name when a checked call comes from the wrong thread. Null restores
// the default (a debug break under a debugger, nothing otherwise). Any thread.
using ThreadViolationHook = void (*)(const char* function);
void SetThreadViolationHook(ThreadViolationHook hook);
void ReportThreadViolation(const char* function);

#define VISTREL_CHECK_THREAD(checker) \
  do { \
    if (!(checker).OnOwnerThread()) ReportThreadViolation(__func__); \
  } while (false)
