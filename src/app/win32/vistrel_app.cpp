#include "app/win32/vistrel_app.h"

#include <commctrl.h>

#include "app/win32/vistrel_dlg.h"
#include "browse/win32/folder_listing.h"
#include "framework/start_profile.h"

const MessageMap* CVistrelApp::GetMessageMap() const { return CWinApp::GetMessageMap(); }

BOOL CVistrelApp::InitInstance() {
  // The start file decodes on the worker while the framework and the window come up.
  PrepareStartPictureEarly();
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = 8;
  controls.dwICC = 0x000000FF;
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();
  // No control container is installed: none of the templates hosts an ActiveX control.
  SetRegistryKey(L"Local AppWizard-Generated Applications");
  MarkStartPhase(StartPhase::kFrameworkReady);

  {
    CVistrelDlg viewer;
    viewer.RunModal(this);
  }
  return FALSE;
}
