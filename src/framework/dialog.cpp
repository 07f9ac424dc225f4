#include "framework/dialog.h"

#include "framework/win_app.h"

CDialog::CDialog(UINT templateId, HWND parent) : templateId_(templateId), parent_(parent) {}

CDialog::CDialog(const DLGTEMPLATE* memoryTemplate, HWND parent)
    : memoryTemplate_(memoryTemplate), parent_(parent) {}

CDialog::~CDialog() {
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

const MessageMap* CDialog::GetMessageMap() const {
  static const MessageMapEntry entries[] = {
      OnCommand<&CDialog::OnOK>(IDOK),
      OnCommand<&CDialog::OnCancel>(IDCANCEL),
  };
  static const MessageMap map = MakeMessageMap(CCmdTarget::GetMessageMap(), entries);
  return &map;
}

HWND CDialog::ChooseOwner() const {
  if (parent_ != nullptr) return parent_;
  CWinApp* app = CWinApp::Current();
  HWND main = app != nullptr ? app->MainWindow() : nullptr;
  if (main != nullptr && IsWindow(main) && IsWindowEnabled(main)) return main;
  return nullptr;
}

bool CDialog::CreateModeless(HWND owner) {
  ended_ = false;
  result_ = -1;
  HINSTANCE instance = GetModuleHandleW(nullptr);
  LPARAM self = reinterpret_cast<LPARAM>(this);
  HWND hwnd = memoryTemplate_ != nullptr
                  ? CreateDialogIndirectParamW(instance, memoryTemplate_, owner, DialogProc, self)
                  : CreateDialogParamW(instance, MAKEINTRESOURCEW(templateId_), owner, DialogProc, self);
  return hwnd != nullptr;
}

INT_PTR CDialog::DoModal() {
  HWND owner = ChooseOwner();
  if (!CreateModeless(owner)) return -1;
  if (owner != nullptr) EnableWindow(owner, FALSE);
  // A template without WS_VISIBLE (the about box) is shown here; a visible one keeps the
  // placement its initialisation gave it.
  if (hwnd_ != nullptr && !IsWindowVisible(hwnd_)) ShowWindow(hwnd_, SW_SHOWNORMAL);

  MSG msg;
  while (!ended_) {
    BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      PostQuitMessage(static_cast<int>(msg.wParam));  // leave WM_QUIT for the outer loop
      break;
    }
    if (got == -1) break;
    if (!IsOwnMessage(msg) || !PreTranslateMessage(&msg)) {
      TranslateMessage(&msg);
      DispatchMessageW(&msg);
    }
    if (!ended_) OnLoopTurn();
  }

  // Re-enable the owner before this window goes, so activation returns to it.
  if (owner != nullptr) EnableWindow(owner, TRUE);
  if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  return result_;
}

void CDialog::EndDialog(INT_PTR result) {
  result_ = result;
  ended_ = true;
  if (hwnd_ != nullptr) PostMessageW(hwnd_, WM_NULL, 0, 0);  // wake the loop
}

bool CDialog::IsOwnMessage(const MSG& msg) const {
  return hwnd_ != nullptr && (msg.hwnd == hwnd_ || IsChild(hwnd_, msg.hwnd));
}

BOOL CDialog::PreTranslateMessage(MSG* msg) { return IsDialogMessageW(hwnd_, msg); }

LRESULT CDialog::Default() {
  return CallWindowProcW(defaultProc_, hwnd_, current_.message, current_.wParam, current_.lParam);
}

INT_PTR CALLBACK CDialog::DialogProc(HWND hwnd, UINT message, WPARAM, LPARAM lParam) {
  if (message != WM_INITDIALOG) return FALSE;  // the subclass procedure has seen it already
  auto* self = reinterpret_cast<CDialog*>(lParam);
  self->hwnd_ = hwnd;
  SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
  self->defaultProc_ = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(SubclassProc)));
  CurrentMessage saved = self->current_;
  self->current_ = {message, 0, lParam};
  BOOL focus = self->OnInitDialog();
  self->current_ = saved;
  return focus;
}

LRESULT CALLBACK CDialog::SubclassProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<CDialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
  return self->WindowProc(message, wParam, lParam);
}

LRESULT CDialog::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  CurrentMessage saved = current_;
  current_ = {message, wParam, lParam};
  LRESULT result = 0;
  if (!Dispatch(message, wParam, lParam, result)) {
    CWinApp* app = CWinApp::Current();
    if (message != WM_COMMAND || app == nullptr || !app->Dispatch(message, wParam, lParam, result))
      result = Default();
  }
  current_ = saved;
  if (message == WM_NCDESTROY) {
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(defaultProc_));
    SetWindowLongPtrW(hwnd_, DWLP_USER, 0);
    hwnd_ = nullptr;
  }
  return result;
}
