#include "ui/progress_dlg.h"

#include "ui/resource_ids.h"

// The window is created modeless later (Create with template 129), so no
// template is bound here.
CProgressDlg::CProgressDlg(CWnd* /*parent*/) : CDialog() {}

// Runs once, from the base OnInitDialog while the window is being created.
// The base exchange is deliberately not called: the window has nothing else
// to exchange.
void CProgressDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PROGRESS_BAR, m_progressBar);
  DDX_Control(dx, IDC_STATUS_TEXT, m_statusText);
}
