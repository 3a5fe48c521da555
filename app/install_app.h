// The installer's application object: runs the install dialog once and ends.
#pragma once

#include "platform/framework.h"

class CInstallApp : public CWinApp {
 public:
  // No application name: the framework takes the executable's base name
  // (INSTALL), which captions the dialog's message boxes.
  CInstallApp();

  // Runs the install dialog modally; always false, so the process ends
  // afterwards without a message loop of its own.
  bool InitInstance() override;

  // F1 in the install dialog. There is no help file to open; a short box
  // owned by the dialog explains the two fields instead.
  void OnHelp() override;
};
