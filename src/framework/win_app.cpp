#include "framework/win_app.h"

#include "framework/dialog.h"

CWinApp* CWinApp::current_ = nullptr;

CWinApp::CWinApp() { current_ = this; }

CWinApp::~CWinApp() {
  if (current_ == this) current_ = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }

HWND CWinApp::MainWindow() const { return mainWindow_ != nullptr ? mainWindow_->GetSafeHwnd() : nullptr; }

int CWinApp::Run(HINSTANCE instance) {
  instance_ = instance;
  if (!InitInstance()) return ExitInstance();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  ExitInstance();
  return static_cast<int>(msg.wParam);
}

void CWinApp::SetRegistryKey(const wchar_t* company) {
  registryKey_ = company;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring name = path;
  name = name.substr(name.find_last_of(L'\\') + 1);
  profileName_ = name.substr(0, name.find_last_of(L'.'));
}

const MessageMap* CWinApp::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      {WM_COMMAND, 0, ID_HELP, Handler(&CWinApp::OnHelp)},
  };
  static const MessageMap map = MakeMessageMap(CCmdTarget::GetMessageMap(), entries);
  return &map;
}
