// The "Installation Progress" window: a status line above a progress bar,
// driven by the install run. It has no behaviour of its own; its verbs send
// the window messages, so its callers need not know how it is driven.
#pragma once

#include <cstdint>

#include "platform/framework.h"

class CProgressDlg : public CDialog {
 public:
  // The dialog template the window is created from.
  static const int IDD;

  // parent is not used; the run passes none and Create makes the main window the owner.
  explicit CProgressDlg(CWnd* parent = nullptr);

  // Creates the window modeless from its template, owned by the application's
  // main window, and shows it (SW_SHOW). false: the window could not be made;
  // every verb below then does nothing, and the caller may go on without it.
  bool Open();
  // PBM_SETRANGE: the bar runs from 0 to `high`, kept to its low 16 bits (the
  // message carries 16-bit bounds).
  void SetRange(uint32_t high);
  // The status line's text.
  void SetStatus(const char* text);
  // PBM_SETPOS.
  void SetPosition(uint32_t position);

  CProgressCtrl m_progressBar;  // control 1004
  CStatic m_statusText;         // control 1005

 protected:
  void DoDataExchange(CDataExchange* dx) override;
};
