// The backend-independent part of the dialog framework: the classes of
// framework.h on top of the window primitives each backend supplies.
#include "platform/framework.h"
#include "platform/framework_backend.h"

#include <cstring>
#include <new>

namespace {

CWinApp* g_app = nullptr;

}  // namespace

// ---- CWnd -------------------------------------------------------------------------

CWnd::~CWnd() {
  if (m_hWnd) {
    fw::WindowHandle wnd = m_hWnd;
    m_hWnd = nullptr;
    fw::Destroy(wnd);
  }
}

int CWnd::GetWindowText(char* buf, int maxCount) const {
  if (!buf || maxCount <= 0) return 0;
  buf[0] = '\0';
  if (!m_hWnd) return 0;
  return fw::GetText(m_hWnd, buf, maxCount);
}

void CWnd::SetWindowText(const char* text) {
  if (m_hWnd) fw::SetText(m_hWnd, text ? text : "");
}

bool CWnd::ShowWindow(int cmd) { return m_hWnd ? fw::Show(m_hWnd, cmd) : false; }

fw::WindowHandle CWnd::SetActiveWindow() { return m_hWnd ? fw::Activate(m_hWnd) : nullptr; }

bool CWnd::IsIconic() const { return m_hWnd ? fw::IsMinimized(m_hWnd) : false; }

void CWnd::GetClientRect(fw::Rect* rect) const {
  *rect = m_hWnd ? fw::ClientRect(m_hWnd) : fw::Rect{0, 0, 0, 0};
}

bool CWnd::DestroyWindow() {
  if (!m_hWnd) return false;
  fw::WindowHandle wnd = m_hWnd;
  m_hWnd = nullptr;
  return fw::Destroy(wnd);
}

intptr_t CWnd::SendMessage(unsigned msg, uintptr_t wParam, intptr_t lParam) {
  return m_hWnd ? fw::Send(m_hWnd, msg, wParam, lParam) : 0;
}

int CWnd::MessageBox(const char* text, const char* caption, unsigned type) {
  if (!caption) {
    CWinApp* app = AfxGetApp();
    caption = (app && app->m_pszAppName) ? app->m_pszAppName : "";
  }
  return fw::ShowMessageBox(m_hWnd, text, caption, type);
}

bool CWnd::UpdateData(bool saveAndValidate) {
  CDataExchange dx(this, saveAndValidate);
  DoDataExchange(&dx);
  return true;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::RememberBoundControl(CWnd* control) {
  if (m_boundCount < static_cast<int>(sizeof m_boundControls / sizeof m_boundControls[0])) {
    m_boundControls[m_boundCount++] = control;
  }
}

void CWnd::ForgetBoundControls() {
  for (int i = 0; i < m_boundCount; ++i) m_boundControls[i]->m_hWnd = nullptr;
  m_boundCount = 0;
}

// ---- Controls -----------------------------------------------------------------------

int CComboBox::AddString(const char* text) {
  return static_cast<int>(SendMessage(fw::kCbAddString, 0, reinterpret_cast<intptr_t>(text)));
}

int CComboBox::GetCount() { return static_cast<int>(SendMessage(fw::kCbGetCount)); }

std::string CComboBox::GetLBText(int index) {
  intptr_t len = SendMessage(fw::kCbGetLbTextLen, static_cast<uintptr_t>(index));
  if (len < 0) return std::string();
  std::string text(static_cast<size_t>(len) + 1, '\0');
  intptr_t got = SendMessage(fw::kCbGetLbText, static_cast<uintptr_t>(index),
                             reinterpret_cast<intptr_t>(&text[0]));
  if (got < 0) return std::string();
  text.resize(static_cast<size_t>(got));
  return text;
}

// ---- Data exchange ------------------------------------------------------------------

void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (control.m_hWnd) return;  // bound once
  control.m_hWnd = fw::GetDlgItemHandle(dx->m_pDlgWnd->m_hWnd, id);
  if (control.m_hWnd) dx->m_pDlgWnd->RememberBoundControl(&control);
}

void DDX_Text(CDataExchange* dx, int id, CString& value) {
  fw::WindowHandle item = fw::GetDlgItemHandle(dx->m_pDlgWnd->m_hWnd, id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) {
    char buf[1024];
    fw::GetText(item, buf, sizeof buf);
    value = buf;
  } else {
    fw::SetText(item, value);
  }
}

