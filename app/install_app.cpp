#include "app/install_app.h"

#include "ui/install_dlg.h"

namespace {

const char kHelpText[] =
    "1. The directory is where Brackenvue's files are copied. Keep the one I offer "
    "or type another; I create it if it isn't there yet.\n\n"
    "2. The Program folder is the Start menu folder that gets the Brackenvue icons. "
    "Pick an existing folder from the list or type a new name.\n\n"
    "Press Install Brackenvue when you're ready, or Exit Installation to leave "
    "without changing anything.";

// F1 pressed again while the help box is up must not stack another one.
bool g_helpShowing = false;

}  // namespace

CInstallApp::CInstallApp() : CWinApp(nullptr) {}

bool CInstallApp::InitInstance() {
  Enable3dControlsStatic();

  CInstallDlg dlg;
  // As the main window the dialog owns the progress window and receives F1.
  m_pMainWnd = &dlg;
  dlg.DoModal();
  // The dialog object ends with this function; leave no pointer to it behind.
  m_pMainWnd = nullptr;
  return false;
}

void CInstallApp::OnHelp() {
  if (g_helpShowing) return;
  struct Showing {
    Showing() { g_helpShowing = true; }
    ~Showing() { g_helpShowing = false; }
  } showing;
  if (CWnd* main = AfxGetMainWnd()) {
    main->MessageBox(kHelpText, nullptr, fw::kMbIconInformation);
  } else {
    fw::ShowMessageBox(nullptr, kHelpText, m_pszAppName ? m_pszAppName : "", fw::kMbIconInformation);
  }
}
