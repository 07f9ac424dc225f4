#include "app/win32/vistrel_app.h"

#include <commctrl.h>

#include "app/win32/vistrel_dlg.h"

const MessageMap* CVistrelApp::GetMessageMap() const { return CWinApp::GetMessageMap(); }

BOOL CVistrelApp::InitInstance() {
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = 8;
  controls.dwICC = 0x000000FF;
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();
  // No control container is installed: none of the templates hosts an ActiveX control.
  SetRegistryKey(L"Local AppWizard-Generated Applications");

  {
    CVistrelDlg viewer;
    viewer.RunModal(this);
  }
  return FALSE;
}
