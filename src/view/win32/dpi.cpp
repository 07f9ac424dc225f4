#include "view/win32/dpi.h"

#include "framework/gdi_handles.h"
#include "framework/unique_handle.h"
#include "view/dpi_math.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
// shcore's GetDpiForMonitor with MDT_EFFECTIVE_DPI (0).
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

template <class Fn>
Fn Entry(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through a plain function pointer type: the entry's real type is the one named here.
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The screen context's DPI: the system DPI, the same on every monitor.
DisplayDpi ScreenDpi() {
  DisplayDpi dpi;
  WindowDc screen(nullptr);
  if (screen.Get() == nullptr) return dpi;
  const int x = GetDeviceCaps(screen.Get(), LOGPIXELSX);
  const int y = GetDeviceCaps(screen.Get(), LOGPIXELSY);
  if (x > 0) dpi.x = x;
  if (y > 0) dpi.y = y;
  return dpi;
}

// Older systems lack the per-monitor entries: each is looked up where it is asked for (user32 is
// always loaded; shcore is held for the length of the call).
DisplayDpi MonitorDpi(HMONITOR monitor) {
  if (monitor == nullptr) return ScreenDpi();
  const ModuleHandle shcore(LoadLibraryExW(L"shcore.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32));
  const auto forMonitor = Entry<GetDpiForMonitorFn>(shcore.Get(), "GetDpiForMonitor");
  UINT x = 0, y = 0;
  if (forMonitor != nullptr && SUCCEEDED(forMonitor(monitor, 0, &x, &y)) && x > 0 && y > 0)
    return DisplayDpi{static_cast<int32_t>(x), static_cast<int32_t>(y)};
  return ScreenDpi();
}

}  // namespace

DisplayDpi DpiOfWindow(HWND window) {
  if (window == nullptr) return ScreenDpi();
  const auto forWindow = Entry<GetDpiForWindowFn>(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow");
  if (forWindow != nullptr) {
    const UINT dpi = forWindow(window);
    if (dpi > 0) return DisplayDpi{static_cast<int32_t>(dpi), static_cast<int32_t>(dpi)};
  }
  return MonitorDpi(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST));
}

DisplayDpi DpiOfMonitorUnder(const RECT& screenRect) {
  return MonitorDpi(MonitorFromRect(&screenRect, MONITOR_DEFAULTTOPRIMARY));
}

int32_t ScaleX(const DisplayDpi& dpi, int32_t v) { return ScaleForDpi(v, dpi.x); }
int32_t ScaleY(const DisplayDpi& dpi, int32_t v) { return ScaleForDpi(v, dpi.y); }
int32_t UnscaleX(const DisplayDpi& dpi, int32_t v) { return UnscaleForDpi(v, dpi.x); }
int32_t UnscaleY(const DisplayDpi& dpi, int32_t v) { return UnscaleForDpi(v, dpi.y); }
