#include "framework/win_app.h"

#include "framework/dialog.h"

CWinApp* CWinApp::current_ = nullptr;

CWinApp::CWinApp() { current_ = this; }

CWinApp::~CWinApp() {
  if (current_ == this) current_ = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

HWND CWinApp::MainWindow() const { return mainWindow_ != nullptr ? mainWindow_->GetSafeHwnd() : nullptr; }

int CWinApp::Run() {
  if (!InitInstance()) return ExitInstance();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  ExitInstance();
  return static_cast<int>(msg.wParam);
}

void CWinApp::SetRegistryKey(const wchar_t* company) { registryKey_ = company; }

const MessageMap* CWinApp::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      OnCommand<&CWinApp::OnHelp>(ID_HELP),
  };
  static const MessageMap map = MakeMessageMap(CCmdTarget::GetMessageMap(), entries);
  return &map;
}
