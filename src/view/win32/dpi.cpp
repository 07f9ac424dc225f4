#include "view/win32/dpi.h"

#include <windows.h>

#include "framework/gdi_handles.h"
#include "view/dpi_math.h"

namespace {

// The screen's logical DPI, asked once on first use and kept for the run; 96 when the screen
// context cannot be had. Written once before any reader can see a partial value.
struct DpiCache {
  int32_t dpiX = 96;
  int32_t dpiY = 96;
  DpiCache() {
    WindowDc screen(nullptr);
    if (screen.Get() == nullptr) return;
    const int x = GetDeviceCaps(screen.Get(), LOGPIXELSX);
    const int y = GetDeviceCaps(screen.Get(), LOGPIXELSY);
    if (x > 0) dpiX = x;
    if (y > 0) dpiY = y;
  }
};

const DpiCache& Dpi() {
  static const DpiCache cache;  // thread-safe first use
  return cache;
}

}  // namespace

int32_t ScaleX(int32_t v) { return ScaleForDpi(v, Dpi().dpiX); }
int32_t ScaleY(int32_t v) { return ScaleForDpi(v, Dpi().dpiY); }
int32_t UnscaleX(int32_t v) { return UnscaleForDpi(v, Dpi().dpiX); }
int32_t UnscaleY(int32_t v) { return UnscaleForDpi(v, Dpi().dpiY); }
