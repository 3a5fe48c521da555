// The dialog framework on real windows under Wine: modal and modeless dialogs
// from the test templates of test.rc, message routing, data exchange with real
// controls, message boxes and their captions, "Out of memory.", painting while
// busy, and the start-up services.
//
// Message boxes block their caller, so a thread timer (dispatched by the box's
// own modal loop) finds the box, records what it shows and answers it.
#include <windows.h>
#include <commctrl.h>
// The framework's members of these names must keep them (see win32_api.h).
#undef MessageBox
#undef GetWindowText
#undef SetWindowText
#undef SendMessage

#include <gtest/gtest.h>

#include <new>
#include <string>

#include "platform/framework.h"
#include "platform/framework_backend.h"
#include "platform/services.h"
#include "tests/win32/test_resources.h"
#include "ui/resource_ids.h"

namespace {

HWND H(fw::WindowHandle wnd) { return reinterpret_cast<HWND>(wnd); }

std::string TextOf(HWND wnd) {
  char buf[512];
  GetWindowTextA(wnd, buf, sizeof buf);
  return buf;
}

class TestApp : public CWinApp {
 public:
  explicit TestApp(const char* name = nullptr) : CWinApp(name) {}
  void OnHelp() override { ++helpCalls; }
  int helpCalls = 0;
};

// ---- Watching message boxes -------------------------------------------------------------

struct BoxSeen {
  bool seen = false;
  std::string caption, text;
  HWND owner = nullptr;
  bool topmost = false;
  HICON icon = nullptr;
};

struct BoxWatch {
  int answer = IDOK;              // the button to press
  HWND dialogToCancel = nullptr;  // once the box is gone: checked, then sent IDCANCEL
  BoxSeen box;
  bool dialogAliveAfterBox = false;
  int ticks = 0;
};
BoxWatch* g_watch = nullptr;

BOOL CALLBACK FindBoxChild(HWND child, LPARAM param) {
  BoxSeen* seen = reinterpret_cast<BoxSeen*>(param);
  char cls[32];
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
    seen->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
  } else if (GetWindowTextLengthA(child) > 0) {
    seen->text += TextOf(child);
  }
  return TRUE;
}

BOOL CALLBACK FindBox(HWND wnd, LPARAM param) {
  char cls[16];
  GetClassNameA(wnd, cls, sizeof cls);
  // A message box: a dialog with an OK or Yes button (the test templates have neither).
  if (std::string(cls) == "#32770" && IsWindowVisible(wnd) &&
      (GetDlgItem(wnd, IDOK) || GetDlgItem(wnd, IDYES))) {
    *reinterpret_cast<HWND*>(param) = wnd;
    return FALSE;
  }
  return TRUE;
}

HWND CurrentBox() {
  HWND box = nullptr;
  EnumThreadWindows(GetCurrentThreadId(), FindBox, reinterpret_cast<LPARAM>(&box));
  return box;
}

void CALLBACK WatchTick(HWND, UINT, UINT_PTR, DWORD) {
  BoxWatch& w = *g_watch;
  ++w.ticks;
  HWND box = CurrentBox();
  if (!w.box.seen) {
    if (box) {
      w.box.seen = true;
      w.box.caption = TextOf(box);
      w.box.owner = GetWindow(box, GW_OWNER);
      w.box.topmost = (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
      EnumChildWindows(box, FindBoxChild, reinterpret_cast<LPARAM>(&w.box));
      PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(w.answer), 0);
    } else if (w.ticks > 500 && w.dialogToCancel) {
      // No box after ~10 s: end the dialog so that the test fails instead of hanging.
      PostMessageA(w.dialogToCancel, WM_COMMAND, IDCANCEL, 0);
      w.dialogToCancel = nullptr;
    }
    return;
  }
  if (box || !w.dialogToCancel) return;
  // Alive, not necessarily shown yet: a modal dialog is shown when its loop
  // first goes idle, which the posted click (and so the box) can come before.
  w.dialogAliveAfterBox = IsWindow(w.dialogToCancel);
  PostMessageA(w.dialogToCancel, WM_COMMAND, IDCANCEL, 0);
  w.dialogToCancel = nullptr;
}

