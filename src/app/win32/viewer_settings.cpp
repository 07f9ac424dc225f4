// Applying the settings file at start-up and writing it on close.
#include <windows.h>

#include "app/settings_record.h"
#include "app/win32/settings_file.h"
#include "app/win32/vistrel_dlg.h"
#include "commands/win32/slideshow.h"
#include "view/view_state.h"
#include "view/win32/window_edges.h"

void CVistrelDlg::LoadSettings() {
  SettingsReadResult read = ReadSettingsFile(SettingsFilePath());
  if (read.status == SettingsReadStatus::kCouldNotOpen) {
    ShowWindow(hwnd_, SW_MAXIMIZE);
    return;
  }
  if (read.status != SettingsReadStatus::kOk) return;
  SettingsToApply apply = SettingsEffects(read.record);
  if (apply.place) {
    SetWindowPos(hwnd_, HWND_TOP, apply.x, apply.y, apply.width, apply.height, SWP_SHOWWINDOW);
    if (apply.maximize) ShowWindow(hwnd_, SW_MAXIMIZE);
  }
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
