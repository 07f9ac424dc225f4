// The about box opened from the system menu. OK and Close end it by default processing.
#pragma once
#include "framework/dialog.h"

class CAboutDlg : public CDialog {
 public:
  CAboutDlg();
  ~CAboutDlg() override = default;
  const MessageMap* GetMessageMap() const override;
};