// Watches for boxes while it lives.
class Watcher {
 public:
  explicit Watcher(BoxWatch* watch) {
    g_watch = watch;
    timer_ = SetTimer(nullptr, 0, 20, WatchTick);
  }
  ~Watcher() {
    KillTimer(nullptr, timer_);
    g_watch = nullptr;
  }
  Watcher(const Watcher&) = delete;
  Watcher& operator=(const Watcher&) = delete;

 private:
  UINT_PTR timer_;
};

// ---- Shows of the dialog windows -----------------------------------------------------------

HWND g_hookedDialog = nullptr;
bool g_dialogShown = false;
LRESULT CALLBACK ShowHook(int code, WPARAM wParam, LPARAM lParam) {
  const CWPSTRUCT* msg = reinterpret_cast<const CWPSTRUCT*>(lParam);
  if (code == HC_ACTION && g_hookedDialog && msg->hwnd == g_hookedDialog) {
    if (msg->message == WM_SHOWWINDOW && msg->wParam) g_dialogShown = true;
    if (msg->message == WM_WINDOWPOSCHANGING &&
        (reinterpret_cast<const WINDOWPOS*>(msg->lParam)->flags & SWP_SHOWWINDOW)) {
      g_dialogShown = true;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

// ---- Modal dialogs ---------------------------------------------------------------------------

class EndsInInit : public CDialog {
 public:
  EndsInInit() : CDialog(IDD_TEST_MODAL) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    seen = H(m_hWnd);
    g_hookedDialog = seen;
    EndDialog(42);
    return true;
  }
  HWND seen = nullptr;
};

TEST(FrameworkModalTest, EndDialogInOnInitDialogReturnsItsResultUnshown) {
  g_dialogShown = false;
  HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, ShowHook, nullptr, GetCurrentThreadId());
  ASSERT_NE(hook, nullptr);
  EndsInInit dlg;
  EXPECT_EQ(dlg.DoModal(), 42);
  UnhookWindowsHookEx(hook);
  g_hookedDialog = nullptr;
  EXPECT_NE(dlg.seen, nullptr) << "OnInitDialog ran with the window handle set";
  EXPECT_FALSE(g_dialogShown);
  EXPECT_FALSE(IsWindow(dlg.seen));
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

TEST(FrameworkModalTest, MissingTemplateFails) {
  CDialog dlg(4711);
  EXPECT_EQ(dlg.DoModal(), -1);
  EXPECT_EQ(dlg.m_hWnd, nullptr);
}

// Posts a message to itself from OnInitDialog; its loop then dispatches it.
class Routed : public CDialog {
 public:
  Routed(UINT msg, WPARAM wParam) : CDialog(IDD_TEST_MODAL), msg_(msg), wParam_(wParam) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    HWND target = msg_ == BM_CLICK ? GetDlgItem(H(m_hWnd), IDC_TEST_BUTTON) : H(m_hWnd);
    PostMessageA(target, msg_, wParam_, 0);
    return true;
  }
  bool OnCommand(int id, int notifyCode) override {
    if (id == IDC_TEST_BUTTON) {
      clicked = notifyCode == fw::kBnClicked;
      RECT rc;
      GetWindowRect(H(m_hWnd), &rc);
      center = {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
      EndDialog(77);
      return true;
    }
    return CDialog::OnCommand(id, notifyCode);
  }
  bool clicked = false;
  POINT center = {0, 0};

 private:
  UINT msg_;
  WPARAM wParam_;
};

TEST(FrameworkModalTest, CommandsReachTheHandlers) {
  const struct {
    const char* what;
    UINT msg;
    WPARAM wParam;
    intptr_t result;
  } cases[] = {
      {"button click", BM_CLICK, 0, 77},
      {"IDCANCEL (Exit button, ESC)", WM_COMMAND, IDCANCEL, fw::kIdCancel},
      {"close box", WM_CLOSE, 0, fw::kIdCancel},
  };
  for (const auto& c : cases) {
    Routed dlg(c.msg, c.wParam);
    EXPECT_EQ(dlg.DoModal(), c.result) << c.what;
    EXPECT_EQ(dlg.clicked, c.result == 77) << c.what;
  }
}

TEST(FrameworkModalTest, TemplateAtTheOriginIsCentred) {
  Routed dlg(BM_CLICK, 0);
  ASSERT_EQ(dlg.DoModal(), 77);
  RECT area;
  ASSERT_TRUE(SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0));
  EXPECT_NEAR(dlg.center.x, (area.left + area.right) / 2, 2);
  EXPECT_NEAR(dlg.center.y, (area.top + area.bottom) / 2, 2);
}

// ---- Data exchange with real controls ------------------------------------------------------------

class Exchange : public CDialog {
 public:
  explicit Exchange(const char* folder) : CDialog(IDD_TEST_MODAL), m_strFolder(folder) {}
  void DoDataExchange(CDataExchange* dx) override {
    DDX_Control(dx, IDC_TEST_COMBO, m_combo);
    DDX_Text(dx, IDC_TEST_EDIT, m_strDir);
    DDX_CBString(dx, IDC_TEST_COMBO, m_strFolder);
  }
  bool OnInitDialog() override {
    HWND combo = GetDlgItem(H(m_hWnd), IDC_TEST_COMBO);
    for (const char* item : {"Accessories", "Brackenvue Tools", "Games"}) {
      ::SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    }
    CDialog::OnInitDialog();
    boundCombo = H(m_combo.m_hWnd) == combo;
    editText = TextOf(GetDlgItem(H(m_hWnd), IDC_TEST_EDIT));
    comboText = TextOf(combo);
    selection = static_cast<int>(::SendMessageA(combo, CB_GETCURSEL, 0, 0));
    EndDialog(fw::kIdOk);
    return true;
  }
  CComboBox m_combo;
  CString m_strDir = "C:\\Program Files\\Brackenvue";
  CString m_strFolder;
  bool boundCombo = false;
  std::string editText, comboText;
  int selection = -2;
};

TEST(FrameworkDataExchangeTest, ValuesGoIntoTheControls) {
  const struct {
    const char* value;
    const char* text;
    int selection;
  } cases[] = {
      {"Games", "Games", 2},                        // an item of that name
      {"brack", "Brackenvue Tools", 1},             // the first item beginning so, any case
      {"Brackenvue", "Brackenvue Tools", 1},
      {"Startup", "Startup", CB_ERR},               // no item: the text is set
      {"Brackenvue Tools X", "Brackenvue Tools X", CB_ERR},
  };
  for (const auto& c : cases) {
    Exchange dlg(c.value);
    ASSERT_EQ(dlg.DoModal(), fw::kIdOk);
    EXPECT_TRUE(dlg.boundCombo);
    EXPECT_EQ(dlg.editText, "C:\\Program Files\\Brackenvue");
    EXPECT_EQ(dlg.comboText, c.text) << c.value;
    EXPECT_EQ(dlg.selection, c.selection) << c.value;
    // The run destroyed the combo box; its object let go of the handle.
    EXPECT_EQ(dlg.m_combo.m_hWnd, nullptr);
  }
}

// ---- Modeless dialogs ----------------------------------------------------------------------------

TEST(FrameworkModelessTest, OwnedByTheMainWindowHiddenUntilShownGoneWithItsObject) {
  TestApp app("Tester");
  CDialog main;
  ASSERT_TRUE(main.Create(IDD_TEST_MODELESS));
  EXPECT_EQ(GetWindow(H(main.m_hWnd), GW_OWNER), nullptr);
  app.m_pMainWnd = &main;

  HWND child;
  {
    CDialog progress;
    ASSERT_TRUE(progress.Create(IDD_TEST_MODELESS));
    child = H(progress.m_hWnd);
    EXPECT_EQ(GetWindow(child, GW_OWNER), H(main.m_hWnd));
    // The progress bar class was registered before the template needed it.
    HWND bar = GetDlgItem(child, IDC_TEST_PROGRESS);
    ASSERT_NE(bar, nullptr);
    char cls[64];
    GetClassNameA(bar, cls, sizeof cls);
    EXPECT_STRCASEEQ(cls, "msctls_progress32");
    EXPECT_FALSE(IsWindowVisible(child));
    // With its owner enabled the dialog is not centred: its client area
    // starts at the template's 0, 0, the top-left corner of the owner's.
    POINT ownerOrigin = {0, 0}, childOrigin = {0, 0};
    ClientToScreen(H(main.m_hWnd), &ownerOrigin);
    ClientToScreen(child, &childOrigin);
    EXPECT_EQ(childOrigin.x, ownerOrigin.x);
    EXPECT_EQ(childOrigin.y, ownerOrigin.y);
    progress.ShowWindow(fw::kSwShow);
    EXPECT_TRUE(IsWindowVisible(child));
    progress.SetWindowText("Copying");
    char text[32];
    EXPECT_EQ(progress.GetWindowText(text, sizeof text), 7);
    EXPECT_STREQ(text, "Copying");
  }
  EXPECT_FALSE(IsWindow(child));

  // A window destroyed behind its object's back leaves no handle in the object.
  ASSERT_TRUE(DestroyWindow(H(main.m_hWnd)));
  EXPECT_EQ(main.m_hWnd, nullptr);
  app.m_pMainWnd = nullptr;
}

TEST(FrameworkModelessTest, TheInstallersProgressTemplate) {
  TestApp app("Tester");
  CDialog progress;
  ASSERT_TRUE(progress.Create(IDD_PROGRESS_DIALOG));
  HWND bar = GetDlgItem(H(progress.m_hWnd), IDC_PROGRESS_BAR);
  ASSERT_NE(bar, nullptr);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 10));
  SendMessageA(bar, PBM_SETPOS, 4, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 4);
}