void DDX_CBString(CDataExchange* dx, int id, CString& value) {
  fw::WindowHandle item = fw::GetDlgItemHandle(dx->m_pDlgWnd->m_hWnd, id);
  if (!item) return;
  if (dx->m_bSaveAndValidate) {
    char buf[1024];
    fw::GetText(item, buf, sizeof buf);
    value = buf;
    return;
  }
  const char* text = value;
  if (fw::Send(item, fw::kCbSelectString, static_cast<uintptr_t>(-1),
               reinterpret_cast<intptr_t>(text)) == fw::kCbErr) {
    fw::SetText(item, text);
  }
}

// ---- CPaintDC -----------------------------------------------------------------------

CPaintDC::CPaintDC(CWnd* wnd) : m_wnd(wnd), m_hDC(nullptr), m_state(nullptr) {
  m_hDC = fw::BeginPaintDc(wnd->m_hWnd, &m_state);
}

CPaintDC::~CPaintDC() { fw::EndPaintDc(m_wnd->m_hWnd, m_state); }

bool CPaintDC::DrawIcon(int x, int y, fw::IconHandle icon) { return fw::DrawIconAt(m_hDC, x, y, icon); }

// ---- CDialog ------------------------------------------------------------------------

CDialog::CDialog(int templateId, CWnd* parent) : m_templateId(templateId), m_parent(parent) {}

CDialog::CDialog() = default;

CDialog::~CDialog() = default;  // ~CWnd destroys a window still there

intptr_t CDialog::DoModal() {
  fw::EnsureCommonControls();
  m_modal = true;
  intptr_t result = fw::RunModal(this, m_templateId, m_parent ? m_parent->m_hWnd : nullptr);
  m_modal = false;
  m_hWnd = nullptr;  // the modal run destroyed the window and its children
  ForgetBoundControls();
  return result;
}

bool CDialog::Create(int templateId, CWnd* parent) {
  fw::EnsureCommonControls();
  m_templateId = templateId;
  m_modal = false;
  fw::WindowHandle owner = nullptr;
  if (parent) {
    owner = parent->m_hWnd;
  } else if (CWnd* main = AfxGetMainWnd()) {
    owner = main->m_hWnd;
  }
  fw::WindowHandle wnd = fw::CreateModeless(this, templateId, owner);
  if (!wnd) {
    m_hWnd = nullptr;
    return false;
  }
  m_hWnd = wnd;
  return true;
}

void CDialog::EndDialog(int result) {
  if (m_hWnd) fw::EndModal(m_hWnd, result);
}

bool CDialog::OnInitDialog() {
  UpdateData(false);
  return true;
}

void CDialog::OnCancel() { EndDialog(fw::kIdCancel); }

bool CDialog::OnCommand(int id, int notifyCode) {
  if (id == fw::kIdCancel) {
    OnCancel();
    return true;
  }
  return false;
}

void CDialog::ReportOutOfMemory() {
  CWinApp* app = AfxGetApp();
  const char* caption = (app && app->m_pszAppName) ? app->m_pszAppName : "";
  fw::ShowMessageBox(m_hWnd, "Out of memory.", caption, fw::kMbIconExclamation | fw::kMbSystemModal);
}

bool CDialog::DispatchInitDialog() {
  try {
    return OnInitDialog();
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
    return true;
  }
}

bool CDialog::DispatchCommand(int id, int notifyCode) {
  try {
    return OnCommand(id, notifyCode);
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
    return true;
  }
}

bool CDialog::DispatchPaint() {
  TakeDefaultRequest();
  try {
    OnPaint();
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
    return true;
  }
  return !TakeDefaultRequest();
}

fw::IconHandle CDialog::DispatchQueryDragIcon() {
  try {
    return OnQueryDragIcon();
  } catch (const std::bad_alloc&) {
    ReportOutOfMemory();
    return nullptr;
  }
}

// ---- Application ----------------------------------------------------------------------

CWinApp::CWinApp(const char* appName) {
  g_app = this;
  if (appName) {
    m_appName = appName;
    m_pszAppName = m_appName.c_str();
  }
}

CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}

CWinApp* AfxGetApp() { return g_app; }

CWnd* AfxGetMainWnd() { return g_app ? g_app->m_pMainWnd : nullptr; }

int AfxRunApplication() {
  // First of all: every DLL loaded later (the shell's, COM's, the theme's)
  // must come from the system, not from the directory the installer runs in.
  fw::HardenDllSearch();
  fw::SetProcessErrorMode();
  CWinApp* app = g_app;
  if (!app) return 1;
  if (!app->m_pszAppName) {
    app->m_appName = fw::ModuleBaseName();
    app->m_pszAppName = app->m_appName.c_str();
  }
  if (!app->InitInstance()) {
    return app->ExitInstance();
  }
  // The installer never gets here: it runs no message loop of its own.
  return app->ExitInstance();
}
