// The "Installation Progress" window: a status line above a progress bar,
// driven by the install run. It has no behaviour of its own.
#pragma once

#include "platform/framework.h"

class CProgressDlg : public CDialog {
 public:
  // parent is not used; the run passes none and Create makes the main window the owner.
  explicit CProgressDlg(CWnd* parent = nullptr);

  CProgressCtrl m_progressBar;  // control 1004
  CStatic m_statusText;         // control 1005

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};
