#include "ui/progress_dlg.h"

#include "ui/resource_ids.h"

const int CProgressDlg::IDD = IDD_PROGRESS_DIALOG;

// The window is created modeless later (Open), so no template is bound here.
CProgressDlg::CProgressDlg(CWnd* /*parent*/) : CDialog() {}

bool CProgressDlg::Open() {
  const bool created = Create(IDD);
  ShowWindow(fw::kSwShow);  // without a window, nothing is shown
  return created;
}

void CProgressDlg::SetRange(uint32_t high) {
  m_progressBar.SendMessage(fw::kPbmSetRange, 0, fw::MakeLParam(0, high & 0xFFFFu));
}

void CProgressDlg::SetStatus(const char* text) { m_statusText.SetWindowText(text); }

void CProgressDlg::SetPosition(uint32_t position) { m_progressBar.SendMessage(fw::kPbmSetPos, position, 0); }

// Runs once, from the base OnInitDialog while the window is being created.
// The base exchange is deliberately not called: the window has nothing else
// to exchange.
void CProgressDlg::DoDataExchange(CDataExchange* dx) {
  DDX_Control(dx, IDC_PROGRESS_BAR, m_progressBar);
  DDX_Control(dx, IDC_STATUS_TEXT, m_statusText);
}
