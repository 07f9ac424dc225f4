// Process entry: hands over to the application object.
#include <windows.h>

#include "app/win32/vistrel_app.h"

// Naming theApp here also makes the linker keep the process-wide objects' translation unit.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) { return theApp.Run(); }
