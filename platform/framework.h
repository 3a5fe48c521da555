// The project's own small dialog framework: application object, windows,
// dialogs, control wrappers and data exchange, with the classes and results of
// the framework the installer's dialogs are written against. No Windows header.
//
// Shared code (platform/framework.cpp) implements the classes on top of a set of
// window primitives in namespace fw (bottom of this file); each backend
// implements those primitives: platform/win32 with real windows, and
// platform/headless with plain objects that tests inspect.
//
// Handlers. The backends call a dialog's handlers only through the Dispatch*
// members of CDialog, which wrap them the way the framework wraps every
// handler: std::bad_alloc ends the handler's work and shows "Out of memory."
// in a system-modal box with the exclamation icon; the dialog stays.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fw {

struct Window;  // opaque: an HWND in the win32 backend, an object in the headless one
using WindowHandle = Window*;
using IconHandle = void*;
using DcHandle = void*;

struct Rect {
  int left, top, right, bottom;
};

// Values equal to the Windows constants; named apart from the SDK's macros.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconError = 0x10;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbSystemModal = 0x1000;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdYes = 6;
constexpr int kIdNo = 7;
constexpr int kSwHide = 0;
constexpr int kSwShow = 5;
constexpr unsigned kWmSetIcon = 0x0080;
constexpr unsigned kWmIconEraseBkgnd = 0x0027;
constexpr uintptr_t kIconSmall = 0;
constexpr uintptr_t kIconBig = 1;
constexpr unsigned kCbGetCount = 0x0146;
constexpr unsigned kCbGetCurSel = 0x0147;
constexpr unsigned kCbGetLbText = 0x0148;
constexpr unsigned kCbGetLbTextLen = 0x0149;
constexpr unsigned kCbAddString = 0x0143;
constexpr unsigned kCbSelectString = 0x014D;
constexpr intptr_t kCbErr = -1;
constexpr unsigned kPbmSetRange = 0x0401;
constexpr unsigned kPbmSetPos = 0x0402;
constexpr unsigned kPbmGetPos = 0x0408;
constexpr unsigned kPbmGetRange = 0x0407;
constexpr int kBnClicked = 0;
constexpr int kSmCxIcon = 11;
constexpr int kSmCyIcon = 12;

inline intptr_t MakeLParam(unsigned low, unsigned high) {
  return static_cast<intptr_t>(static_cast<uint32_t>((low & 0xFFFFu) | ((high & 0xFFFFu) << 16)));
}

}  // namespace fw

// A minimal string with the operations the dialogs use.
class CString {
 public:
  CString() = default;
  CString(const char* s) : s_(s ? s : "") {}  // NOLINT(google-explicit-constructor)
  CString& operator=(const char* s) {
    s_ = s ? s : "";
    return *this;
  }
  operator const char*() const { return s_.c_str(); }  // NOLINT(google-explicit-constructor)
  int GetLength() const { return static_cast<int>(s_.size()); }
  bool IsEmpty() const { return s_.empty(); }

 private:
  std::string s_;
};

class CWnd;
class CDialog;

// Direction of a data exchange: m_bSaveAndValidate false moves member values
// into the controls (the only direction the installer uses).
class CDataExchange {
 public:
  CDataExchange(CWnd* dlg, bool save) : m_pDlgWnd(dlg), m_bSaveAndValidate(save) {}
  CWnd* m_pDlgWnd;
  bool m_bSaveAndValidate;
};

class CWnd {
 public:
  CWnd() = default;
  // Destroys the window if the object still has one.
  virtual ~CWnd();
  CWnd(const CWnd&) = delete;
  CWnd& operator=(const CWnd&) = delete;

  fw::WindowHandle m_hWnd = nullptr;
  fw::WindowHandle GetSafeHwnd() const { return m_hWnd; }

  // Copies at most maxCount - 1 characters and a terminator into buf (maxCount
  // > 0); returns the count copied. Without a window buf holds "" and 0 is returned.
  int GetWindowText(char* buf, int maxCount) const;
  void SetWindowText(const char* text);
  bool ShowWindow(int cmd);
  // Activates the window; returns the previously active one (may be nullptr).
  fw::WindowHandle SetActiveWindow();
  bool IsIconic() const;
  void GetClientRect(fw::Rect* rect) const;
  bool DestroyWindow();
  intptr_t SendMessage(unsigned msg, uintptr_t wParam = 0, intptr_t lParam = 0);

  // A box owned by this window, captioned with the application's name when
  // caption is nullptr. Returns the button pressed (fw::kIdOk, kIdYes, ...).
  int MessageBox(const char* text, const char* caption = nullptr, unsigned type = fw::kMbOk);

  // Runs DoDataExchange; false moves members into controls.
  bool UpdateData(bool saveAndValidate = true);
  virtual void DoDataExchange(CDataExchange* dx);

  // Default handling of the message being dispatched: a handler that calls it
  // leaves the message to the window's default procedure.
  void Default() { m_defaultRequested = true; }
  bool TakeDefaultRequest() {
    bool requested = m_defaultRequested;
    m_defaultRequested = false;
    return requested;
  }