// ---- Message boxes and "Out of memory." -------------------------------------------------------------

// Runs `body` inside a visible modal dialog's OnInitDialog.
class Host : public CDialog {
 public:
  explicit Host(void (*body)(Host*)) : CDialog(IDD_TEST_MODAL), body_(body) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    ShowWindow(fw::kSwShow);
    body_(this);
    EndDialog(fw::kIdOk);
    return true;
  }
  int answer = 0;

 private:
  void (*body_)(Host*);
};

class BoxApp : public CWinApp {
 public:
  bool InitInstance() override {
    Host host([](Host* h) { h->answer = h->MessageBox("Do it?", nullptr, fw::kMbYesNo); });
    m_pMainWnd = &host;
    result = host.DoModal();
    m_pMainWnd = nullptr;
    return false;
  }
  int ExitInstance() override { return 5; }
  intptr_t result = 0;
};

TEST(FrameworkMessageBoxTest, CaptionIsTheModuleNameAndTheDialogOwnsTheBox) {
  BoxWatch watch;
  watch.answer = IDYES;
  Watcher watcher(&watch);
  BoxApp app;
  EXPECT_EQ(AfxRunApplication(), 5);
  EXPECT_STREQ(app.m_pszAppName, "win32_tests");
  EXPECT_EQ(app.result, fw::kIdOk);
  ASSERT_TRUE(watch.box.seen);
  EXPECT_EQ(watch.box.caption, "win32_tests");
  EXPECT_EQ(watch.box.text, "Do it?");
  EXPECT_NE(watch.box.owner, nullptr);
  EXPECT_FALSE(watch.box.topmost);
}

