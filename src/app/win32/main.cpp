// Process entry: hands over to the application object.
#include <windows.h>

#include "app/win32/vistrel_app.h"
#include "framework/start_profile.h"

// Naming theApp here also makes the linker keep the process-wide objects' translation unit.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  MarkStartPhase(StartPhase::kProcessEntry);
  return theApp.Run();
}
