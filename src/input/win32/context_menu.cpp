#include "input/win32/context_menu.h"

#include "framework/unique_handle.h"
#include "resource.h"

void ShowContextMenu(HWND owner, POINT screenPoint) {
  MenuHandle menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_CONTEXT_MENU)));
  if (!menu) return;
  TrackPopupMenu(GetSubMenu(menu.Get(), 0), TPM_RIGHTBUTTON, screenPoint.x, screenPoint.y, 0, owner, nullptr);
}