class Thrower : public CDialog {
 public:
  Thrower() : CDialog(IDD_TEST_MODAL) {}
  bool OnInitDialog() override {
    CDialog::OnInitDialog();
    // Once the box is gone the watcher checks this dialog and cancels it.
    if (g_watch) g_watch->dialogToCancel = H(m_hWnd);
    PostMessageA(H(m_hWnd), WM_COMMAND, MAKEWPARAM(IDC_TEST_BUTTON, BN_CLICKED), 0);
    return true;
  }
  bool OnCommand(int id, int notifyCode) override {
    if (id == IDC_TEST_BUTTON) {
      ++attempts;
      throw std::bad_alloc();
    }
    return CDialog::OnCommand(id, notifyCode);
  }
  int attempts = 0;
};

TEST(FrameworkMessageBoxTest, OutOfMemoryInAHandlerIsReportedAndTheDialogStays) {
  TestApp app("Brackenvue Setup");
  BoxWatch watch;
  Thrower dlg;
  Watcher watcher(&watch);
  EXPECT_EQ(dlg.DoModal(), fw::kIdCancel);
  EXPECT_EQ(dlg.attempts, 1);
  ASSERT_TRUE(watch.box.seen);
  EXPECT_EQ(watch.box.text, "Out of memory.");
  EXPECT_EQ(watch.box.caption, "Brackenvue Setup");
  EXPECT_TRUE(watch.box.topmost) << "system-modal";
  EXPECT_EQ(watch.box.icon, LoadIconA(nullptr, IDI_EXCLAMATION));
  EXPECT_TRUE(watch.dialogAliveAfterBox);
}

