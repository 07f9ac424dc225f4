// The application object: one per process, started from wWinMain.
#pragma once
#include <windows.h>
#include <string>

#include "framework/message_map.h"

class CDialog;

class CWinApp : public CCmdTarget {
 public:
  CWinApp();
  ~CWinApp() override;

  // The one application object of the process (set by its constructor).
  static CWinApp* Current() { return current_; }

  // Start-up: returning FALSE ends the process without a message loop of the application's own.
  virtual BOOL InitInstance();
  virtual int ExitInstance() { return 0; }
  // Runs the application: InitInstance, then (only when it returned TRUE) the thread's loop.
  int Run();

  // Selects where the framework would keep a registry profile; nothing is read or written.
  void SetRegistryKey(const wchar_t* company);

  // The main window's handle, or null. The window object is not owned: whoever made it does.
  HWND MainWindow() const;
  void SetMainWindow(CDialog* window) { mainWindow_ = window; }

  const MessageMap* GetMessageMap() const override;

 protected:
  // The framework's default help command: there is no help file, so it shows nothing.
  void OnHelp() {}

 private:
  static CWinApp* current_;
  CDialog* mainWindow_ = nullptr;
  std::wstring registryKey_;
};

constexpr UINT ID_HELP = 0xE146;
