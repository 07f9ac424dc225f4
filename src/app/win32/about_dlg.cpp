#include "app/win32/about_dlg.h"

#include "resource.h"

CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUT) {}

const MessageMap* CAboutDlg::GetMessageMap() const {
  static const MessageMap map{CDialog::GetMessageMap(), nullptr, 0};
  return &map;
}