// ---- Paint, drag icon, help ------------------------------------------------------------------------

class Painter : public CDialog {
 public:
  explicit Painter(bool useDefault) : useDefault_(useDefault) {}
  void OnPaint() override {
    ++paints;
    if (useDefault_) {
      Default();
      return;
    }
    CPaintDC dc(this);
    drew = dc.DrawIcon(0, 0, fw::LoadAppIcon(IDR_MAINFRAME));
  }
  bool OnCommand(int id, int notifyCode) override {
    ++commands;
    return CDialog::OnCommand(id, notifyCode);
  }
  fw::IconHandle OnQueryDragIcon() override { return dragIcon; }
  int paints = 0;
  int commands = 0;
  bool drew = false;
  fw::IconHandle dragIcon = nullptr;

 private:
  bool useDefault_;
};

TEST(FrameworkPaintTest, HandlerPaintsOrLeavesItToTheDefault) {
  for (bool useDefault : {false, true}) {
    Painter dlg(useDefault);
    ASSERT_TRUE(dlg.Create(IDD_TEST_MODELESS));
    dlg.ShowWindow(fw::kSwShow);
    UpdateWindow(H(dlg.m_hWnd));
    dlg.paints = 0;
    InvalidateRect(H(dlg.m_hWnd), nullptr, TRUE);
    UpdateWindow(H(dlg.m_hWnd));
    EXPECT_EQ(dlg.paints, 1) << useDefault;
    EXPECT_EQ(dlg.drew, !useDefault);
    // Either way the window is valid again: no endless WM_PAINT.
    EXPECT_FALSE(GetUpdateRect(H(dlg.m_hWnd), nullptr, FALSE)) << useDefault;
  }
}

TEST(FrameworkPaintTest, PumpPaintsAndDispatchesNothingElse) {
  Painter dlg(false);
  ASSERT_TRUE(dlg.Create(IDD_TEST_MODELESS));
  dlg.ShowWindow(fw::kSwShow);
  UpdateWindow(H(dlg.m_hWnd));
  dlg.paints = 0;
  PostMessageA(H(dlg.m_hWnd), WM_COMMAND, IDCANCEL, 0);
  InvalidateRect(H(dlg.m_hWnd), nullptr, TRUE);
  Sleep(120);  // past the pump's rate limit
  plat::PumpPaintMessages();
  EXPECT_GE(dlg.paints, 1);
  EXPECT_EQ(dlg.commands, 0);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, H(dlg.m_hWnd), WM_COMMAND, WM_COMMAND, PM_REMOVE)) << "still queued";
}

TEST(FrameworkPaintTest, DragIconAndHelpReachTheApplication) {
  TestApp app("Tester");
  Painter dlg(true);
  ASSERT_TRUE(dlg.Create(IDD_TEST_MODELESS));
  dlg.dragIcon = fw::LoadAppIcon(IDR_MAINFRAME);
  ASSERT_NE(dlg.dragIcon, nullptr);
  EXPECT_EQ(SendMessageA(H(dlg.m_hWnd), WM_QUERYDRAGICON, 0, 0), reinterpret_cast<LRESULT>(dlg.dragIcon));
  HELPINFO help = {};
  help.cbSize = sizeof help;
  SendMessageA(H(dlg.m_hWnd), WM_HELP, 0, reinterpret_cast<LPARAM>(&help));
  EXPECT_EQ(app.helpCalls, 1);
  EXPECT_EQ(fw::LoadAppIcon(4711), nullptr);
}

// ---- Start-up services ----------------------------------------------------------------------------

TEST(FrameworkStartupTest, ModuleNameAndErrorMode) {
  EXPECT_EQ(fw::ModuleBaseName(), "win32_tests");
  UINT saved = SetErrorMode(0);
  fw::SetProcessErrorMode();
  UINT mode = SetErrorMode(saved);
  EXPECT_EQ(mode & (SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX),
            static_cast<UINT>(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX));
}

}  // namespace
