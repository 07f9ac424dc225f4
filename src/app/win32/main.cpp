// Process entry: hands over to the application object.
#include <windows.h>

#include "framework/win_app.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  CWinApp* app = CWinApp::Current();
  return app != nullptr ? app->Run(instance) : 1;
}
