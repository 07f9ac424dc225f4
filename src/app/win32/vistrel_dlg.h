// The viewer window: a modal dialog whose picture control covers the client area.
// Program state lives in process-wide objects; the window keeps only its icon and whether
// the first paint has laid it out.
#pragma once
#include <windows.h>
#include <cstdint>

#include "framework/dialog.h"
#include "view/win32/render.h"

class CWinApp;

class CVistrelDlg : public CDialog {
 public:
  CVistrelDlg();
  ~CVistrelDlg() override = default;

  // Makes this the application's main window and runs it until it closes.
  void RunModal(CWinApp* app);

  const MessageMap* GetMessageMap() const override;
  BOOL PreTranslateMessage(MSG* msg) override { return FilterQueuedMessage(msg); }
  BOOL OnInitDialog() override;

  void ShowNextImage();
  void ShowPreviousImage();
  void UpdateWindowTitle();
  int32_t Render(int32_t reuse, RotateRequest rotate);
  void LoadSettings();
  void SaveSettings(const RECT& measured);
  BOOL FilterQueuedMessage(MSG* msg);

  void ZoomIn();
  void ZoomOut();
  void OnPictureDoubleClick();
  void DragPan();
  int32_t ToggleFullScreen();
  void ToggleBackground();
  void RotateLeft() { Render(1, 2); }
  void StartSlideshow();
  void StopSlideshow();
  void ToggleSlideshow();
  void DeleteCurrentImage();
  void OpenWith();
  void ShowProperties();
  void PrintImage();
  void OpenWebsite();
  void RotateRight() { Render(1, 1); }

  bool InitialLayoutDone() const { return initialLayoutDone != 0; }

 private:
  LRESULT OnSysCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPaint(WPARAM wParam, LPARAM lParam);
  LRESULT OnQueryDragIcon(WPARAM wParam, LPARAM lParam);
  LRESULT OnSize(WPARAM wParam, LPARAM lParam);
  LRESULT OnGetMinMaxInfo(WPARAM wParam, LPARAM lParam);
  LRESULT OnDrawItem(WPARAM wParam, LPARAM lParam);
  LRESULT OnPictureClicked(WPARAM wParam, LPARAM lParam);
  LRESULT OnOkCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnCancelCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnClose(WPARAM wParam, LPARAM lParam);
  LRESULT OnMove(WPARAM wParam, LPARAM lParam);
  LRESULT OnDropFiles(WPARAM wParam, LPARAM lParam);
  LRESULT OnNextCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPreviousCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnContextMenu(WPARAM wParam, LPARAM lParam);
  LRESULT OnPictureDoubleClickCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnFullScreenCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnZoomInCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnZoomOutCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnRotateLeftCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnRotateRightCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnBackgroundCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnSlideshowCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnSlideshowStep(WPARAM wParam, LPARAM lParam);
  LRESULT OnDeleteCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnOpenWithCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPropertiesCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnWebsiteCommand(WPARAM wParam, LPARAM lParam);
  LRESULT OnPrintCommand(WPARAM wParam, LPARAM lParam);

  void OnFilteredButtonDown();
  void OnFilteredKey(WPARAM key);
  void OnFilteredMove();
  void OnFilteredWheel(int delta);
  // The cursor in this window's client coordinates; false when it cannot be read.
  bool ReadCursor(POINT& client) const;

  void AddAboutItem();
  void LayOutPictureOverClient();
  void PaintIcon();
  void RememberNormalRect();

  HICON icon_;
  int32_t initialLayoutDone = 0;
};
