#include "app/win32/vistrel_app.h"

#include <commctrl.h>

#include "app/win32/vistrel_dlg.h"
#include "browse/win32/folder_listing.h"
#include "framework/start_profile.h"

const MessageMap* CVistrelApp::GetMessageMap() const { return CWinApp::GetMessageMap(); }

BOOL CVistrelApp::InitInstance() {
  // The window's object, with the viewer's state, comes first: the start file decodes on its
  // worker while the framework and the window come up.
  CVistrelDlg viewer;
  PrepareStartPictureEarly(viewer.State().browse, CVistrelDlg::MonitorToOpenOn());
  INITCOMMONCONTROLSEX controls{};
  controls.dwSize = 8;
  controls.dwICC = 0x000000FF;
  InitCommonControlsEx(&controls);

  CWinApp::InitInstance();
  // No control container is installed: none of the templates hosts an ActiveX control.
  SetRegistryKey(L"Local AppWizard-Generated Applications");
  MarkStartPhase(StartPhase::kFrameworkReady);

  viewer.RunModal(this);
  if (!viewer.StopWorker()) {
    // The worker is still inside a task that cannot stop early (a decode in the imaging library),
    // and what it may reach (the imaging library, the colour converter) would be torn down by
    // the exit under it. The settings are written and the window is gone: the process ends here,
    // without running destructors.
    TerminateProcess(GetCurrentProcess(), 0);
  }
  return FALSE;
}
