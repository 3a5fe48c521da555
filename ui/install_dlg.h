// The install dialog: asks for the installation directory and the Start-menu
// program folder, and runs the installation when Install is pressed.
#pragma once

#include "platform/framework.h"

// The owner-less error box (caption "Error", error icon, one OK button) used
// for every text the engine words. Having no owner, it leaves the install
// dialog enabled. Returns the box's result.
int ShowErrorBox(const char* text);

class CInstallDlg : public CDialog {
 public:
  // parent is always none: the dialog is the application's main window.
  explicit CInstallDlg(CWnd* parent = nullptr);

  CEdit m_editInstallDir;           // control 1000
  CComboBox m_comboProgramFolder;   // control 1001
  CString m_strInstallDir;          // exchanged with 1000 (only towards the control)
  CString m_strProgramFolder;       // exchanged with 1001 (only towards the control)
  fw::IconHandle m_hIcon = nullptr;  // icon 128: caption, taskbar, minimised picture

  // The Install command (control 1006, also ENTER: it is the default button).
  // Does nothing while an installation, or the boxes that follow it, are in
  // progress.
  void OnInstall();

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  bool OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;
  void OnPaint() override;
  fw::IconHandle OnQueryDragIcon() override;

 private:
  void RunInstallAndReport();
  // Writes the program folder's full path into out (260 bytes), or "" when
  // there is none to use.
  void BuildProgramFolder(char* out);

  bool m_installing = false;
};
