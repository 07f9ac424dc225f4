// Applying the settings file at start-up and writing it on close.
#include <windows.h>

#include <optional>

#include "app/settings_record.h"
#include "app/win32/settings_file.h"
#include "app/win32/vistrel_dlg.h"
#include "commands/win32/slideshow.h"
#include "view/view_state.h"
#include "view/win32/dpi.h"
#include "view/win32/window_edges.h"

namespace {

// The work area of the monitor the rectangle lies on; nothing when it lies on none (a monitor
// since unplugged, or edges no monitor ever had).
std::optional<EdgeRect> WorkAreaUnder(const EdgeRect& edges) {
  const RECT rect{edges.left, edges.top, edges.right, edges.bottom};
  HMONITOR monitor = MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);
  if (monitor == nullptr) return std::nullopt;
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return std::nullopt;
  return EdgeRect{info.rcWork.left, info.rcWork.top, info.rcWork.right, info.rcWork.bottom};
}

}  // namespace

void CVistrelDlg::LoadSettings() {
  const std::wstring path = SettingsFilePath();
  SettingsReadResult read = ReadSettingsFile(path);
  if (read.status == SettingsReadStatus::kCouldNotOpen) {
    ShowWindow(hwnd_, SW_MAXIMIZE);
    return;
  }
  if (read.status != SettingsReadStatus::kOk) return;
  // Checked as the window will really be placed: no smaller than its minimum size.
  SettingsToApply apply = WithMinimumSize(SettingsEffects(read.record), ScaleX(kMinimumWindowWidth),
                                          ScaleY(kMinimumWindowHeight));
  apply = KeptOnScreen(apply, WorkAreaUnder(PlacementEdges(apply)));
  if (apply.place) SetWindowPos(hwnd_, HWND_TOP, apply.x, apply.y, apply.width, apply.height, SWP_SHOWWINDOW);
  if (apply.maximize) ShowWindow(hwnd_, SW_MAXIMIZE);
  viewState.backgroundLevel = apply.backgroundLevel;
}

void CVistrelDlg::SaveSettings(const EdgeRect& measured) {
  LONG style = GetWindowLongW(hwnd_, GWL_STYLE);
  std::optional<SettingsRecord> record =
      SettingsRecordForClose(measured, viewState.windowRect, (style & WS_MINIMIZE) != 0,
                             (style & WS_MAXIMIZE) != 0, viewState.backgroundLevel);
  if (record) WriteSettingsFile(SettingsFilePath(), *record);
}

LRESULT CVistrelDlg::OnClose(WPARAM, LPARAM) {
  const EdgeRect measured = WindowEdges(hwnd_);
  StopSlideshow(hwnd_);  // the worker is gone before anything is gathered
  SaveSettings(measured);
  return Default();
}
