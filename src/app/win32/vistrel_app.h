// The application object: starts the common controls and runs the viewer window modally.
#pragma once
#include "framework/win_app.h"

class CVistrelApp : public CWinApp {
 public:
  ~CVistrelApp() override = default;
  const MessageMap* GetMessageMap() const override;
  // Always returns FALSE: the process ends when the viewer window ends.
  BOOL InitInstance() override;
};

extern CVistrelApp theApp;
