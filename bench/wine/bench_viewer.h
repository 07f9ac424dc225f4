// The window the in-process benchmarks draw into: a popup with a picture control laid out as the
// viewer lays out its own, the viewer's worker and picture view, and a window procedure that
// routes what the viewer window routes to them (the worker's replies, the exact-view timer), so
// that work the renderer hands to the worker comes back as it does in the viewer.
#pragma once
#include <windows.h>

#include <cstdint>
#include <string>

#include "bench_timing.h"
#include "imagelist/win32/image_list.h"
#include "picture/win32/dib_image.h"
#include "resource.h"
#include "framework/task_runner.h"
#include "view/view_state.h"
#include "view/win32/exact_view.h"
#include "view/win32/picture_view.h"
#include "view/win32/render.h"

class BenchViewer {
 public:
  BenchViewer(const wchar_t* title, int32_t width, int32_t height) {
    WNDCLASSW wc = {};
    wc.lpfnWndProc = Proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"VistrelBenchViewer";
    RegisterClassW(&wc);  // fails harmlessly for the second window of a run
    window_ = CreateWindowExW(0, wc.lpszClassName, title, WS_POPUP | WS_VISIBLE, 0, 0, width, height, nullptr,
                              nullptr, wc.hInstance, nullptr);
    CreateWindowExW(0, L"STATIC", L"", 0x5000030D, 0, 0, width, height, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_PICTURE)), wc.hInstance, nullptr);
    SetWindowLongPtrW(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    view_.viewer = window_;
    tasks_.SetReplyWindow(window_);
  }
  // The worker stops first: no reply may reach the view or the window once they are going.
  ~BenchViewer() {
    tasks_.Shutdown(INFINITE);
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
  BenchViewer(const BenchViewer&) = delete;
  BenchViewer& operator=(const BenchViewer&) = delete;

  HWND Window() const { return window_; }
  PictureView& View() { return view_; }

  // Runs the window's messages waiting now.
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
  }
  // Runs the window's messages until done() or timeoutMs; false on the timeout.
  template <class Done>
  bool PumpUntil(Done done, double timeoutMs) {
    const double start = NowMs();
    while (!done()) {
      if (NowMs() - start > timeoutMs) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      Pump();
    }
    return true;
  }

  // currentImage, filled by the caller, becomes the shown picture as a decode leaves it, listed
  // under `path` (whose spelling picks the plain or the alpha path): no drawn copies yet, zoom
  // 1. On the alpha path its colours are taken as premultiplied already, like a prepared picture.
  void MarkShown(const std::wstring& path, bool alpha) {
    CancelExactViewJobs(view_);
    ImageList = {path};
    currentIndex = 0;
    ShownPicture& shown = view_.shown;
    shown.present = true;
    shown.rules = PictureRules{};
    shown.rules.path = path;
    shown.rules.alphaPath = alpha;
    shown.rules.premultiplied = alpha;
    shown.fitted.image.Destroy();
    shown.levels.levels.clear();
    viewState.loadFailed = 0;
    viewState.alphaPrepared = alpha ? 1 : 0;
    viewState.zoom = 1.0f;
  }

 private:
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<BenchViewer*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self != nullptr && message == WM_WORKER_RESULTS) {
      self->tasks_.TakeReplies();
      return 0;
    }
    if (self != nullptr && message == WM_TIMER && wParam == kExactViewTimer) {
      AskForExactView(self->view_);
      return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
  }

  TaskRunner tasks_;  // first: gone last, after the view its replies reach
  PictureView view_{tasks_};
  HWND window_ = nullptr;
};
