// The cursor as every input operation reads it: GetCursorPos, then the viewer window's client
// coordinates. The message's own coordinates are never used.
#pragma once
#include <windows.h>

// False when the cursor cannot be read; `client` is then left unspecified.
inline bool ReadClientCursor(HWND viewer, POINT& client) {
  return GetCursorPos(&client) && ScreenToClient(viewer, &client);
}
