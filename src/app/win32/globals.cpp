// The application object. The other process-wide records are defined with their folders (the
// list in imagelist/, the shown bitmap in picture/, the view state in view/), so that no lower
// folder reaches up to app/ for them; the viewer's own state is the window's (Viewer).
#include "app/win32/vistrel_app.h"

CVistrelApp theApp;
