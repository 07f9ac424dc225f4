// A modal dialog made from a dialog template, run by a message loop of its own.
//
// The window is subclassed once it exists, so every message reaches this object's message map
// first; what the map does not handle goes to the dialog manager's default processing
// (Default()). Every queued message for the dialog or one of its child windows passes through
// PreTranslateMessage before it is dispatched.
#pragma once
#include <windows.h>

#include "framework/message_map.h"

class CDialog : public CCmdTarget {
 public:
  // parent null: the application's main window (when there is one besides this dialog) owns
  // the dialog and is disabled while it runs.
  explicit CDialog(UINT templateId, HWND parent = nullptr);
  // From a template in memory; the caller keeps the template alive while the dialog runs.
  explicit CDialog(const DLGTEMPLATE* memoryTemplate, HWND parent = nullptr);
  ~CDialog() override;

  // Creates the window, runs it until EndDialog and destroys it. Returns the EndDialog result,
  // or -1 when the window could not be created.
  INT_PTR DoModal();
  // Creates the window without running a loop (for tests that drive it themselves).
  bool CreateModeless(HWND owner);
  void EndDialog(INT_PTR result);
  bool Ended() const { return ended_; }

  HWND GetSafeHwnd() const { return hwnd_; }
  HWND WindowHandle() const override { return hwnd_; }

  // Base: lets the dialog manager translate keys (Tab, Enter, Esc) for this dialog.
  virtual BOOL PreTranslateMessage(MSG* msg);
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnOK() { EndDialog(IDOK); }
  virtual void OnCancel() { EndDialog(IDCANCEL); }
  // Called by DoModal's loop after each message it takes has been handled: for work that must
  // run in this dialog's own loop and never inside a nested one (a message box's, a menu's).
  virtual void OnLoopTurn() {}

  const MessageMap* GetMessageMap() const override;

 protected:
  // Default processing of the message being handled.
  LRESULT Default();

  HWND hwnd_ = nullptr;

 private:
  struct CurrentMessage {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  };

  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  static LRESULT CALLBACK SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  HWND ChooseOwner() const;
  bool IsOwnMessage(const MSG& msg) const;

  UINT templateId_ = 0;
  const DLGTEMPLATE* memoryTemplate_ = nullptr;
  HWND parent_;
  WNDPROC defaultProc_ = nullptr;
  CurrentMessage current_{};
  bool ended_ = false;
  INT_PTR result_ = -1;
};
