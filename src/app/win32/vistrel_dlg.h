// The viewer window: a modal dialog whose picture control covers the client area. Its message
// map wires every message and command to the operation that handles it; the operations live
// in their subsystems (browse/win32/navigation.h, view/win32/render.h, input/win32/*.h,
// commands/win32/*.h) and take the part of the viewer's state they act on. That state is one
// object the window owns (Viewer); the described records stay process-wide.
// Everything here runs on the window's thread.
#pragma once
#include <windows.h>
#include <cstdint>

#include "app/win32/viewer.h"
#include "framework/dialog.h"
#include "view/rects.h"

class CWinApp;

#ifndef WM_DPICHANGED
#define WM_DPICHANGED 0x02E0  // older headers lack it
#endif

// The smallest outer size the window takes, in 96-dpi units (scaled to the DPI of its monitor).
constexpr int32_t kMinimumWindowWidth = 768;
constexpr int32_t kMinimumWindowHeight = 536;

class CVistrelDlg : public CDialog,
                    public ProvidesContext<PictureView>,
                    public ProvidesContext<Browser>,
                    public ProvidesContext<Commands>,
                    public ProvidesContext<ViewerInput> {
 public:
  CVistrelDlg();
  ~CVistrelDlg() override = default;

  // The viewer's state: for the application (the start picture, asked for before the window
  // exists) and for tests.
  Viewer& State() { return state_; }
  PictureView& ContextOf(PictureView*) override { return state_.view; }
  Browser& ContextOf(Browser*) override { return state_.browse; }
  Commands& ContextOf(Commands*) override { return state_.commands; }
  ViewerInput& ContextOf(ViewerInput*) override { return state_.input; }
  // Stops the worker (at once if the window's going did already): false when it was still
  // inside a task that could not stop (the process must then end without destroying what that
  // task may reach).
  bool StopWorker();
  // Before the window exists: the monitor the settings file will place it on (null: the primary
  // one, where a window without settings opens), so the start picture takes its colours.
  static HMONITOR MonitorToOpenOn();

  // Makes this the application's main window and runs it until it closes.
  void RunModal(CWinApp* app);

  const MessageMap* GetMessageMap() const override;
  BOOL PreTranslateMessage(MSG* msg) override { return FilterQueuedMessage(msg); }
  BOOL OnInitDialog() override;

  // Every queued message of the window and its children, before delivery: the input filter.
  // Always lets the message go on.
  BOOL FilterQueuedMessage(MSG* msg);
  // After each message of the viewer's own loop: takes results whose wake-up could not be
  // posted and replays held input once nothing is awaited. Never runs inside a nested loop, so
  // nothing held acts under a prompt, the about box or a menu.
  void OnLoopTurn() override;

  bool InitialLayoutDone() const { return initialLayoutDone != 0; }

 private:
  // The settings file: applied at the end of initialisation, written on close.
  void LoadSettings();
  void SaveSettings(const EdgeRect& measured);
  // Tells the start picture's preparation the picture area a window of that client size gets on
  // a monitor of that DPI, before the window is placed.
  void PredictPictureArea(SIZE client, const DisplayDpi& dpi);

  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
  LRESULT OnSize(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
  LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);
  LRESULT OnClose(WPARAM wParam, LPARAM lParam);
  LRESULT OnMove(WPARAM wParam, LPARAM lParam);
  LRESULT OnDisplayChange(WPARAM wParam, LPARAM lParam);
  LRESULT OnDpiChanged(WPARAM wParam, LPARAM lParam);
  LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);
  LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
  LRESULT OnWorkerResults(WPARAM wParam, LPARAM lParam);
  LRESULT OnDestroy(WPARAM wParam, LPARAM lParam);
  LRESULT OnTimer(WPARAM wParam, LPARAM lParam);
  void OnPictureClicked() {}
  void OnOkCommand() {}

  void AddAboutItem();
  void LayOutPictureOverClient();
  void PaintIcon();
  void RememberNormalRect();

  Viewer state_;
  HICON icon_;
  int32_t initialLayoutDone = 0;
  bool settingsTidied_ = false;
};