  // Control objects bound to children of this window by DDX_Control. When a
  // modal run destroys the window, the children go with it; their objects
  // forget the handles so that their destructors do not destroy a window
  // that may by then belong to someone else.
  void RememberBoundControl(CWnd* control);
  void ForgetBoundControls();

 private:
  bool m_defaultRequested = false;
  CWnd* m_boundControls[8] = {};
  int m_boundCount = 0;
};

class CEdit : public CWnd {};
class CStatic : public CWnd {};
class CProgressCtrl : public CWnd {};
class CComboBox : public CWnd {
 public:
  // CB_ADDSTRING; the index the box gave the string, or fw::kCbErr.
  int AddString(const char* text);
  int GetCount();
  // CB_GETLBTEXT into a string (empty for a bad index).
  std::string GetLBText(int index);
};

// Paint context for OnPaint (BeginPaint / EndPaint).
class CPaintDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;
  fw::DcHandle GetSafeHdc() const { return m_hDC; }
  bool DrawIcon(int x, int y, fw::IconHandle icon);

 private:
  CWnd* m_wnd;
  fw::DcHandle m_hDC;
  void* m_state;  // backend's paint record
};

class CDialog : public CWnd {
 public:
  // A dialog to run modally from a template.
  explicit CDialog(int templateId, CWnd* parent = nullptr);
  // A dialog to create modeless later with Create.
  CDialog();
  ~CDialog() override;

  // Runs the dialog modally (owner: the parent given to the constructor, or
  // none). Returns the value passed to EndDialog, or -1 if the dialog could
  // not be created.
  intptr_t DoModal();
  // Creates the dialog modeless from a template, hidden unless the template
  // says WS_VISIBLE. With no parent the application's main window becomes the
  // owner. false: no window.
  bool Create(int templateId, CWnd* parent = nullptr);
  // Ends a modal run with `result`; also valid inside OnInitDialog, which then
  // keeps the dialog from ever being shown.
  void EndDialog(int result);

  // Handlers. The base OnInitDialog runs UpdateData(false) and returns true.
  virtual bool OnInitDialog();
  virtual void OnCancel();  // EndDialog(fw::kIdCancel)
  // WM_COMMAND. The base sends IDCANCEL to OnCancel. true: handled.
  virtual bool OnCommand(int id, int notifyCode);
  virtual void OnPaint() { Default(); }
  // nullptr: default handling.
  virtual fw::IconHandle OnQueryDragIcon() { return nullptr; }

  // Entry points for the backends (see the note at the top of this file).
  bool DispatchInitDialog();
  bool DispatchCommand(int id, int notifyCode);
  // Returns true when the handler painted and default handling is not wanted.
  bool DispatchPaint();
  fw::IconHandle DispatchQueryDragIcon();

  int TemplateId() const { return m_templateId; }
  bool IsModal() const { return m_modal; }

 private:
  void ReportOutOfMemory();

  int m_templateId = 0;
  CWnd* m_parent = nullptr;
  bool m_modal = false;
};

class CWinApp {
 public:
  // The one application object registers itself; the framework's start-up
  // (fw::RunApplication) finds it. appName nullptr: the executable's file name
  // without directory and extension.
  explicit CWinApp(const char* appName = nullptr);
  virtual ~CWinApp();
  CWinApp(const CWinApp&) = delete;
  CWinApp& operator=(const CWinApp&) = delete;

  virtual bool InitInstance() { return false; }
  virtual int ExitInstance() { return 0; }
  // F1 in a dialog of the application (the Help command).
  virtual void OnHelp() {}
  // Three-dimensional controls: drawn so by the system itself from Windows 4.0 on.
  bool Enable3dControlsStatic() { return true; }

  CWnd* m_pMainWnd = nullptr;
  const char* m_pszAppName = nullptr;

 private:
  std::string m_appName;
  friend int AfxRunApplication();
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The framework's start-up: sets the process error mode (critical-error and
// open-file boxes off), fixes the application name, calls InitInstance, and
// ExitInstance when it returns false. Returns the process exit code.
int AfxRunApplication();

void DDX_Control(CDataExchange* dx, int id, CWnd& control);
void DDX_Text(CDataExchange* dx, int id, CString& value);
// Towards the control: selects the first list item beginning with value
// (CB_SELECTSTRING); if none, sets the box's text to value.
void DDX_CBString(CDataExchange* dx, int id, CString& value);

// ---- What the dialogs call directly, implemented by each backend -----------
namespace fw {

// A message box (MessageBoxA). owner nullptr: a box of its own, which leaves
// every window enabled.
int ShowMessageBox(WindowHandle owner, const char* text, const char* caption, unsigned type);
// The icon resource `id` of the program, at the system's large icon size.
IconHandle LoadAppIcon(int id);
int SystemMetric(int index);

}  // namespace fw

// The window primitives the classes above are built on, which only the
// backends and the framework itself need, are in platform/framework_backend.h.
