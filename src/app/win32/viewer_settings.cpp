// Applying the settings file at start-up and writing it on close.
#include <windows.h>

#include <optional>

#include "app/settings_record.h"
#include "app/win32/settings_file.h"
#include "app/win32/vistrel_dlg.h"
#include "browse/win32/picture_loader.h"
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

// The frame a window of this one's styles has around its client area: left, top (caption
// included), right and bottom thicknesses.
RECT FrameOf(HWND window) {
  RECT frame{0, 0, 0, 0};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE)), GetMenu(window) != nullptr,
                     static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE)));
  return RECT{-frame.left, -frame.top, frame.right, frame.bottom};
}

// The client size the window will have maximised on the monitor the rectangle lies on (the
// primary one by default): the work area, less the caption, as the sizing edges lie beyond it.
SIZE MaximisedClient(HWND window, const RECT& around) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(MonitorFromRect(&around, MONITOR_DEFAULTTOPRIMARY), &info)) return SIZE{0, 0};
  const RECT frame = FrameOf(window);
  return SIZE{info.rcWork.right - info.rcWork.left, info.rcWork.bottom - info.rcWork.top - (frame.top - frame.bottom)};
}

}  // namespace

void CVistrelDlg::PredictPictureArea(SIZE client, const DisplayDpi& dpi) {
  if (client.cx > 0 && client.cy > 0)
    PredictStartPictureArea(state_.browse, ScaleX(dpi, UnscaleX(dpi, client.cx)), ScaleY(dpi, UnscaleY(dpi, client.cy)));
}

HMONITOR CVistrelDlg::MonitorToOpenOn() {
  const SettingsReadResult read = ReadSettingsFile(SettingsFilePath());
  if (read.status != SettingsReadStatus::kOk) return nullptr;
  const EdgeRect asked = PlacementEdges(SettingsEffects(read.record));
  const RECT rect{asked.left, asked.top, asked.right, asked.bottom};
  return MonitorFromRect(&rect, MONITOR_DEFAULTTONULL);  // a rectangle on no monitor opens on the primary
}

void CVistrelDlg::LoadSettings() {
  const std::wstring path = SettingsFilePath();
  SettingsReadResult read = ReadSettingsFile(path);
  if (read.status == SettingsReadStatus::kCouldNotOpen) {
    RECT now{};
    GetWindowRect(hwnd_, &now);
    PredictPictureArea(MaximisedClient(hwnd_, now), DpiOfMonitorUnder(now));
    ShowWindow(hwnd_, SW_MAXIMIZE);
    return;
  }
  if (read.status != SettingsReadStatus::kOk) return;
  // Checked as the window will really be placed: no smaller than its minimum size at the DPI of
  // the monitor it goes to.
  const SettingsToApply effects = SettingsEffects(read.record);
  const EdgeRect asked = PlacementEdges(effects);
  const DisplayDpi there = DpiOfMonitorUnder(RECT{asked.left, asked.top, asked.right, asked.bottom});
  SettingsToApply apply = WithMinimumSize(effects, ScaleX(there, kMinimumWindowWidth), ScaleY(there, kMinimumWindowHeight));
  apply = KeptOnScreen(apply, WorkAreaUnder(PlacementEdges(apply)));
  const RECT placed{apply.x, apply.y, apply.x + apply.width, apply.y + apply.height};
  const RECT frame = FrameOf(hwnd_);
  if (apply.maximize) {
    PredictPictureArea(MaximisedClient(hwnd_, placed), DpiOfMonitorUnder(placed));
  } else if (apply.place) {
    PredictPictureArea(SIZE{apply.width - frame.left - frame.right, apply.height - frame.top - frame.bottom},
                       DpiOfMonitorUnder(placed));
  }
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
  StopSlideshow(state_.commands);  // the worker is gone before anything is gathered
  SaveSettings(measured);
  return Default();
}
